// The records the receiver and the user hand to the connection and setup
// code: the flash description and the sector walk over it, the capability
// record's flags position, the radio's version text, and the address and
// port texts of the Ethernet dialog.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "device/GarnexInterface.h"
#include "operations/ReceiverCheck.h"
#include "operations/RetrieveVersionOperation.h"
#include "operations/TCPSetupDlg.h"

namespace {
class LayoutProbe : public CGarnexInterface {
 public:
  LayoutProbe() : CGarnexInterface(nullptr, OperationParams{}) {}
  void Take(const BYTE* data, DWORD size) { TakeFlashLayout(data, size); }
};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const UINT n = static_cast<UINT>(size);
  LayoutProbe probe;
  probe.Take(data, n);
  CLSDeviceInterface::SectorList sectors;
  if (size >= 8) {
    const DWORD start = (DWORD{data[0]} << 24) | (DWORD{data[1]} << 16) | (DWORD{data[2]} << 8) | data[3];
    const DWORD span = (DWORD{data[4] & 0x0Fu} << 16) | (DWORD{data[5]} << 8) | data[6];
    probe.BuildSectorList(start, start + span, sectors);
    probe.BuildSectorListForSize(span, sectors);
  }
  receiver::HardwareFlagsIndex(data, n);
  CRetrieveVersionOperation::ParseRadioVersion(data, n);
  const CString text(reinterpret_cast<const char*>(data), size);
  NetworkSettings::Address address{};
  CTCPSetupDlg::ParseAddress(text, &address);
  WORD port = 0;
  CTCPSetupDlg::ParsePort(text, &port);
  return 0;
}

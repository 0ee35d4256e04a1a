#include "operations/ReceiverCheck.h"

#include "afx/Exception.h"
#include "afx/Format.h"
#include "afx/Module.h"
#include "afx/Ui.h"
#include "device/BreakInfo.h"
#include "device/GarnexException.h"
#include "port/SerialInterface.h"
#include "protocol/TCPacket.h"

namespace receiver {

namespace {
constexpr UINT kFamilyNameId = 212;
constexpr UINT kNotApplicationId = 731;
constexpr UINT kInvalidDeviceId = 733;
constexpr BYTE kCapabilityRequest = 0x4A;
constexpr BYTE kCapabilityReply = 0x4B;
// The hardware flags: at kEarlyFlagsByte in a record whose first byte is
// above kEarlyFlagsAbove, at kLateFlagsByte in any other.
constexpr BYTE kEarlyFlagsAbove = 90;
constexpr UINT kEarlyFlagsByte = 19;
constexpr UINT kLateFlagsByte = 45;
}  // namespace

void OpenPort(CSerialInterface& port, const OperationParams& params) {
  port.Open(static_cast<UINT>(params.port), 1, 0, 0, CSerialInterface::kDefaultBaudIndex);
}

int ShowMessage(const OperationParams& params, const CString& text, UINT flags) {
  const char* app = AfxGetModuleState()->m_pszAppName;
  return MessageBox(params.window, text.c_str(), app ? app : "", flags);
}

void RequireApplication(CSerialInterface& port, const OperationParams& params, CBreakInfo& info) {
  const DWORD com = static_cast<DWORD>(params.port);
  if (!info.RetrieveBreakInfo(port, true, false)) throw CGarnexException(CGarnexException::kNoReceiver, com);
  switch (info.GetProductKind()) {
    case CBreakInfo::ProductKind::Application:
      return;
    case CBreakInfo::ProductKind::Monitor:
      ShowMessage(params, FormatString(kNotApplicationId, com, AfxLoadString(kFamilyNameId)), MB_SETFOREGROUND);
      break;
    case CBreakInfo::ProductKind::Other:
      ShowMessage(params, FormatString(kInvalidDeviceId, com, com), MB_SETFOREGROUND);
      break;
  }
  AfxThrowUserException();
}

int HardwareFlagsIndex(const BYTE* data, UINT size) {
  if (data == nullptr || size <= 6) return -1;
  const UINT index = data[0] > kEarlyFlagsAbove ? kEarlyFlagsByte : kLateFlagsByte;
  return index < size ? static_cast<int>(index) : -1;
}

bool RequestHardwareFlags(CioInterface& port, BYTE* flags) {
  CTCPacket request(kCapabilityRequest);
  request.AppendByte(0x00);
  if (!request.SendPacket(port)) return false;
  CTCPacket reply(kCapabilityReply);
  reply.SetAckNotExpected(true);
  if (!reply.ReceivePacket(port, 3.0)) return false;
  const int index = HardwareFlagsIndex(reply.GetDataPtr(), reply.GetDataSize());
  if (index < 0) return false;
  *flags = reply.GetData()[static_cast<size_t>(index)];
  return true;
}

}  // namespace receiver

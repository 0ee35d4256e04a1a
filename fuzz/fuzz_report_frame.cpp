// Report-frame receive (short and long) and the report packets' accessors.
// Byte 0 picks the form and the acknowledgement mode, byte 1 the expected
// type; the rest is what the line delivers.
#include <cstddef>
#include <cstdint>

#include "afx/Clock.h"
#include "afx/Exception.h"
#include "afx/Module.h"
#include "protocol/TCErrorLog.h"
#include "protocol/TCFirmwareUpload.h"
#include "protocol/TCRetrieveGPSTime.h"
#include "protocol/TCRetrieveVersionNumbers.h"
#include "res/Resources.h"
#include "fuzz/FuzzIo.h"

namespace {
AFX_MODULE_STATE* Strings() {
  static AFX_MODULE_STATE state;
  res::Install(&state);
  return &state;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  static AFX_MODULE_STATE* strings = Strings();
  AFX_MAINTAIN_STATE keep(strings);
  afx::VirtualClock clock;
  afx::ScopedClock scoped(clock);
  const std::uint8_t mode = data[0];
  FuzzIo io(data + 2, size - 2);
  try {
    switch (mode % 5) {
      case 0: {
        CTCPacket packet(data[1]);
        packet.SetAckNotExpected(mode & 0x80);
        packet.ReceivePacket(io, 3.0);
        packet.SetData(packet.GetData());
        break;
      }
      case 1: {
        CTCFirmwareUpload upload;
        BYTE status = 0;
        upload.ReceiveLongPacket(io, 3.0);
        upload.GetStatus(&status);
        break;
      }
      case 2: {
        CTCRetrieveVersionNumbers versions;
        CString text;
        versions.ReceiveReply(io);
        versions.GetSoftwareVersion(&text);
        versions.GetBootVersion(&text);
        versions.GetVersionText(data[1], &text);
        break;
      }
      case 3: {
        CTCRetrieveGPSTime time;
        long value = 0;
        CString text;
        time.ReceiveReply(io);
        time.GetUTCOffset(&value);
        time.GetTimeOfWeek(&value);
        time.GetYear(&value);
        time.GetTimeSystem(&text);
        time.GetNumber(data[1], data[1] % 9, &value);
        break;
      }
      default: {
        CTCErrorLog log;
        WORD count = 0;
        log.ReceiveReply(io);
        log.GetEntryCount(&count);
        break;
      }
    }
  } catch (const CException&) {
    // Port failures are not scripted here; nothing else may escape.
  }
  return 0;
}

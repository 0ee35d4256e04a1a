#include "device/LSDeviceInterface.h"

#include <algorithm>
#include <cstring>

#include "afx/Clock.h"
#include "afx/Trace.h"
#include "device/BreakInfo.h"
#include "port/SerialInterface.h"
#include "protocol/LSExecutePacket.h"
#include "protocol/LSGetTICFWInfoPacket.h"
#include "protocol/LSProductIDWritePacket.h"
#include "protocol/LSReadMemoryPacket.h"
#include "protocol/LSRebootPacket.h"
#include "protocol/LSRequestProductInfoPacket.h"
#include "protocol/LSRetrieveMemMapPacket.h"
#include "protocol/LSRetrieveRadioCfgPacket.h"
#include "protocol/LSSendRadioCfgPacket.h"
#include "protocol/LSSwitchBaudPacket.h"
#include "protocol/LSVindraGetAutoOnPacket.h"
#include "protocol/LSVindraSetAutoOnPacket.h"
#include "protocol/TCFirmwareUpload.h"
#include "protocol/TCSetCommsPacket.h"

namespace {

constexpr DWORD kProductInfoPauseMs = 2000;
constexpr double kProductInfoSeconds = 5.0;
constexpr DWORD kMonitorSwitchPauseMs = 6000;
constexpr DWORD kSettingsPauseMs = 300;
// A port in the timed modes returns to its own settings this long after the break reply.
constexpr DWORD kTimedModePauseMs = 5100;
// Storing a radio configuration can take about a minute.
constexpr int kRadioStoreReceives = 7;  // of three attempts each

struct BaudCode {
  DWORD rate;
  int code;
};
constexpr BaudCode kBaudCodes[] = {{2400, 4},   {4800, 5},   {9600, 6},    {14400, 7},   {19200, 8},
                                   {38400, 9},  {57600, 11}, {115200, 12}, {230400, 15}, {460800, 16}};

[[noreturn]] void Fail(int traceTag, DWORD code, DWORD com) {
  TRACE("Error CLSDeviceException %d\n", traceTag);
  throw CLSDeviceException(code, com);
}

}  // namespace

CLSDeviceInterface::CLSDeviceInterface(CLSInfo* info, CSerialInterface* port, const OperationParams& params)
    : m_pPort(port), m_params(params), m_pInfo(info) {}

CLSDeviceInterface::~CLSDeviceInterface() = default;

DWORD CLSDeviceInterface::ComNumber() const { return m_pPort ? m_pPort->GetPortNumber() : 0; }

int CLSDeviceInterface::BaudCodeFromRate(DWORD rate) {
  for (const BaudCode& entry : kBaudCodes)
    if (entry.rate == rate) return entry.code;
  return -1;
}

void CLSDeviceInterface::ApplyBaudCode(DWORD baud) {
  const int code = BaudCodeFromRate(baud);
  if (code >= 0) m_pPort->SetBaudIndex(code);
}

void CLSDeviceInterface::WriteResetFrame() { m_pPort->Write(kResetFrame, sizeof kResetFrame); }

void CLSDeviceInterface::RequestProductInfo(WORD length, BYTE* buffer) {
  CLSRequestProductInfoPacket request;
  CLSRequestProductInfoPacket reply;
  request.SendPacket(*m_pPort);
  Sleep(kProductInfoPauseMs);
  if (!reply.ReceivePacket(*m_pPort, kProductInfoSeconds)) Fail(10, CLSDeviceException::kNoResponse, ComNumber());
  if (static_cast<WORD>(reply.GetDataSize()) != length)
    Fail(10, CLSDeviceException::kProductInfoLength, ComNumber());
  std::memcpy(buffer, reply.GetDataPtr(), length);
}

void CLSDeviceInterface::Reboot() {
  CLSRebootPacket request;
  request.SendPacket(*m_pPort);
  if (!request.ReceivePacket(*m_pPort, kReplySeconds)) Fail(11, CLSDeviceException::kRebootNoReply, ComNumber());
}

void CLSDeviceInterface::Reset() { WriteResetFrame(); }

void CLSDeviceInterface::ReadLoaderRevision(int* revision) {
  CLSGetTICFWInfoPacket request;
  request.SendPacket(*m_pPort);
  CLSGetTICFWInfoPacket reply;
  // The revision is the second byte; a shorter reply says nothing usable.
  if (!reply.ReceivePacket(*m_pPort, kReplySeconds) || reply.GetDataSize() < 2)
    Fail(12, CLSDeviceException::kNoResponse, ComNumber());
  const BYTE b = reply.GetData()[1];
  *revision = (b >> 4) * 100 + (b & 0x0F);
}

void CLSDeviceInterface::SendProductId(const BYTE* record, UINT count) {
  CLSProductIDWritePacket request(record, count);
  request.SendPacket(*m_pPort);
  if (!request.ReceivePacket(*m_pPort, kReplySeconds)) Fail(13, CLSDeviceException::kNoResponse, ComNumber());
  if (request.GetDataSize() < 1 || request.GetData()[0] != 1)
    Fail(13, CLSDeviceException::kProductIdRefused, ComNumber());
}

void CLSDeviceInterface::RetrieveRadioConfig(BYTE* buffer, WORD length) {
  CLSRetrieveRadioCfgPacket request;
  request.SendPacket(*m_pPort);
  if (!request.ReceivePacket(*m_pPort, kReplySeconds)) Fail(14, CLSDeviceException::kNoResponse, ComNumber());
  if (request.GetDataSize() != length) {
    const bool noRadio = request.GetDataSize() == 1 && request.GetData()[0] == 0;
    Fail(14, noRadio ? CLSDeviceException::kNoRadio : CLSDeviceException::kRadioReadFailed, ComNumber());
  }
  std::memcpy(buffer, request.GetDataPtr(), length);
}

void CLSDeviceInterface::RetrieveMemoryMap(BYTE* buffer, WORD length) {
  CLSRetrieveMemMapPacket request;
  request.SendPacket(*m_pPort);
  if (!request.ReceivePacket(*m_pPort, kReplySeconds)) Fail(15, CLSDeviceException::kNoResponse, ComNumber());
  if (request.GetDataSize() != length) Fail(15, CLSDeviceException::kMemoryMapFailed, ComNumber());
  std::memcpy(buffer, request.GetDataPtr(), length);
}

void CLSDeviceInterface::SendRadioConfig(const BYTE* buffer, WORD length) {
  CLSSendRadioCfgPacket request(buffer, length);
  request.SendPacket(*m_pPort);
  CLSPacket reply(CLSSendRadioCfgPacket::kCommand);
  bool received = false;
  for (int i = 0; i < kRadioStoreReceives && !received; ++i) received = reply.ReceivePacket(*m_pPort, kReplySeconds);
  if (!received) Fail(16, CLSDeviceException::kNoResponse, ComNumber());
  if (reply.GetDataSize() < 1 || reply.GetData()[0] == 0)
    Fail(16, CLSDeviceException::kRadioWriteRefused, ComNumber());
}

void CLSDeviceInterface::ReadMemory(DWORD address, BYTE* buffer, WORD count) {
  CLSReadMemoryPacket request(address, count);
  request.SendPacket(*m_pPort);
  // A reply shorter than asked would leave the caller's buffer half stale.
  if (!request.ReceivePacket(*m_pPort, kReplySeconds) || request.GetDataSize() < count)
    Fail(17, CLSDeviceException::kNoResponse, ComNumber());
  std::memcpy(buffer, request.GetDataPtr(), count);
}

void CLSDeviceInterface::Execute(DWORD address) {
  CLSExecutePacket request(address);
  request.SendPacket(*m_pPort);
  if (!request.ReceivePacket(*m_pPort, kReplySeconds)) Fail(18, CLSDeviceException::kNoResponse, ComNumber());
}

DWORD CLSDeviceInterface::FollowReceiverSettings() {
  CBreakInfo info;
  info.RetrieveBreakInfo(*m_pPort, true, false);
  Sleep(kSettingsPauseMs);
  if (info.GetPortMode()) {
    TRACE("Sleep 5100 1\n");
    Sleep(kTimedModePauseMs);
  }
  info.ApplyPortSettings(*m_pPort);
  return info.GetBaudRate();
}

void CLSDeviceInterface::SwitchBaud(DWORD baud) {
  m_pPort->Purge(true, true);
  CBreakInfo info;
  info.RetrieveBreakInfo(*m_pPort, true, false);
  m_fReceiverVersion = info.GetVersion();
  if (baud == 0) {
    baud = FollowReceiverSettings();
  } else {
    Sleep(kMonitorSwitchPauseMs);
    m_pPort->SetBaudRate(info.GetBaudRate());
    CLSSwitchBaudPacket request(baud);
    request.SendPacket(*m_pPort);
    CLSPacket reply(CLSSwitchBaudPacket::kCommand);
    if (!reply.ReceivePacket(*m_pPort, kReplySeconds))
      Fail(19, CLSDeviceException::kSwitchBaudNoReply, ComNumber());
    if (reply.GetDataSize() >= 1 && reply.GetData()[0] == 0) {
      TRACE("Switch baud: failure returned. Assuming at forced port config\n");
      baud = FollowReceiverSettings();
    }
  }
  ApplyBaudCode(baud);
}

void CLSDeviceInterface::SwitchBaudApplication(DWORD baud) {
  m_pPort->Purge(true, true);
  CBreakInfo info;
  info.RetrieveBreakInfo(*m_pPort, true, false);
  m_fReceiverVersion = info.GetVersion();
  if (baud == 0) {
    baud = FollowReceiverSettings();
  } else {
    CTCSetCommsPacket request(static_cast<BYTE>(info.GetPortNumber() + 1), baud, 8, 0, 1, 0, 0);
    request.SendPacket(*m_pPort);
    // The receiver acknowledges with a lone ACK, which leaves the data empty.
    CTCPacket reply(CTCSetCommsPacket::kType);
    if (!reply.ReceivePacket(*m_pPort, kReplySeconds))
      Fail(20, CLSDeviceException::kSwitchBaudNoReply, ComNumber());
    if (reply.GetDataSize() >= 1 && reply.GetData()[0] == 0) {
      TRACE("Switch baud: failure returned. Assuming at forced port config\n");
      baud = FollowReceiverSettings();
    }
  }
  ApplyBaudCode(baud);
}

void CLSDeviceInterface::ResetAt38400() {
  SwitchBaudApplication(38400);
  Sleep(1000);
  WriteResetFrame();
  Sleep(5000);
}

void CLSDeviceInterface::SetAutoOn(BYTE mode) {
  if (mode != 1 && mode != 2) return;
  CLSVindraSetAutoOnPacket request(mode);
  request.SendPacket(*m_pPort);
  if (!request.ReceivePacket(*m_pPort, kReplySeconds)) Fail(19, CLSDeviceException::kNoResponse, ComNumber());
}

bool CLSDeviceInterface::GetAutoOn(BYTE* mode) {
  CLSVindraGetAutoOnPacket request;
  request.SendPacket(*m_pPort);
  if (!request.ReceivePacket(*m_pPort, kReplySeconds) || request.GetDataSize() < 1) {
    TRACE("Error Failed to retrieve auto on status\n");
    return false;
  }
  *mode = request.GetData()[0];
  return true;
}

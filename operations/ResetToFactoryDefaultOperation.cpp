#include "operations/ResetToFactoryDefaultOperation.h"

#include "afx/Clock.h"
#include "afx/Format.h"
#include "afx/Window.h"
#include "device/BreakInfo.h"
#include "device/GarnexException.h"
#include "operations/ReceiverCheck.h"
#include "plugin/Progress.h"
#include "port/SerialInterface.h"
#include "protocol/TCPacket.h"

namespace {
constexpr UINT kTitleId = 4106;
constexpr UINT kConfirmId = 4108;
constexpr UINT kResettingId = 4109;
constexpr UINT kCanceledId = 105;
constexpr UINT kConnectingId = 610;
constexpr BYTE kResetType = 0x58;
constexpr BYTE kFactoryMode = 0x03;
// The receiver clears its file system and restarts: about a minute, shown in tenths.
constexpr int kRestartSteps = 10;
constexpr DWORD kRestartStepMs = 6000;
}  // namespace

CResetToFactoryDefaultOperation::CResetToFactoryDefaultOperation() : CNamedOperation(0, 4107, 4105) {}

bool CResetToFactoryDefaultOperation::Run(OperationParams* params) {
  const OperationParams& p = *params;
  SetWindowText(p.window, AfxLoadString(kTitleId).c_str());
  if (receiver::ShowMessage(p, AfxLoadString(kConfirmId), MB_YESNO | MB_ICONQUESTION) != IDYES) {
    SetStatus(p, kCanceledId);
    SetProgress(p, 100);
    return false;
  }
  SetStatus(p, kConnectingId);
  SetProgress(p, 0);
  CSerialInterface port;
  receiver::OpenPort(port, p);
  CBreakInfo info;
  if (!info.RetrieveBreakInfo(port, true, false))
    throw CGarnexException(CGarnexException::kNoReceiver, port.GetPortNumber());

  SetStatus(p, kResettingId);
  CTCPacket reset(kResetType);
  reset.AppendByte(0xFF);
  reset.AppendByte(kFactoryMode);
  reset.AppendData(reinterpret_cast<const BYTE*>("RESET"), 5);
  const bool sent = reset.SendPacket(port);
  if (sent) reset.ReceivePacket(port, 3.0);
  const DWORD com = port.GetPortNumber();
  if (!sent || !reset.AckReceived()) {
    port.Close();
    throw CGarnexException(CGarnexException::kUnexpectedReply, com);
  }
  Sleep(100);
  port.Close();
  for (int step = 0; step < kRestartSteps; ++step) {
    Sleep(kRestartStepMs);
    SetProgress(p, step * 10);
  }
  SetProgress(p, 100);
  return true;
}

bool CResetToFactoryDefaultOperation::GetText(unsigned kind, char* buffer, unsigned length) {
  return AnswerText(kind, buffer, length, AfxLoadString(4103), 4104, 4110);
}

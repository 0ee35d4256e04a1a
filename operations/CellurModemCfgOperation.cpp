#include "operations/CellurModemCfgOperation.h"

#include "afx/Format.h"
#include "afx/Window.h"
#include "device/BreakInfo.h"
#include "device/GarnexException.h"
#include "device/GarnexInterface.h"
#include "operations/ReceiverCheck.h"
#include "plugin/Progress.h"
#include "port/SerialInterface.h"

namespace {
constexpr UINT kTitleId = 1700;
constexpr UINT kConnectingId = 610;
constexpr DWORD kNoModemCode = 715;
}  // namespace

CCellurModemCfgOperation::CCellurModemCfgOperation() : CNamedOperation(0, 1697, 1701) {}

bool CCellurModemCfgOperation::Run(OperationParams* params) {
  const OperationParams& p = *params;
  SetWindowText(p.window, AfxLoadString(kTitleId).c_str());
  SetStatus(p, kConnectingId);
  SetProgress(p, 0);
  m_bCellularModem = m_bInternalRadio = m_bTransmitRadio = false;

  CSerialInterface port;
  receiver::OpenPort(port, p);
  CGarnexInterface device(&port, p);
  CBreakInfo info;
  if (!info.RetrieveBreakInfo(port, true, false))
    throw CGarnexException(CGarnexException::kNoReceiver, port.GetPortNumber());
  m_nReceiverPort = info.GetPortNumber() + 1;
  m_strProductName = info.GetProductName();

  BYTE flags = 0;
  if (!receiver::RequestHardwareFlags(port, &flags))
    throw CGarnexException(CGarnexException::kUnexpectedReply, port.GetPortNumber());
  m_bCellularModem = (flags & receiver::kCellularModem) != 0;
  m_bTransmitRadio = (flags & receiver::kTransmitRadio) != 0;
  m_bInternalRadio = (flags & receiver::kInternalRadio) != 0;
  // The message names the radio module, not a port.
  if (!m_bCellularModem) throw CGarnexException(kNoModemCode, 0);

  // The modem needs no settings from this plug-in yet: the check is the configuration.
  port.Close();
  SetProgress(p, 100);
  return true;
}

bool CCellurModemCfgOperation::GetText(unsigned kind, char* buffer, unsigned length) {
  return AnswerText(kind, buffer, length, FormatString(1698, m_strName), 1699, 1702);
}

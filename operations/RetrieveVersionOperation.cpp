#include "operations/RetrieveVersionOperation.h"

#include "afx/Clock.h"
#include "afx/Format.h"
#include "afx/Window.h"
#include "device/BreakInfo.h"
#include "device/GarnexException.h"
#include "device/GarnexInterface.h"
#include "operations/ReceiverCheck.h"
#include "operations/VersionDisplayDlg.h"
#include "plugin/Progress.h"
#include "port/SerialInterface.h"
#include "protocol/TCPacket.h"
#include "protocol/TCRetrieveVersionNumbers.h"

namespace {
constexpr UINT kTitleId = 1625;
constexpr UINT kConnectingId = 610;
constexpr UINT kRetrievingId = 627;
constexpr UINT kNoneId = 4014;
constexpr DWORD kNoVersionCode = 704;
constexpr BYTE kRadioPipeType = 0x84;
constexpr BYTE kRadioPipeMode = 0x04;
constexpr BYTE kRadioQueryType = 0x77;
constexpr double kReplySeconds = 3.0;
constexpr DWORD kAfterResetMs = 4000;
}  // namespace

CString CRetrieveVersionOperation::ParseRadioVersion(const BYTE* data, UINT size) {
  if (data == nullptr || size <= 6) return {};
  const CString text(reinterpret_cast<const char*>(data), size);
  static constexpr const char kKey[] = "VERSION,";
  const size_t at = text.find(kKey);
  if (at == CString::npos) return {};
  const size_t start = at + sizeof kKey - 1;
  if (start >= text.size()) return {};
  const size_t comma = text.find(',', start);
  return CString(text.substr(start, comma == CString::npos ? CString::npos : comma - start));
}

CRetrieveVersionOperation::CRetrieveVersionOperation() : CNamedOperation(0, 1621, 1622) {
  m_strDescription = FormatString(1622, AfxLoadString(212));
}

CString CRetrieveVersionOperation::ReadRadioVersion(CSerialInterface& port, const OperationParams& p,
                                                    const CBreakInfo& info) {
  const CString none = AfxLoadString(kNoneId);
  BYTE flags = 0;
  if (!receiver::RequestHardwareFlags(port, &flags) || (flags & receiver::kInternalRadio) == 0) return none;

  CTCPacket pipe(kRadioPipeType);
  pipe.AppendByte(static_cast<BYTE>(info.GetPortNumber() + 1));
  pipe.AppendByte(kRadioPipeMode);
  if (!pipe.SendPacket(port) || !pipe.ReceivePacket(port, kReplySeconds) || !pipe.AckReceived()) return none;

  CTCPacket query(kRadioQueryType);
  query.AppendByte('0');
  if (!query.SendPacket(port)) throw CGarnexException(CGarnexException::kUnexpectedReply, port.GetPortNumber());
  CTCPacket reply(kRadioQueryType);
  reply.SetAckNotExpected(true);
  CString version;
  if (reply.ReceivePacket(port, kReplySeconds)) version = ParseRadioVersion(reply.GetDataPtr(), reply.GetDataSize());

  // The radio pipe leaves the port in the radio's hands until the receiver is identified again.
  CBreakInfo again;
  if (!again.RetrieveBreakInfo(port, true, false))
    throw CGarnexException(CGarnexException::kNoReceiver, static_cast<DWORD>(p.port));
  return version;
}

bool CRetrieveVersionOperation::Run(OperationParams* params) {
  const OperationParams& p = *params;
  SetWindowText(p.window, AfxLoadString(kTitleId).c_str());
  SetStatus(p, kConnectingId);
  SetProgress(p, 0);

  CSerialInterface port;
  receiver::OpenPort(port, p);
  CGarnexInterface device(&port, p);
  CBreakInfo info;
  receiver::RequireApplication(port, p, info);

  SetStatus(p, kRetrievingId);
  const CString radio = ReadRadioVersion(port, p, info);

  CTCRetrieveVersionNumbers versions;
  CString software, boot;
  if (!versions.SendPacket(port) || !versions.ReceiveReply(port) || !versions.GetSoftwareVersion(&software) ||
      !versions.GetBootVersion(&boot))
    throw CGarnexException(kNoVersionCode, static_cast<DWORD>(p.port));

  SetProgress(p, 100);
  {
    CVersionDisplayDlg dialog(info.GetProductName(), software, boot, radio, info.GetSerialNumber(), CString());
    dialog.DoModal();
    device.Reset();
    Sleep(kAfterResetMs);
  }
  port.Close();
  return true;
}

bool CRetrieveVersionOperation::GetText(unsigned kind, char* buffer, unsigned length) {
  return AnswerText(kind, buffer, length, FormatString(1623, m_strName), 1624, 1626);
}

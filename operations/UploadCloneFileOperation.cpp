#include "operations/UploadCloneFileOperation.h"

#include <memory>

#include "afx/Clock.h"
#include "afx/File.h"
#include "afx/Format.h"
#include "afx/Ui.h"
#include "afx/Window.h"
#include "device/BreakInfo.h"
#include "device/GarnexException.h"
#include "device/GarnexInterface.h"
#include "device/LSDeviceException.h"
#include "plugin/Progress.h"
#include "port/SerialInterface.h"
#include "protocol/TCPacket.h"

namespace {

constexpr double kReplySeconds = 3.0;

void Put24(std::vector<BYTE>& d, DWORD value) {
  d.push_back(static_cast<BYTE>(value >> 16));
  d.push_back(static_cast<BYTE>(value >> 8));
  d.push_back(static_cast<BYTE>(value));
}

// One clone request and, when `reply` is given, the clone reply into it.
bool Exchange(CSerialInterface& port, const std::vector<BYTE>& data, CTCPacket* reply) {
  CTCPacket request(CUploadCloneFileOperation::kCloneType);
  request.SetData(data);
  if (!request.SendPacket(port)) return false;
  if (!reply) return true;
  reply->SetType(CUploadCloneFileOperation::kCloneType);
  reply->SetAckNotExpected(true);
  return reply->ReceivePacket(port, kReplySeconds);
}

bool ReplyIs(const CTCPacket& reply, std::initializer_list<BYTE> bytes) {
  return reply.GetData() == std::vector<BYTE>(bytes);
}

CString NameOnWire(const CString& name) {
  return name.Left(static_cast<int>(CUploadCloneFileOperation::kMaxNameLength));
}

}  // namespace

CUploadCloneFileOperation::CUploadCloneFileOperation() : CNamedOperation(1, 4095, 4096) { SetPage(0, &m_page); }

bool CUploadCloneFileOperation::GetText(unsigned kind, char* buffer, unsigned length) {
  return AnswerText(kind, buffer, length, FormatString(4093, m_strName, m_page.m_strPath), 4094, 4102);
}

CString CUploadCloneFileOperation::BaseName(const CString& path) {
  const size_t slash = path.find_last_of("/\\");
  CString name = slash == std::string::npos ? path : CString(path.substr(slash + 1));
  const size_t dot = name.find_last_of('.');
  if (dot != std::string::npos) name = name.substr(0, dot);
  return name;
}

std::vector<BYTE> CUploadCloneFileOperation::StartMessage(DWORD fileSize, const CString& name) {
  std::vector<BYTE> d{kTransferPhase, 0x00};
  Put24(d, fileSize);
  const CString wire = NameOnWire(name);
  d.push_back(static_cast<BYTE>(wire.size()));
  d.insert(d.end(), wire.begin(), wire.end());
  return d;
}

std::vector<BYTE> CUploadCloneFileOperation::ChunkMessage(DWORD offset, const BYTE* data, DWORD count) {
  std::vector<BYTE> d{kTransferPhase, 0x01};
  Put24(d, offset);
  d.insert(d.end(), data, data + count);
  return d;
}

std::vector<BYTE> CUploadCloneFileOperation::EndMessage() { return {kTransferPhase, 0x02, 0x00}; }

std::vector<BYTE> CUploadCloneFileOperation::ActivationMessage(const CString& name, bool installIp, bool installWifi,
                                                               bool resetFirst) {
  const CString file = NameOnWire(name) + ".xml";
  std::vector<BYTE> d{kActivationPhase, static_cast<BYTE>(file.size())};
  d.insert(d.end(), file.begin(), file.end());
  d.push_back(installIp ? 1 : 0);
  d.push_back(installWifi ? 1 : 0);
  d.push_back(resetFirst ? 1 : 0);
  return d;
}

bool CUploadCloneFileOperation::Run(OperationParams* params) {
  const OperationParams& p = *params;
  SetWindowText(p.window, AfxLoadString(4097).c_str());
  SetStatus(p, 610);
  SetProgress(p, 0);

  auto port = std::make_unique<CSerialInterface>();
  port->Open(static_cast<UINT>(p.port), 1, 0, 0, 6);
  auto device = std::make_unique<CGarnexInterface>(port.get(), p);

  CBreakInfo info;
  if (!info.RetrieveBreakInfo(*port, true, false)) throw CGarnexException(701, device->ComNumber());
  if (!info.IsApplication()) {
    const CString text = FormatString(733, p.port, p.port);
    MessageBox(p.window, text.c_str(), AfxGetModuleState()->m_pszAppName, MB_SETFOREGROUND);
    AfxThrowUserException();
  }
  device->TurnOffOutputs();

  SetStatus(p, 4101);
  SetProgress(p, 20);
  Upload(*port, p);

  if (port->IsOpen()) {
    port->Write(CLSDeviceInterface::kResetFrame, sizeof CLSDeviceInterface::kResetFrame);
  }
  port->Close();
  return true;
}

void CUploadCloneFileOperation::Upload(CSerialInterface& port, const OperationParams& params) {
  const DWORD com = port.GetPortNumber();
  const CString path = m_page.m_strPath;
  const CString name = BaseName(path);

  std::vector<BYTE> content;
  {
    CFile file;
    if (!file.Open(path.c_str(), CFile::modeRead | CFile::shareExclusive)) throw CLSDeviceException(838, com);
    const std::uint64_t size = file.GetLength();
    // The size travels in three bytes.
    if (size > 0xFFFFFF) throw CLSDeviceException(839, com);
    content.assign(static_cast<size_t>(size), 0xFF);
    UINT got = 0;
    try {
      got = size ? file.Read(content.data(), static_cast<UINT>(size)) : 0;
    } catch (const CFileException&) {
      throw CLSDeviceException(839, com);
    }
    if (got != size) throw CLSDeviceException(839, com);
    file.Close();
  }
  const DWORD size = static_cast<DWORD>(content.size());

  {
    CTCPacket reply;
    if (!Exchange(port, StartMessage(size, name), &reply) || !ReplyIs(reply, {0x03, 0x00, 0x00}))
      throw CLSDeviceException(840, com);
  }

  SetProgress(params, 30);
  for (DWORD offset = 0; offset < size; offset += kChunkSize) {
    const DWORD count = size - offset < kChunkSize ? size - offset : kChunkSize;
    CTCPacket reply;
    if (!Exchange(port, ChunkMessage(offset, content.data() + offset, count), &reply))
      throw CLSDeviceException(841, com);
    const auto& r = reply.GetData();
    if (r.size() == 6 && r[0] == 0x03 && r[1] == 0x01 && r[4] == 0x01) throw CLSDeviceException(841, com);
  }

  {
    // The receiver needs a moment to store the last chunk.
    Sleep(2500);
    CTCPacket reply;
    if (!Exchange(port, EndMessage(), &reply) || ReplyIs(reply, {0x03, 0x02, 0x01}))
      throw CLSDeviceException(842, com);
  }
  SetStatus(params, 4098);
  SetProgress(params, 100);
  Sleep(250);

  if (m_page.m_bInstall) Activate(port, params, name);
}

void CUploadCloneFileOperation::Activate(CSerialInterface& port, const OperationParams& params,
                                         const CString& name) {
  const DWORD com = port.GetPortNumber();
  SetStatus(params, 4099);
  SetProgress(params, 0);
  if (!Exchange(port, ActivationMessage(name, m_page.m_bInstallIP, m_page.m_bInstallWiFi, m_page.m_bReset), nullptr))
    throw CLSDeviceException(843, com);
  // The receiver reports its progress by itself until it is done.
  for (int poll = 0; poll < kActivationPolls; ++poll) {
    CTCPacket reply(kCloneType);
    reply.SetAckNotExpected(true);
    if (!reply.ReceivePacket(port, kReplySeconds)) throw CLSDeviceException(843, com);
    const auto& r = reply.GetData();
    if (r.size() == 2 && r[0] == kActivationPhase) {
      switch (r[1]) {
        case 0x00: poll = kActivationPolls; continue;
        case 0x01: break;
        case 0x02: throw CLSDeviceException(845, com);
        case 0x03: throw CLSDeviceException(846, com);
        case 0x04: throw CLSDeviceException(847, com);
        case 0x05: throw CLSDeviceException(844, com);
        case 0xFF: throw CLSDeviceException(848, com);
        default: break;
      }
    }
    if (poll * 20 < 100) SetProgress(params, poll * 20);
    Sleep(1000);
  }
  SetStatus(params, 4100);
  SetProgress(params, 100);
}

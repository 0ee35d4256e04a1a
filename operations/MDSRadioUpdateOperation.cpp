#include "operations/MDSRadioUpdateOperation.h"

#include <memory>

#include "afx/Clock.h"
#include "afx/Exception.h"
#include "afx/File.h"
#include "afx/Format.h"
#include "afx/Trace.h"
#include "afx/Window.h"
#include "device/BreakInfo.h"
#include "device/GarnexException.h"
#include "device/GarnexInterface.h"
#include "plugin/Progress.h"
#include "plugin/ProgressPipe.h"
#include "port/SerialInterface.h"
#include "protocol/TCPacket.h"

namespace {

constexpr double kReplySeconds = 3.0;
// The radio software travels as one image no larger than the radio's store.
constexpr std::uint64_t kMaxImage = 0x100000;

void Put32(std::vector<BYTE>& d, DWORD v) {
  for (int shift = 24; shift >= 0; shift -= 8) d.push_back(static_cast<BYTE>(v >> shift));
}

std::vector<BYTE> ReadImage(const char* path) {
  CFile file;
  CFileException error;
  if (!file.Open(path, CFile::modeRead | CFile::shareDenyWrite, &error))
    AfxThrowFileException(error.m_cause, error.m_lOsError, path);
  const std::uint64_t size = file.GetLength();
  if (size == 0 || size > kMaxImage) AfxThrowFileException(CFileException::invalidFile, -1, path);
  std::vector<BYTE> image(static_cast<size_t>(size));
  if (file.Read(image.data(), static_cast<UINT>(size)) != size)
    AfxThrowFileException(CFileException::endOfFile, -1, path);
  file.Close();
  return image;
}

}  // namespace

CMDSRadioUpdateOperation::CMDSRadioUpdateOperation() : CNamedOperation(1, 7, 8), m_page(17, 128) {
  SetPage(0, &m_page);
}

bool CMDSRadioUpdateOperation::GetText(unsigned kind, char* buffer, unsigned length) {
  const char* description = m_page.GetSelectedDescription();
  return AnswerText(kind, buffer, length, FormatString(9, m_strName, CString(description ? description : "")), 10,
                    12);
}

DWORD CMDSRadioUpdateOperation::Crc32(const std::vector<BYTE>& data) {
  DWORD crc = 0xFFFFFFFFu;
  for (BYTE b : data) {
    crc ^= b;
    for (int i = 0; i < 8; ++i) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

bool CMDSRadioUpdateOperation::Ask(CSerialInterface& port, const std::vector<BYTE>& request,
                                   std::vector<BYTE>* answer) {
  CTCPacket packet(kRadioType);
  packet.SetData(request);
  if (!packet.SendPacket(port)) return false;
  packet.SetAckNotExpected(true);
  if (!packet.ReceivePacket(port, kReplySeconds)) return false;
  const auto& r = packet.GetData();
  if (r.size() < 2 || r[0] != 0xA0 || r[1] != request[0]) return false;
  answer->assign(r.begin() + 2, r.end());
  return true;
}

CString CMDSRadioUpdateOperation::QueryVersion(CSerialInterface& port, DWORD com) {
  std::vector<BYTE> a;
  if (!Ask(port, {'m'}, &a) || a.empty() || a.size() < 1u + a[0]) throw CGarnexException(707, com);
  return CString(std::string(a.begin() + 1, a.begin() + 1 + a[0]));
}

void CMDSRadioUpdateOperation::Transfer(CSerialInterface& port, DWORD com, const std::vector<BYTE>& image,
                                        IMDSProgressPipe& progress) {
  const DWORD size = static_cast<DWORD>(image.size());
  std::vector<BYTE> start{'U'};
  Put32(start, size);
  Put32(start, Crc32(image));
  std::vector<BYTE> a;
  if (!Ask(port, start, &a) || a != std::vector<BYTE>{0}) throw CGarnexException(707, com);
  for (DWORD offset = 0; offset < size; offset += kChunkSize) {
    const DWORD count = size - offset < kChunkSize ? size - offset : kChunkSize;
    std::vector<BYTE> chunk{'D'};
    Put32(chunk, offset);
    chunk.insert(chunk.end(), image.begin() + offset, image.begin() + offset + count);
    if (!Ask(port, chunk, &a) || a != std::vector<BYTE>{0}) throw CGarnexException(707, com);
    progress.ReportProgress(20.0 + 70.0 * (offset + count) / size);
  }
  if (!Ask(port, {'E'}, &a) || a != std::vector<BYTE>{0}) throw CGarnexException(707, com);
}

void CMDSRadioUpdateOperation::AwaitSync(CSerialInterface& port, DWORD com, const OperationParams& params) {
  for (int poll = 0; poll < kSyncPolls; ++poll) {
    Sleep(kSyncPollMs);
    CheckCancel(params);
    std::vector<BYTE> a;
    // The radio is silent while it restarts.
    if (Ask(port, {'l'}, &a) && a.size() == 2 && a[1] == kSynchronised) return;
  }
  throw CGarnexException(707, com);
}

bool CMDSRadioUpdateOperation::Run(OperationParams* params) {
  const OperationParams& p = *params;
  SetWindowText(p.window, AfxLoadString(11).c_str());
  SetStatus(p, 610);
  SetProgress(p, 0);
  const char* path = m_page.GetSelectedFirmwarePath();
  if (path == nullptr || *path == '\0') AfxThrowFileException(CFileException::fileNotFound);
  SetStatus(p, 620);
  const std::vector<BYTE> image = ReadImage(path);

  auto port = std::make_unique<CSerialInterface>();
  port->Open(static_cast<UINT>(p.port), 1, 0, 0, 6);
  auto device = std::make_unique<CGarnexInterface>(port.get(), p);
  const DWORD com = device->ComNumber();

  CBreakInfo info;
  if (!info.RetrieveBreakInfo(*port, true, false)) throw CGarnexException(701, com);
  if (info.IsMonitor()) {
    SetStatus(p, 618);
    device->Reboot();
    if (!info.RetrieveBreakInfo(*port, true, false)) throw CGarnexException(701, com);
  }
  if (!info.IsApplication()) throw CGarnexException(709, com);
  CheckCancel(p);

  {
    CTCPacket pipe(kPipeType);
    pipe.AppendByte(static_cast<BYTE>(info.GetPortNumber() + 1));
    pipe.AppendByte(kPipeRadio);
    if (!pipe.SendPacket(*port) || !pipe.ReceivePacket(*port, kReplySeconds) || !pipe.AckReceived())
      throw CGarnexException(707, com);
  }
  SetStatus(p, 627);
  const CString before = QueryVersion(*port, com);
  TRACE("radio software %s before the update\n", before.c_str());
  SetProgress(p, 20);
  CheckCancel(p);

  SetStatus(p, 616);
  CProgressPipe progress(&p);
  progress.Enable();
  Transfer(*port, com, image, progress);

  SetStatus(p, 626);
  AwaitSync(*port, com, p);
  SetStatus(p, 627);
  const CString after = QueryVersion(*port, com);
  TRACE("radio software %s after the update\n", after.c_str());
  SetProgress(p, 95);

  SetStatus(p, 625);
  device->Reset();
  port->Close();
  SetProgress(p, 100);
  return true;
}

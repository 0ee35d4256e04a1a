#include "operations/RetrieveErrorLogOperation.h"

#include <memory>

#include "afx/Format.h"
#include "afx/Ui.h"
#include "afx/Window.h"
#include "device/BreakInfo.h"
#include "device/ByteReader.h"
#include "device/GarnexException.h"
#include "device/GarnexInterface.h"
#include "operations/ErrorLogDlg.h"
#include "operations/ErrorLogMgr.h"
#include "plugin/Progress.h"
#include "port/SerialInterface.h"

CRetrieveErrorLogOperation::CRetrieveErrorLogOperation() : CNamedOperation(0, 21, 22) {}

bool CRetrieveErrorLogOperation::GetText(unsigned kind, char* buffer, unsigned length) {
  return AnswerText(kind, buffer, length, FormatString(23, m_strName), 24, 26);
}

bool CRetrieveErrorLogOperation::LogArea(const std::vector<BYTE>& memoryMap, DWORD* start, DWORD* end) {
  const CByteReader r(memoryMap.data(), memoryMap.size());
  std::uint32_t base = 0, offset = 0, sectorSize = 0;
  std::uint16_t sectors = 0;
  if (!r.U32BE(0, base) || !r.U32BE(40, offset) || !r.U32BE(44, sectorSize) || !r.U16BE(48, sectors)) return false;
  const std::uint64_t first = std::uint64_t{base} + offset;
  const std::uint64_t size = std::uint64_t{sectorSize} * sectors;
  if (size == 0 || size > kMaxLogArea || first + size - 1 > 0xFFFFFFFFull) return false;
  *start = static_cast<DWORD>(first);
  *end = static_cast<DWORD>(first + size - 1);
  return true;
}

void CRetrieveErrorLogOperation::ShowEmptyLog(const OperationParams& params) const {
  const CString text = AfxLoadString(261);
  const CString caption = AfxLoadString(25);
  MessageBox(params.window, text.c_str(), caption.c_str(), MB_OK | MB_ICONEXCLAMATION | MB_SETFOREGROUND);
}

void CRetrieveErrorLogOperation::ReadLogImage(CGarnexInterface& device, CErrorLogMgr& log,
                                              const OperationParams& params) const {
  DWORD start = 0, end = 0;
  if (!LogArea(device.RetrieveMemoryMapRecord(kMemoryMapSize), &start, &end))
    throw CGarnexException(CErrorLogMgr::kBadImage, 0);
  CheckCancel(params);
  SetStatus(params, 629);
  const DWORD total = end - start + 1;
  std::vector<BYTE> image(total, 0xFF);
  int shown = -1;
  for (DWORD done = 0; done < total;) {
    const WORD piece = static_cast<WORD>(total - done < kReadPiece ? total - done : kReadPiece);
    device.ReadMemory(start + done, image.data() + done, piece);
    done += piece;
    const int percent = static_cast<int>(std::uint64_t{done} * 100 / total);
    if (percent > shown) {
      shown = percent;
      SetProgress(params, percent);
      CheckCancel(params);
    }
  }
  log.DecodeImage(image.data(), end - start, device.IsHostOrder());
}

bool CRetrieveErrorLogOperation::Run(OperationParams* params) {
  const OperationParams& p = *params;
  SetWindowText(p.window, AfxLoadString(25).c_str());
  SetStatus(p, 610);
  SetProgress(p, 0);
  const bool diagnostic = GetKeyState(VK_CONTROL) < 0 && GetKeyState(VK_MENU) < 0;

  auto port = std::make_unique<CSerialInterface>();
  port->Open(static_cast<UINT>(p.port), 1, 0, 0, 6);
  auto device = std::make_unique<CGarnexInterface>(port.get(), p);
  if (diagnostic) device->Connect(false);

  CBreakInfo info;
  if (!info.RetrieveBreakInfo(*port, true, false)) throw CGarnexException(701, device->ComNumber());

  CErrorLogMgr log;
  bool inMonitor = false;
  switch (info.GetProductKind()) {
    case CBreakInfo::ProductKind::Application:
      if (!log.RetrieveFromReceiver(*device)) throw CGarnexException(708, device->ComNumber());
      if (log.GetCount() == 0) {
        ShowEmptyLog(p);
      } else {
        CErrorLogDlg viewer(device.get(), log, true, diagnostic);
        viewer.DoModal();
      }
      SetProgress(p, 100);
      break;
    case CBreakInfo::ProductKind::Monitor: {
      inMonitor = true;
      device->Connect(false);
      ReadLogImage(*device, log, p);
      if (log.GetValidCount() == 0 && !diagnostic) {
        ShowEmptyLog(p);
      } else {
        CErrorLogDlg viewer(device.get(), log, false, diagnostic);
        viewer.DoModal();
      }
      break;
    }
    case CBreakInfo::ProductKind::Other:
      throw CGarnexException(709, device->ComNumber());
  }
  if (inMonitor) {
    SetStatus(p, 618);
    device->Reboot();
  }
  port->Close();
  return true;
}

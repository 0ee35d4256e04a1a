#include "operations/UpdateOperation.h"

#include <memory>

#include "afx/Clock.h"
#include "afx/Format.h"
#include "afx/Module.h"
#include "afx/Ui.h"
#include "afx/Window.h"
#include "device/BreakInfo.h"
#include "device/GarnexInterface.h"
#include "device/ModelTable.h"
#include "plugin/Progress.h"
#include "port/SerialInterface.h"
#include "protocol/TCPacket.h"

namespace {

constexpr UINT kCaptionId = 5;
constexpr UINT kInvalidFileFlags = MB_ICONHAND | MB_TASKMODAL;

struct CodeStem {
  WORD productCode;
  const char* stem;
};
struct NameStem {
  const char* productName;
  const char* stem;
};

// Monitor images by product code, for boards whose record reports a
// monitor capability, and for those that report none. Several boards share
// one monitor.
constexpr CodeStem kStemsWithCapability[] = {
    {100, "kelvor_mon"}, {142, "kelvor_mon"}, {116, "holmarb_mon"}, {118, "holmarb_mon"},
    {0x35, "holmarb_mon"}, {0x72, "holmarb_mon"}, {82, "nestir_mon"}, {165, "nestir_mon"},
    {169, "nestir_mon"}, {200, "morvas_mon"}, {250, "peldra_mon"},
};
constexpr CodeStem kStemsWithoutCapability[] = {
    {100, "kelvor_mon"}, {142, "kelvor_mon"}, {116, "holmar_mon"}, {118, "holmar_mon"},
    {0x35, "holmar_mon"}, {0x72, "holmar_mon"}, {82, "nestir_mon"}, {165, "nestir_mon"},
    {169, "nestir_mon"}, {200, "morvas_mon"},
};
constexpr NameStem kStemsByName[] = {
    {"QZ710", "kelvor_mon"}, {"QZ748-R", "kelvor_mon"}, {"QZ716", "holmar_mon"},
    {"QZ718", "holmar_mon"}, {"QZ790", "nestir_mon"},   {"QZ750", "nestir_mon"},
    {"QZ760", "morvas_mon"}, {"QZ790-MPU", "peldra_mon"}, {"QZ792-MPU", "peldra_mon"},
};

// The radio link: the pipe request and the two queries of the radio's state.
constexpr BYTE kPipeRequest = 0x84;
constexpr BYTE kPipeRadio = 4;
constexpr BYTE kRadioQuery = 0x77;
constexpr BYTE kRadioReplyTag = 0xA0;
constexpr double kPipeSeconds = 3.0;
constexpr double kRadioSeconds = 1000.0;
constexpr int kSyncRounds = 101;
constexpr BYTE kSyncInProgress = 3;
constexpr BYTE kSyncFailed = 2;

// The extension of `path` with its dot, "" when the file name has none.
CString Extension(const CString& path) {
  const int dot = path.ReverseFind('.');
  const int slash = std::max(path.ReverseFind('\\'), path.ReverseFind('/'));
  return dot > slash ? path.Mid(dot) : CString();
}

// One query of the radio through the open pipe; the reply's data when it
// is the tagged answer to `what`, else nothing.
bool QueryRadio(CSerialInterface& port, char what, CPacket::ByteArray* data) {
  CTCPacket query(kRadioQuery);
  query.AppendByte(static_cast<BYTE>(what));
  if (!query.SendPacket(port) || !query.ReceivePacket(port, kRadioSeconds)) return false;
  const CPacket::ByteArray& d = query.GetData();
  if (d.size() < 4 || d[0] != kRadioReplyTag || d[1] != static_cast<BYTE>(what)) return false;
  *data = d;
  return true;
}

}  // namespace

CUpdateOperation::CUpdateOperation() : CNamedOperation(1, 1, 2), m_page(210, 132) { SetPage(0, &m_page); }

bool CUpdateOperation::GetText(unsigned kind, char* buffer, unsigned length) {
  const char* description = m_page.GetSelectedDescription();
  return AnswerText(kind, buffer, length, FormatString(3, m_strName, CString(description ? description : "")), 4,
                    6);
}

CString CUpdateOperation::MonitorStem(WORD productCode, BYTE monitorCapability, const char* productName) {
  if (productCode != 0xFF && productCode != 0xFFFF) {
    if (monitorCapability != 0) {
      for (const CodeStem& s : kStemsWithCapability)
        if (s.productCode == productCode) return s.stem;
    } else {
      for (const CodeStem& s : kStemsWithoutCapability)
        if (s.productCode == productCode) return s.stem;
    }
    return CString();
  }
  const CString name = productName ? productName : "";
  for (const NameStem& s : kStemsByName)
    if (name == s.productName) return s.stem;
  return CString();
}

bool CUpdateOperation::IsMonitorImagePath(const char* path, const CString& stem) {
  const CString full = path ? path : "";
  const int slash = std::max(full.ReverseFind('\\'), full.ReverseFind('/'));
  CString fileName = slash < 0 ? full : full.Mid(slash + 1);
  CString upperStem = stem;
  fileName.MakeUpper();
  upperStem.MakeUpper();
  const CString extension = Extension(full);
  const bool hexRoute = extension.CompareNoCase(".hex") == 0 || extension.CompareNoCase(".srec") == 0;
  // Short stems would match too many names to be a reliable sign.
  return upperStem.size() >= 6 && fileName.compare(0, upperStem.size(), upperStem) == 0 && hexRoute;
}

bool CUpdateOperation::Run(OperationParams* p) {
  const OperationParams params = *p;
  SetWindowText(params.window, AfxLoadString(kCaptionId).c_str());
  SetStatus(params, 610);
  SetProgress(params, 0);

  std::unique_ptr<CSerialInterface> port;
  std::unique_ptr<CGarnexInterface> device;
  try {
    port = std::make_unique<CSerialInterface>();
    port->Open(static_cast<UINT>(params.port), 1, 0, 0, 6);
    device = std::make_unique<CGarnexInterface>(port.get(), params);
    device->TurnOffOutputs();

    const char* selected = m_page.GetSelectedFirmwarePath();
    const CString path = selected ? selected : "";
    bool usedApplicationMode = false;
    if (Extension(path).CompareNoCase(".timg") == 0) {
      device->UpdateFromImage(path.c_str(), 0, &usedApplicationMode);
    } else {
      device->Connect(true);
      CGarnexInfo& info = device->GetGarnexInfo();
      const CString stem =
          MonitorStem(info.GetProductCode(), info.GetMonitorCapability(), info.GetProductName().c_str());
      if (IsMonitorImagePath(path.c_str(), stem)) {
        AfxMessageBox(FormatString(155, path).c_str(), kInvalidFileFlags);
        AfxThrowUserException();
      }
      if (!device->IsUsbLink()) {
        Sleep(5000);
        port->Purge(true, true);
      }
      device->UpdateFromFile(path.c_str(), device->GetFlashEnd());
    }

    if (!usedApplicationMode) {
      SetStatus(params, 618);
      device->Reboot();
      port->Purge(true, true);
      CBreakInfo breakInfo;
      breakInfo.RetrieveBreakInfo(*port, true, false);
      const CString& name = breakInfo.GetProductName();
      if (!CModelTable::IsApplicationModel(name.c_str()) && !CModelTable::IsMonitorModel(name.c_str()))
        throw CLSDeviceException(810, port->GetPortNumber());
    } else {
      // The application restarts by itself after installing; this brings it
      // back at the rate and in the state the other operations expect.
      if (port->IsOpen()) {
        device->SwitchBaudApplication(38400);
        Sleep(2000);
      }
      if (port->IsOpen()) {
        port->Write(CLSDeviceInterface::kResetFrame, sizeof CLSDeviceInterface::kResetFrame);
        Sleep(1000);
      }
    }

    SynchroniseRadio(*port, *device, params);
    device.reset();
    port->Close();
    return true;
  } catch (const CUserException&) {
    device.reset();
    if (port) port->Close();
    throw;
  } catch (const CLSDeviceException& e) {
    device.reset();
    if (port) port->Close();
    // A receiver that does not answer the reboot request restarts on its own
    // once programming is over.
    if (e.GetCode() == CLSDeviceException::kRebootNoReply) return true;
    throw;
  } catch (...) {
    if (device) {
      SetStatus(params, 618);
      if (!device->IsUpdating()) {
        device->SwitchBaud(38400);
        device->Reboot();
      } else {
        device->SwitchBaudApplication(38400);
      }
    }
    device.reset();
    if (port) port->Close();
    throw;
  }
}

void CUpdateOperation::SynchroniseRadio(CSerialInterface& port, CGarnexInterface& device,
                                        const OperationParams& params) {
  if (device.IsUsbLink()) {
    // The USB port vanishes while the receiver restarts after its update.
    port.Close();
    Sleep(30000);
    port.Open(static_cast<UINT>(params.port), 1, 0, 0, 6);
  }
  CBreakInfo breakInfo;
  for (int attempt = 0; attempt < 12; ++attempt) {
    if (breakInfo.RetrieveBreakInfo(port, true, false)) break;
    Sleep(10000);
  }
  Sleep(10000);

  CTCPacket pipe(kPipeRequest);
  pipe.AppendByte(static_cast<BYTE>(breakInfo.GetPortNumber() + 1));
  pipe.AppendByte(kPipeRadio);
  if (!pipe.SendPacket(port) || !pipe.ReceivePacket(port, kPipeSeconds) || !pipe.AckReceived()) return;

  CPacket::ByteArray version;
  if (!QueryRadio(port, 'm', &version)) {
    breakInfo.RetrieveBreakInfo(port, true, false);
    return;
  }
  const size_t n = version[2];
  const bool outOfSync = version.size() > n + 4 && version[n + 4] == 1;

  for (int i = 0; i < kSyncRounds; ++i) {
    CPacket::ByteArray status;
    if (!QueryRadio(port, 'l', &status)) break;
    const BYTE state = status[3];
    if (state == kSyncInProgress) {
      SetStatus(params, 4088);
      SetProgress(params, i);
      CheckCancel(params);
      Sleep(2600);
      continue;
    }
    if (state == 4 || state == 0) {
      SetProgress(params, 100);
      break;
    }
    if (i == 100) {
      AfxMessageBox(4089, MB_OK);
    } else if (state == kSyncFailed && outOfSync) {
      AfxMessageBox(4090, MB_OK);
      break;
    }
  }
  breakInfo.RetrieveBreakInfo(port, true, false);
}

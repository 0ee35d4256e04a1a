// The firmware update sequences: what to write into the receiver, in which
// order, and the checks that a file belongs to the receiver before anything
// is erased.
#include <cstdlib>

#include "afx/Clock.h"
#include "afx/Format.h"
#include "afx/Module.h"
#include "afx/Trace.h"
#include "afx/Ui.h"
#include "device/BreakInfo.h"
#include "device/GarnexEmbeddedInfo.h"
#include "device/GarnexInterface.h"
#include "device/ModelTable.h"
#include "firmware/GarnexFlashFileMgr.h"
#include "firmware/LSFlashFileException.h"
#include "firmware/TimgFile.h"
#include "plugin/Progress.h"
#include "port/SerialInterface.h"
#include "protocol/TCFirmwareUpload.h"
#include "protocol/TCRetrieveVersionNumbers.h"

namespace {

constexpr char kDataLogging[] = "Data Logging";
constexpr char kMonitorSuffix[] = "-MONITOR";
constexpr DWORD kUploadBaud = 115200;
constexpr UINT kFileNotVerified = 864;

// The application's answer to the identity query (upload request 08 00).
constexpr BYTE kIdentityQuery = 0x08;
constexpr size_t kIdentitySize = 82;
constexpr size_t kIdentityProductCode = 2;
constexpr size_t kIdentityCapability = 3;
constexpr size_t kIdentityProductId = 4;
constexpr size_t kIdentityInstalled = 6;
constexpr size_t kIdentitySerial = 50;
constexpr size_t kIdentitySerialSize = 32;

// One programming step of a section: erase range, then program range.
struct ProgressPlan {
  int eraseFrom, eraseTo, programFrom, programTo;
};

// The model name a monitor name stands for.
CString ModelName(const CString& productName) {
  const int at = productName.Find(kMonitorSuffix);
  return at < 0 ? productName : productName.Left(at);
}

int AskUser(const OperationParams& params, UINT textId, UINT flags) {
  return MessageBox(params.window, AfxLoadString(textId).c_str(), AfxGetModuleState()->m_pszAppName, flags);
}

// Whether the user lets an update that may wipe the receiver's logged files go on.
// The feature list comes only with the product record, which the monitor
// hands out; a running application's identity carries none. Without the
// record the receiver may well keep logged files, so the user is asked.
bool ConfirmDataLogging(const CGarnexInfo& info, const OperationParams& params, UINT icon) {
  if (info.IsFilled() && !info.HasFeature(kDataLogging)) return true;
  return AskUser(params, 1302, MB_OKCANCEL | MB_DEFBUTTON2 | icon) == IDOK;
}

// What the receiver says about itself, from whichever source the mode offers.
struct ReceiverIdentity {
  WORD productCode = 0;
  BYTE capability = 0;
  BYTE installedMajor = 0xFF;
  BYTE installedMinor = 0xFF;
};

}  // namespace

// Shared by both validations: platform, hardware age and version prompts.
static void CheckFileAgainstReceiver(const ReceiverIdentity& id, const CString& productName, bool corval5,
                                     const CGarnexEmbeddedInfo& image, const OperationParams& params, DWORD com) {
  const CString model = ModelName(productName);
  CString expected;
  if (CModelTable::IsCapabilityProductCode(id.productCode) || CModelTable::IsCapabilityModel(model.c_str()))
    expected = CModelTable::GetCapabilityPlatformName(id.capability);
  else if (id.productCode == CModelTable::kProductCodeByName)
    expected = CModelTable::GetPlatformNameForModel(model.c_str());
  else
    expected = CModelTable::GetPlatformName(id.productCode);
  if (expected != image.GetName()) {
    TRACE("ValidateFirmwareUpdate: receiver platform [%s], file platform [%s]\n", expected.c_str(),
          image.GetName().c_str());
    throw CLSDeviceException(824, com);
  }
  // Flash chips of that generation need firmware built from mid-2003 on.
  if (corval5 && (image.GetYear() < 2003 || (image.GetYear() == 2003 && image.GetMonth() < 7)))
    throw CLSDeviceException(822, com);

  const int major = image.GetVersion() / 100;
  const int minor = image.GetVersion() % 100;
  UINT prompt = 0;
  if (major == id.installedMajor && minor == id.installedMinor) {
    prompt = 151;
  } else if (id.installedMajor != 0xFF && id.installedMinor != 0xFF &&
             (major < id.installedMajor || (major == id.installedMajor && minor < id.installedMinor))) {
    prompt = 158;
  }
  if (prompt != 0 && AskUser(params, prompt, MB_YESNO | MB_ICONQUESTION | MB_SETFOREGROUND) != IDYES)
    AfxThrowUserException();
}

// Reads the file's identity block; a file that cannot be read as one ends
// the run after message 152.
static void ReadImageIdentity(CLSFlashFile& file, CGarnexEmbeddedInfo& image) {
  try {
    file.ReadEmbeddedInfo(image);
  } catch (const CFileException&) {
    AfxMessageBox(FormatString(152, file.GetFileName()).c_str(), MB_OK | MB_ICONEXCLAMATION);
    AfxThrowUserException();
  }
}

void CGarnexInterface::ValidateFirmwareUpdate(CLSFlashFile& file) {
  if (!m_info.HasSerialNumber()) throw CLSDeviceException(808, ComNumber());
  CGarnexEmbeddedInfo image;
  ReadImageIdentity(file, image);
  ReceiverIdentity id;
  id.productCode = m_info.GetProductCode();
  id.capability = m_info.GetMonitorCapability();
  if (id.capability != 0) m_bProductInfoFlag = 1;
  id.installedMajor = m_info.GetInstalledMajor();
  id.installedMinor = m_info.GetInstalledMinor();
  CheckFileAgainstReceiver(id, m_strProductName, m_bCorval5 != 0, image, m_params, ComNumber());
}

void CGarnexInterface::ValidateFirmwareUpdateApplication(CLSFlashFile& file) {
  CTCFirmwareUpload request;
  const BYTE query[2] = {kIdentityQuery, 0x00};
  request.SetData(query, sizeof query);
  CTCFirmwareUpload reply;
  const bool answered = request.SendLongPacket(*m_pPort) && reply.ReceiveLongReplyTo(request, *m_pPort, kReplySeconds);
  const CPacket::ByteArray& d = reply.GetData();
  if (!answered || d.size() < kIdentitySize || d[0] != kIdentityQuery) {
    TRACE("CGarnexInterface::ValidateFirmwareUpdate: Get receiver id failed\n");
    throw CLSDeviceException(808, ComNumber());
  }
  bool hasSerial = false;
  for (size_t i = 0; i < kIdentitySerialSize; ++i) hasSerial = hasSerial || d[kIdentitySerial + i] != 0;
  if (!hasSerial) throw CLSDeviceException(808, ComNumber());

  CGarnexEmbeddedInfo image;
  ReadImageIdentity(file, image);
  ReceiverIdentity id;
  id.productCode = d[kIdentityProductCode];
  if (id.productCode == 0) id.productCode = static_cast<WORD>(d[kIdentityProductId] << 8 | d[kIdentityProductId + 1]);
  id.capability = d[kIdentityCapability];
  if (id.capability != 0) m_bProductInfoFlag = 1;
  id.installedMajor = d[kIdentityInstalled];
  id.installedMinor = d[kIdentityInstalled + 1];
  CheckFileAgainstReceiver(id, m_strProductName, m_bCorval5 != 0, image, m_params, ComNumber());
}

namespace {

// Erases the sectors under `section` (once more after a pause if the first
// erase fails), waits for the flash to settle and writes the section.
void WriteSection(CGarnexInterface& device, CLSFlashFile& file, const TimgSection& section, const ProgressPlan& plan) {
  CLSDeviceInterface::SectorList sectors;
  device.BuildSectorList(section.flashAddress, section.flashAddress + section.length, sectors);
  SetStatus(device.GetParams(), 617);
  try {
    device.EraseFlash(sectors, plan.eraseFrom, plan.eraseTo);
  } catch (const CLSDeviceException& e) {
    TRACE("Erase failed with %u; trying once more\n", static_cast<unsigned>(e.GetCode()));
    Sleep(5000);
    device.EraseFlash(sectors, plan.eraseFrom, plan.eraseTo);
  }
  Sleep(15000);
  SetStatusText(device.GetParams(), AfxLoadString(611).c_str());
  device.ProgramImage(file, section.payloadOffset, section.length, section.flashAddress, plan.programFrom,
                      plan.programTo);
}

}  // namespace

void CGarnexInterface::UpdateFromImage(const char* path, DWORD, bool* usedApplicationMode) {
  if (usedApplicationMode) *usedApplicationMode = false;
  // Set from the user's yes to a monitor install until the monitor is written:
  // a failure then leaves the receiver without a working monitor.
  bool writingMonitor = false;
  try {
    SetStatus(m_params, 613);
    SetProgress(m_params, 0);
    CGarnexFlashFileMgr opened(path);
    CLSFlashFile& file = *opened.GetFile();
    if (!file.Verify()) throw CLSFlashFileException(kFileNotVerified, path);
    CTimgFile* container = dynamic_cast<CTimgFile*>(&file);
    file.Rewind();
    CGarnexEmbeddedInfo image;
    file.ReadEmbeddedInfo(image);

    CBreakInfo breakInfo;
    if (!breakInfo.RetrieveBreakInfo(*m_pPort, true, false)) throw CGarnexException(701, ComNumber());
    m_strProductName = breakInfo.GetProductName();
    m_strVersionText = breakInfo.GetVersionText();
    m_nReceiverPort = breakInfo.GetPortNumber();
    m_fReferenceVersion = breakInfo.GetRefVersion();

    bool applicationRoute = false;
    if (CModelTable::IsMonitorModel(m_strProductName.c_str())) {
      m_fMonitorVersion = breakInfo.GetVersion();
    } else if (CModelTable::IsApplicationModel(m_strProductName.c_str())) {
      m_fApplicationVersion = breakInfo.GetVersion();
      applicationRoute = CModelTable::IsMpuModel(m_strProductName.c_str()) ||
                         3.8f - m_fApplicationVersion < 0.0001f || m_fApplicationVersion - 1.0f < 0.0001f;
    }
    if (breakInfo.IsPortFixed() || CModelTable::IsMonitorPathModel(m_strProductName.c_str())) applicationRoute = false;

    TimgSection monitor, application;
    if (applicationRoute) {
      ValidateFirmwareUpdateApplication(file);
      CTCRetrieveVersionNumbers versions;
      CString boot;
      if (versions.SendPacket(*m_pPort) && versions.ReceiveReply(*m_pPort) && versions.GetBootVersion(&boot))
        m_fMonitorVersion = static_cast<float>(std::atof(boot.c_str()));
      const bool hasMonitor = container && container->FindMonitorSection(CModelTable::kProductCodeByName, monitor);
      if (usedApplicationMode) *usedApplicationMode = true;
      if (!ConfirmDataLogging(m_info, m_params, 0)) return;

      const DWORD earlierBaud = breakInfo.GetBaudRate();
      const bool switched = !IsUsbLink() && earlierBaud != kUploadBaud;
      if (switched) SwitchBaudApplication(kUploadBaud);
      SetStatusText(m_params, AfxLoadString(611).c_str());
      m_bUpdating = 1;
      if (hasMonitor &&
          (monitor.versionMajor + monitor.versionMinor / 100.0f) - m_fMonitorVersion > 0.0001f) {
        if (AskUser(m_params, 4085, MB_YESNO | MB_DEFBUTTON2 | MB_ICONWARNING) != IDYES) return;
        writingMonitor = true;
      }
      UploadFirmware(file, 0, 0, 100, true);
      writingMonitor = false;

      if (IsUsbLink()) m_pPort->Close();
      if (switched) {
        // The receiver installs and restarts on its own before it listens again.
        Sleep(10000);
        if (!IsUsbLink()) {
          Sleep(5000);
          try {
            SwitchBaudApplication(earlierBaud);
          } catch (const CLSDeviceException& e) {
            TRACE("Switching back to %u baud failed (%u)\n", static_cast<unsigned>(earlierBaud),
                  static_cast<unsigned>(e.GetCode()));
          }
        }
      } else if (IsUsbLink()) {
        Sleep(10000);
      }
      m_bUpdating = 0;
      return;
    }

    Connect(true);
    ValidateFirmwareUpdate(file);
    if (!ConfirmDataLogging(m_info, m_params, 0)) return;
    const bool hasMonitor = container && container->FindMonitorSection(m_info.GetProductCodeByte(), monitor);
    const bool hasApplication = container && container->FindApplicationSection(application);

    const int sectionVersion = monitor.versionMajor * 100 + monitor.versionMinor;
    const int receiverMonitor = m_info.GetMonitorMajor() * 100 + m_info.GetMonitorMinor();
    const bool monitorNeeded = hasMonitor && (sectionVersion == 0 || receiverMonitor < sectionVersion);
    bool monitorInstalled = false;
    if (monitorNeeded) {
      if (AskUser(m_params, 4085, MB_YESNO | MB_DEFBUTTON2 | MB_ICONWARNING) != IDYES) return;
      writingMonitor = true;
      WriteSection(*this, file, monitor, hasApplication ? ProgressPlan{0, 2, 3, 20} : ProgressPlan{0, 4, 5, 100});
      writingMonitor = false;
      monitorInstalled = true;
    }
    if (hasApplication)
      WriteSection(*this, file, application,
                   monitorInstalled ? ProgressPlan{21, 24, 25, 100} : ProgressPlan{0, 4, 5, 100});
    if (monitorInstalled) {
      // The new monitor takes over only after a restart.
      Reboot();
      Sleep(10000);
      Connect(true);
    }
  } catch (const CLSDeviceException& e) {
    if (writingMonitor) {
      MessageBox(m_params.window, AfxLoadString(4086).c_str(), AfxGetModuleState()->m_pszAppName,
                 MB_OK | MB_ICONERROR | MB_SETFOREGROUND);
      AfxThrowUserException();
    }
    RecoverAfterFailure();
    e.ReportError();
    throw CLSDeviceException(800, ComNumber(), true);
  } catch (const CLSFlashFileException& e) {
    RecoverAfterFailure();
    e.ReportError();
    throw CLSDeviceException(800, ComNumber(), true);
  } catch (const CUserException&) {
    RecoverAfterFailure();
    throw;
  }
}

void CGarnexInterface::RecoverAfterFailure() {
  if (!m_bUpdating) return;
  // The application may be half way through taking an image: bring it back
  // to a known rate and restart it. A receiver that does not answer now is
  // no news; the failure that got us here is what the user must see.
  try {
    ResetAt38400();
  } catch (const CException&) {
    TRACE("Reset after a failed upload went unanswered\n");
  }
}

void CGarnexInterface::UpdateFromFile(const char* path, DWORD addressOffset) {
  m_bUpdating = 0;
  SetStatus(m_params, 613);
  SetProgress(m_params, 0);
  if (!ConfirmDataLogging(m_info, m_params, MB_ICONINFORMATION)) return;
  try {
    CGarnexFlashFileMgr opened(path);
    CLSFlashFile& file = *opened.GetFile();
    if (!file.Verify()) throw CLSFlashFileException(kFileNotVerified, path);
    ValidateFirmwareUpdate(file);
    file.Rewind();
    CGarnexEmbeddedInfo image;
    file.ReadEmbeddedInfo(image);
    SectorList sectors;
    BuildSectorListForSize(image.GetImageSize(), sectors);
    SetStatus(m_params, 617);
    EraseFlash(sectors, 0, 5);
    SetStatusText(m_params, AfxLoadString(611).c_str());
    Sleep(15000);
    ProgramFile(file, addressOffset, 5, 100);
  } catch (const CLSFlashFileException& e) {
    e.ReportError();
    throw CLSDeviceException(800, ComNumber(), true);
  }
}

void CGarnexInterface::UpdateController(const char* path) {
  SetStatus(m_params, 613);
  SetProgress(m_params, 0);
  try {
    CGarnexFlashFileMgr opened(path);
    CLSFlashFile& file = *opened.GetFile();
    if (!file.Verify()) throw CLSFlashFileException(kFileNotVerified, path);
    file.Rewind();
    SetStatusText(m_params, AfxLoadString(611).c_str());
    ProgramControllerNow(file, 0, 5, 100);
  } catch (const CLSFlashFileException& e) {
    e.ReportError();
    throw CLSDeviceException(800, ComNumber(), true);
  }
}

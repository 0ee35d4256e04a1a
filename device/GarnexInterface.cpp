#include "device/GarnexInterface.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <iterator>

#include "afx/Clock.h"
#include "afx/DeviceManager.h"
#include "afx/Format.h"
#include "afx/Registry.h"
#include "afx/Trace.h"
#include "afx/Ui.h"
#include "device/BreakInfo.h"
#include "device/ModelTable.h"
#include "plugin/Progress.h"
#include "port/SerialInterface.h"
#include "protocol/LSRebootPacket.h"
#include "protocol/LSRequestFlashInfo.h"
#include "protocol/TCPacket.h"

namespace {

constexpr UINT kDeviceNameId = 211;
constexpr UINT kDeviceKeyId = 1009;
constexpr UINT kInvalidDeviceId = 733;
constexpr UINT kNoDeviceId = 735;
constexpr const char* kDevicesKey = "SOFTWARE\\Korvane\\Talvern\\Devices";
constexpr const char* kUsbFriendlyName = "Korvane GNSS (COM%d)";

constexpr BYTE kEnterMonitorType = 0x87;
constexpr BYTE kResetType = 0x58;
constexpr BYTE kOutputsType = 0x51;

// How long an application takes to come back as its monitor.
constexpr DWORD kRestartMs = 14000;
constexpr DWORD kSlowRestartMs = 24000;
constexpr int kMonitorPolls = 8;
constexpr DWORD kMonitorPollPauseMs = 7000;
constexpr DWORD kResetWithModeMs = 120000;

constexpr double kHardwareInfoSeconds = 15.0;
constexpr double kHardwareInfoRetrySeconds = 5.0;

constexpr DWORD kBaudCandidates[] = {9600, 14400, 38400, 57600, 115200};
constexpr int kDefaultBaudCandidate = 4;

// The rates at which a receiver's outputs are switched off, as port speed codes.
constexpr int kOutputsBaudCodes[] = {9, 12, 11, 8};

DWORD BigEndian32(const BYTE* p) {
  return (DWORD{p[0]} << 24) | (DWORD{p[1]} << 16) | (DWORD{p[2]} << 8) | DWORD{p[3]};
}

const char* AppName() {
  const char* name = AfxGetModuleState()->m_pszAppName;
  return name ? name : "";
}

// Reads a string value of an open key; empty when absent or not text.
CString QueryString(HKEY key, const char* name) {
  char buffer[256] = {};
  DWORD type = 0;
  DWORD size = sizeof buffer - 1;
  if (RegQueryValueEx(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size) != ERROR_SUCCESS ||
      type != REG_SZ)
    return {};
  buffer[std::min<DWORD>(size, sizeof buffer - 1)] = '\0';
  return CString(buffer);
}

// Reads a number stored either as a DWORD or as decimal text.
bool QueryNumber(HKEY key, const char* name, DWORD* value) {
  BYTE buffer[64] = {};
  DWORD type = 0;
  DWORD size = sizeof buffer - 1;
  if (RegQueryValueEx(key, name, nullptr, &type, buffer, &size) != ERROR_SUCCESS) return false;
  if (type == REG_DWORD && size == 4) {
    std::memcpy(value, buffer, 4);
    return true;
  }
  if (type != REG_SZ) return false;
  buffer[std::min<DWORD>(size, sizeof buffer - 1)] = '\0';
  DWORD number = 0;
  const char* p = reinterpret_cast<const char*>(buffer);
  if (*p == '\0') return false;
  for (; *p; ++p) {
    if (*p < '0' || *p > '9' || number > 100000000) return false;
    number = number * 10 + static_cast<DWORD>(*p - '0');
  }
  *value = number;
  return true;
}

class RegKey {
 public:
  explicit RegKey(const char* path) : open_(RegOpenKeyEx(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, &key_) == ERROR_SUCCESS) {}
  ~RegKey() {
    if (open_) RegCloseKey(key_);
  }
  RegKey(const RegKey&) = delete;
  RegKey& operator=(const RegKey&) = delete;
  bool IsOpen() const { return open_; }
  HKEY Get() const { return key_; }

 private:
  HKEY key_ = nullptr;
  bool open_;
};

}  // namespace

bool CGarnexInterface::FlashLayout::Parse(const BYTE* data, DWORD size) {
  if (data == nullptr || size < kFlashLayoutSize) return false;
  std::memcpy(raw.data(), data, kFlashLayoutSize);
  base = BigEndian32(data);
  const char* name = reinterpret_cast<const char*>(data + 10);
  chipName = CString(name, strnlen(name, 16));
  applicationStart = BigEndian32(data + 26);
  for (int i = 0; i < 3; ++i) {
    sectorCount[i] = BigEndian32(data + 36 + 4 * i);
    sectorSize[i] = BigEndian32(data + 52 + 4 * i);
  }
  upperSectorSize = BigEndian32(data + 64);
  return true;
}

CGarnexInterface::CGarnexInterface(CSerialInterface* port, const OperationParams& params)
    : CLSDeviceInterface(nullptr, port, params) {
  m_pInfo = &m_info;
}

CGarnexInterface::~CGarnexInterface() = default;

DWORD CGarnexInterface::GetFlashAddress(int region) {
  switch (region) {
    case 0:
      return m_nFlashStart;
    case 1:
      return 0x23000;
    default:
      return 0;
  }
}

bool CGarnexInterface::DetectReceiver(bool promptWhenSilent) {
  for (;;) {
    CBreakInfo info;
    CString message;
    const bool answered = info.RetrieveBreakInfo(*m_pPort, true, false);
    // A silent receiver leaves the record's own defaults ("NoSuchProduct"):
    // the name of an earlier answer must not send requests to it.
    m_strProductName = info.GetProductName();
    m_nReceiverPort = info.GetPortNumber();
    if (answered) {
      m_strVersionText = info.GetVersionText();
      m_bSlowRestart = info.GetPortMode() ? 1 : 0;
      if (CModelTable::IsApplicationModel(m_strProductName.c_str()) ||
          CModelTable::IsMonitorModel(m_strProductName.c_str()))
        return true;
      message = FormatString(kInvalidDeviceId, ComNumber(), ComNumber());
    } else {
      if (!promptWhenSilent) return false;
      message = FormatString(kNoDeviceId, ComNumber());
    }
    if (MessageBox(m_params.window, message.c_str(), AppName(), MB_RETRYCANCEL | MB_SETFOREGROUND) != IDRETRY)
      AfxThrowUserException();
  }
}

DWORD CGarnexInterface::ModelRestartMs(const char* productName) {
  switch (CModelTable::GetProductId(productName)) {
    case 100:
    case 101:
    case 137:
    case 165:
    case 169:
    case 239:
    case 242:
    case 243:
      return 18000;
    case 153:
      return 6000;
    case 240:
      return 10000;
    default:
      return 0;
  }
}

void CGarnexInterface::ReopenUsbLink(int attempts) {
  for (int attempt = 0; attempt < attempts; ++attempt) {
    try {
      m_pPort->Open(ComNumber(), 1, 0, 0, CSerialInterface::kDefaultBaudIndex);
      return;
    } catch (const CSerialComException& e) {
      if (e.GetErrorCode() != CSerialComException::kOpen) return;
      Sleep(5000);
      TRACE("Failed to open the serial port, try again\n");
    }
  }
}

bool CGarnexInterface::EnterMonitor() {
  DetectReceiver(false);
  if (!CModelTable::IsApplicationModel(m_strProductName.c_str()))
    return CModelTable::IsMonitorModel(m_strProductName.c_str());

  CTCPacket enterMonitor(kEnterMonitorType);
  enterMonitor.SendPacket(*m_pPort);
  const DWORD com = ComNumber();
  if (IsUsbLink()) {
    // The USB virtual port disappears while the receiver restarts.
    Sleep(500);
    m_pPort->Close();
  }
  Sleep(m_bSlowRestart ? kSlowRestartMs : kRestartMs);
  if (const DWORD extra = ModelRestartMs(m_strProductName.c_str())) Sleep(extra);
  if (IsUsbLink()) {
    Sleep(5000);
    // A stale device node keeps the reappearing port from opening.
    const std::string name = FormatText(kUsbFriendlyName, com);
    afx::GetDeviceManager().DisableDevice(name);
    Sleep(1000);
    afx::GetDeviceManager().EnableDevice(name);
    Sleep(1000);
    ReopenUsbLink(1);
  }

  for (int poll = 0; poll < kMonitorPolls; ++poll) {
    CBreakInfo info;
    const bool answered = info.RetrieveBreakInfo(*m_pPort, true, false);
    m_strProductName = info.GetProductName();
    if (answered) {
      m_strVersionText = info.GetVersionText();
      m_nReceiverPort = info.GetPortNumber();
    }
    if (m_strProductName.find("-MONITOR") != CString::npos) break;
    Sleep(kMonitorPollPauseMs);
  }
  if (CModelTable::IsMonitorModel(m_strProductName.c_str())) return true;
  if (CModelTable::IsApplicationModel(m_strProductName.c_str()))
    throw CLSDeviceException(CLSDeviceException::kStillApplication, com);
  return false;
}

void CGarnexInterface::Connect(bool switchBaud) {
  CheckCancel(m_params);
  if (!EnterMonitor()) throw CLSDeviceException(CLSDeviceException::kNoResponse, ComNumber());
  SetProgress(m_params, 40);
  CheckCancel(m_params);
  if (!IsUsbLink()) {
    SelectMaxBaud(switchBaud);
    Sleep(5000);
  }
  SetProgress(m_params, 80);
  CheckCancel(m_params);
  ReadProductInfo();
  if (!ReadHardwareInfo()) {
    Sleep(1000);
    if (!ReadHardwareInfo()) ReadFlashInfo();
  }
  SetProgress(m_params, 100);
  m_bConnected = 1;
}

void CGarnexInterface::SelectMaxBaud(bool switchBaud) {
  int index = kDefaultBaudCandidate;
  const CString path = CString(kDevicesKey) + "\\" + AfxLoadString(kDeviceNameId);
  RegKey key(path.c_str());
  DWORD maxBaud = kBaudCandidates[kDefaultBaudCandidate];
  if (key.IsOpen() && QueryNumber(key.Get(), "MaxBaud", &maxBaud)) {
    for (int i = 0; i < static_cast<int>(std::size(kBaudCandidates)); ++i)
      if (kBaudCandidates[i] == maxBaud) index = i;
  }
  SwitchBaud(switchBaud ? kBaudCandidates[index] : 0);
  Sleep(500);
  // A first read at the new rate may fail while the line settles; Connect reads again.
  try {
    ReadProductInfo();
  } catch (const CException&) {
  }
}

void CGarnexInterface::ReadProductInfo() {
  std::vector<BYTE> buffer(m_info.GetSize());
  RequestProductInfo(static_cast<WORD>(buffer.size()), buffer.data());
  m_info.FillOutProductInfo(buffer.data(), static_cast<DWORD>(buffer.size()));
  if (m_info.GetMonitorCapability() != 0) m_bProductInfoFlag = 1;
}

void CGarnexInterface::TakeFlashLayout(const BYTE* data, DWORD size) {
  if (!m_flashLayout.Parse(data, size)) return;
  m_bCorval5 = m_flashLayout.chipName == "Corval 5" ? 1 : 0;
  m_nFlashStart = m_flashLayout.base;
  m_nFlashEnd = m_flashLayout.applicationStart;
  m_bDefaultLayout = 0;
}

bool CGarnexInterface::ReadHardwareInfo() {
  CLSRequestFlashInfo request;
  request.AppendByte(1);
  CLSRequestFlashInfo reply;
  request.SendPacket(*m_pPort);
  bool ok = reply.ReceivePacket(*m_pPort, kHardwareInfoSeconds) && reply.GetDataSize() == kHardwareInfoSize;
  if (!ok) {
    Sleep(2000);
    m_pPort->Purge(true, true);
    Sleep(2000);
    request.SendPacket(*m_pPort);
    ok = reply.ReceivePacket(*m_pPort, kHardwareInfoRetrySeconds) && reply.GetDataSize() == kHardwareInfoSize;
  }
  if (!ok) return false;
  std::memcpy(m_hardwareInfo.data(), reply.GetDataPtr(), kHardwareInfoSize);
  TakeFlashLayout(reply.GetDataPtr(), reply.GetDataSize());
  return true;
}

void CGarnexInterface::ReadFlashInfo() {
  CLSRequestFlashInfo request;
  CLSRequestFlashInfo reply;
  request.SendPacket(*m_pPort);
  if (reply.ReceivePacket(*m_pPort, kReplySeconds) && reply.GetDataSize() == kFlashLayoutSize) {
    TakeFlashLayout(reply.GetDataPtr(), reply.GetDataSize());
    return;
  }
  m_nFlashStart = kDefaultFlashStart;
  m_nFlashEnd = kDefaultFlashEnd;
  m_bDefaultLayout = 1;
  throw CLSDeviceException(CLSDeviceException::kNoResponse, ComNumber());
}

void CGarnexInterface::AppendRegionSectors(DWORD start, DWORD end, SectorList& sectors) const {
  const FlashLayout& f = m_flashLayout;
  // Region ends in 64 bits: a description from the receiver may describe more than 4 GB.
  const std::uint64_t end1 = std::uint64_t{f.base} + std::uint64_t{f.sectorCount[0]} * f.sectorSize[0];
  const std::uint64_t end2 = end1 + std::uint64_t{f.sectorCount[1]} * f.sectorSize[1];
  const std::uint64_t end3 = end2 + std::uint64_t{f.sectorCount[2]} * f.sectorSize[2];
  std::uint64_t a = start;
  do {
    sectors.push_back(static_cast<DWORD>(a));
    const DWORD size = a < end1 ? f.sectorSize[0] : a < end2 ? f.sectorSize[1] : a < end3 ? f.sectorSize[2]
                                                                                      : f.upperSectorSize;
    // A zero size would never reach the end.
    if (size == 0) break;
    a += size;
  } while (a < end && a <= 0xFFFFFFFFu);
}

void CGarnexInterface::BuildSectorList(DWORD start, DWORD end, SectorList& sectors) const {
  sectors.clear();
  if (m_bDefaultLayout) return;
  AppendRegionSectors(start, end, sectors);
}

void CGarnexInterface::BuildSectorListForSize(DWORD size, SectorList& sectors) const {
  sectors.clear();
  if (m_bDefaultLayout) {
    const DWORD count = size / kDefaultSectorSize + 2;
    for (DWORD i = 0; i < count; ++i) sectors.push_back(m_nFlashEnd + i * kDefaultSectorSize);
    return;
  }
  const std::uint64_t end = std::uint64_t{m_flashLayout.applicationStart} + size;
  AppendRegionSectors(m_flashLayout.applicationStart, static_cast<DWORD>(std::min<std::uint64_t>(end, 0xFFFFFFFFu)),
                      sectors);
}

void CGarnexInterface::Reboot() {
  if (m_nReceiverPort == -1) {
    CBreakInfo info;
    if (!info.RetrieveBreakInfo(*m_pPort, true, false))
      throw CGarnexException(CGarnexException::kNoReceiver, ComNumber());
    m_nReceiverPort = info.GetPortNumber();
  }
  CLSRebootPacket request;
  request.SendPacket(*m_pPort);
  Sleep(2000);
  if (IsUsbLink()) {
    Sleep(2000);
    m_pPort->Close();
    Sleep(12000);
    ReopenUsbLink(10);
  }
}

void CGarnexInterface::Reset() {
  if (m_pPort && m_pPort->IsOpen()) WriteResetFrame();
}

void CGarnexInterface::ResetWithMode(int mode) {
  if (mode < 0 || mode > 3) return;
  CTCPacket reset(kResetType);
  reset.AppendByte(0xFF);
  reset.AppendByte(static_cast<BYTE>(mode));
  reset.AppendData(reinterpret_cast<const BYTE*>("RESET"), 5);
  reset.SendPacket(*m_pPort);
  Sleep(kResetWithModeMs);
  CBreakInfo info;
  info.RetrieveBreakInfo(*m_pPort, true, false);
}

bool CGarnexInterface::TurnOffOutputs() {
  RegKey key(AfxLoadString(kDeviceKeyId).c_str());
  if (!key.IsOpen()) return false;
  if (QueryString(key.Get(), "TurnOffOutputs") != "TRUE") return true;
  const DWORD before = m_pPort->GetBaudRate();
  auto silence = [this] {
    CTCPacket request(kOutputsType);
    request.AppendByte(0x0A);
    request.AppendByte(0xFF);
    request.SendPacket(*m_pPort);
    CTCPacket reply(kOutputsType);
    reply.ReceivePacket(*m_pPort, kReplySeconds);
    Sleep(2000);
  };
  silence();
  for (int code : kOutputsBaudCodes) {
    m_pPort->SetBaudIndex(code);
    silence();
  }
  m_pPort->SetBaudRate(before);
  return true;
}

void CGarnexInterface::WriteProductId(const char* text) {
  // The serial number is the identity field a service technician changes.
  BYTE field[32] = {};
  if (text) std::memcpy(field, text, strnlen(text, sizeof field));
  SendProductId(field, sizeof field);
}

void CGarnexInterface::SendRadioConfig(const BYTE* buffer, WORD length) {
  CLSDeviceInterface::SendRadioConfig(buffer, length);
}

std::vector<BYTE> CGarnexInterface::RetrieveRadioConfigRecord(WORD length) {
  std::vector<BYTE> record(length);
  RetrieveRadioConfig(record.data(), length);
  return record;
}

std::vector<BYTE> CGarnexInterface::RetrieveMemoryMapRecord(WORD length) {
  std::vector<BYTE> record(length);
  RetrieveMemoryMap(record.data(), length);
  return record;
}

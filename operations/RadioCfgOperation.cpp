#include "operations/RadioCfgOperation.h"

#include <algorithm>

#include "afx/Clock.h"
#include "afx/Exception.h"
#include "afx/Format.h"
#include "afx/Window.h"
#include "device/BreakInfo.h"
#include "device/GarnexException.h"
#include "device/GarnexInterface.h"
#include "device/LSDeviceException.h"
#include "operations/ERODictionary.h"
#include "operations/FrequencyDialog.h"
#include "operations/FrequencyDialog2.h"
#include "operations/HoppingDialog.h"
#include "operations/PB2Dictionary.h"
#include "operations/ReceiverCheck.h"
#include "plugin/Progress.h"
#include "port/SerialInterface.h"
#include "protocol/TCPacket.h"

namespace {
constexpr UINT kTitleId = 75;
constexpr UINT kConnectingId = 610;
constexpr UINT kRebootingAppId = 618;
constexpr UINT kMonitorId = 619;
constexpr UINT kRetrievingId = 624;
constexpr UINT kRebootingId = 625;
constexpr double kReplySeconds = 3.0;
constexpr size_t kSpacingCount = 3;
constexpr size_t kSpacingStart = 6;
constexpr DWORD kChannelCodeWithoutTransmitter = 768;

// Modes whose settings no dialog edits: the run leaves them alone.
bool WithoutDialog(int mode) { return mode == 10 || mode == 11 || mode == 12 || mode == 40; }
// Modes with fixed channel frequencies; the others hop.
bool FixedFrequency(int mode) { return mode == 4 || mode == 5 || mode == 7 || mode == 8; }

bool OpenPipe(CSerialInterface& port, int receiverPort) {
  CTCPacket pipe(CRadioCfgOperation::kPipeType);
  pipe.AppendByte(static_cast<BYTE>(receiverPort));
  pipe.AppendByte(CRadioCfgOperation::kPipeRadio);
  return pipe.SendPacket(port) && pipe.ReceivePacket(port, kReplySeconds) && pipe.AckReceived();
}

// Gives the receiver's port back to the receiver; a radio past answering
// leaves nothing to do about a missing acknowledgement.
void ClosePipe(CSerialInterface& port, int receiverPort) {
  CTCPacket pipe(CRadioCfgOperation::kPipeType);
  pipe.AppendByte(static_cast<BYTE>(receiverPort));
  pipe.AppendByte(CRadioCfgOperation::kPipeClosed);
  if (pipe.SendPacket(port)) pipe.ReceivePacket(port, kReplySeconds);
}

// Modes of the newer radio with fixed channel tables; the others are not edited here.
bool NewRadioDialog(int mode) { return mode == 12 || mode == 14 || mode == 16; }
}  // namespace

bool CRadioCfgOperation::IsNewRadio(const CString& productName) {
  return std::any_of(std::begin(kNewRadioProducts), std::end(kNewRadioProducts),
                     [&](const char* name) { return productName == name; });
}

CRadioCfgOperation::CRadioCfgOperation() : CNamedOperation(0, 71, 72) {}

bool CRadioCfgOperation::GetText(unsigned kind, char* buffer, unsigned length) {
  return AnswerText(kind, buffer, length, FormatString(73, m_strName), 74, 76);
}

std::vector<UINT> CRadioCfgOperation::DecodeSpacingList(const BYTE* data, UINT size) {
  std::vector<UINT> codes;
  if (data == nullptr || size <= kSpacingStart) return codes;
  const size_t end = std::min<size_t>(size, kSpacingStart + data[kSpacingCount]);
  bool seenOne = false;
  for (size_t i = kSpacingStart; i < end; ++i) {
    if (seenOne && data[i] == 5) continue;
    seenOne = seenOne || data[i] == 1;
    codes.push_back(data[i]);
  }
  return codes;
}

void CRadioCfgOperation::Abandon(const OperationParams& params, CGarnexInterface& device) {
  SetProgress(params, 95);
  SetStatus(params, kRebootingId);
  device.Reboot();
  AfxThrowUserException();
}

bool CRadioCfgOperation::ConfigureRadio(const OperationParams& p, CSerialInterface& port, CGarnexInterface& device) {
  const DWORD com = port.GetPortNumber();
  // The radio answers its capability query only through the pipe; a closed
  // pipe still lets the configuration area be edited, but the run then fails.
  const bool pipeOpen = OpenPipe(port, m_nReceiverPort);
  CTCPacket query(kRadioType);
  query.AppendByte(kCapabilityQuery);
  if (!query.SendPacket(port)) throw CGarnexException(CGarnexException::kUnexpectedReply, com);
  query.SetAckNotExpected(true);
  if (query.ReceivePacket(port, kReplySeconds) && query.GetDataSize() > 6)
    m_spacing = DecodeSpacingList(query.GetDataPtr(), query.GetDataSize());

  SetStatus(p, kMonitorId);
  device.Connect(false);
  SetProgress(p, 20);
  SetStatus(p, kRetrievingId);
  std::vector<BYTE> area = device.RetrieveRadioConfigRecord(kAreaSize);
  SetProgress(p, 30);
  CheckCancel(p);

  CERODictionary dictionary;
  if (!dictionary.Load(area.data(), area.size())) throw CGarnexException(710, 0);
  const int mode = dictionary.GetMode();
  const DWORD setting = dictionary.GetSetting();
  size_t used = area.size();
  if (mode == 7) {
    if (used < CERODictionary::kBlockSize + dictionary.EncodedSize() ||
        !CERODictionary::CheckBlock(area.data() + used - CERODictionary::kBlockSize, CERODictionary::kBlockSize))
      throw CGarnexException(710, 0);
    used -= CERODictionary::kBlockSize;
  }

  SetProgress(p, 40);
  if (WithoutDialog(mode)) {
    SetProgress(p, 50);
    Abandon(p, device);
  }
  bool ok = false;
  bool changed = false;
  if (FixedFrequency(mode)) {
    if (!m_bTransmitter) {
      dictionary.SetTransmitPower(0);
      dictionary.SetChannelCode(kChannelCodeWithoutTransmitter);
    }
    CFrequencyDialog dialog(dictionary, m_spacing);
    ok = dialog.DoModal() == IDOK;
    changed = dialog.IsChanged();
  } else {
    CHoppingDialog dialog(dictionary, setting, mode);
    ok = dialog.DoModal() == IDOK;
    changed = dialog.IsChanged();
  }
  SetProgress(p, 50);
  if (!ok) Abandon(p, device);

  if (!dictionary.Store(area.data(), used)) throw CGarnexException(710, 0);
  SetProgress(p, 75);
  device.SendRadioConfig(area.data(), static_cast<WORD>(used));
  const std::vector<BYTE> written = device.RetrieveRadioConfigRecord(kAreaSize);
  if (!std::equal(area.begin(), area.begin() + static_cast<std::ptrdiff_t>(used), written.begin()))
    throw CGarnexException(712, com);
  SetProgress(p, 95);
  SetStatus(p, kRebootingId);
  device.Reboot();
  if (!pipeOpen) throw CGarnexException(CGarnexException::kUnexpectedReply, com);
  return changed;
}

bool CRadioCfgOperation::ConfigureNewRadio(const OperationParams& p, CSerialInterface& port,
                                           CGarnexInterface& device) {
  const DWORD com = port.GetPortNumber();
  if (!OpenPipe(port, m_nReceiverPort)) throw CGarnexException(CGarnexException::kUnexpectedReply, com);
  SetStatus(p, kMonitorId);
  SetProgress(p, 20);
  SetStatus(p, kRetrievingId);
  CPB2Dictionary dictionary;
  if (!dictionary.Read(port)) {
    ClosePipe(port, m_nReceiverPort);
    device.Reset();
    throw CGarnexException(CGarnexException::kUnexpectedReply, com);
  }
  SetProgress(p, 30);
  CheckCancel(p);
  const int mode = dictionary.GetMode();
  SetProgress(p, 40);

  bool ok = false;
  bool changed = false;
  if (NewRadioDialog(mode)) {
    if (mode == 12 && !m_bTransmitter) {
      dictionary.SetTransmitPower(0);
      dictionary.SetChannelCode(kChannelCodeWithoutTransmitter);
    }
    m_transmitTable = dictionary.GetTable(CPB2Dictionary::kTransmitTable);
    m_receiveTable = dictionary.GetTable(CPB2Dictionary::kReceiveTable);
    CFrequencyDialog2 dialog(dictionary, m_transmitTable, m_receiveTable);
    ok = dialog.DoModal() == IDOK;
    changed = dialog.IsChanged();
  }
  SetProgress(p, 50);
  if (!ok) {
    ClosePipe(port, m_nReceiverPort);
    SetProgress(p, 95);
    AfxThrowUserException();
  }

  SetProgress(p, 75);
  if (!dictionary.Write(port)) throw CGarnexException(CGarnexException::kUnexpectedReply, com);
  SetProgress(p, 95);
  SetStatus(p, kRebootingId);
  device.Reset();
  // The receiver restarts with its radio; over USB its port goes away meanwhile.
  const bool usb = m_nReceiverPort == kUsbReceiverPort;
  if (usb) port.Close();
  Sleep(changed ? kChangedRestartMs : kRestartMs);
  if (usb && changed) receiver::OpenPort(port, p);
  return changed;
}

bool CRadioCfgOperation::Run(OperationParams* params) {
  const OperationParams& p = *params;
  SetWindowText(p.window, AfxLoadString(kTitleId).c_str());
  SetStatus(p, kConnectingId);
  SetProgress(p, 0);
  CSerialInterface port;
  receiver::OpenPort(port, p);
  CGarnexInterface device(&port, p);
  const DWORD com = port.GetPortNumber();

  CBreakInfo info;
  if (!info.RetrieveBreakInfo(port, true, false)) throw CGarnexException(CGarnexException::kNoReceiver, com);
  if (info.IsMonitor()) {
    SetStatus(p, kRebootingAppId);
    device.Reboot();
    if (!info.RetrieveBreakInfo(port, true, false)) throw CGarnexException(CGarnexException::kNoReceiver, com);
  }
  m_nReceiverPort = info.GetPortNumber() + 1;
  m_strProductName = info.GetProductName();
  m_strSerialNumber = info.GetSerialNumber();
  if (!info.IsApplication()) throw CGarnexException(709, com);

  BYTE flags = 0;
  if (!receiver::RequestHardwareFlags(port, &flags)) throw CGarnexException(CGarnexException::kUnexpectedReply, com);
  m_bModem = (flags & receiver::kCellularModem) != 0;
  m_bTransmitter = (flags & receiver::kTransmitRadio) != 0;
  m_bInternalRadio = (flags & receiver::kInternalRadio) != 0;

  bool changed = true;
  for (bool first = true; changed; first = false) {
    if (!m_bTransmitter && !m_bInternalRadio)
      throw CLSDeviceException(CLSDeviceException::kNoRadio, static_cast<DWORD>(p.port));
    // The last round left the receiver restarting from its monitor: wait for
    // its application and take the line back to the application's settings.
    if (!first && !info.RetrieveBreakInfo(port, true, false))
      throw CGarnexException(CGarnexException::kNoReceiver, com);
    changed = IsNewRadio(m_strProductName) ? ConfigureNewRadio(p, port, device) : ConfigureRadio(p, port, device);
  }
  port.Close();
  SetProgress(p, 100);
  return true;
}

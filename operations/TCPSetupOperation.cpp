#include "operations/TCPSetupOperation.h"

#include <algorithm>

#include "afx/Clock.h"
#include "afx/Format.h"
#include "afx/Window.h"
#include "device/BreakInfo.h"
#include "device/GarnexException.h"
#include "operations/ReceiverCheck.h"
#include "operations/TCPSetupDlg.h"
#include "plugin/Progress.h"
#include "port/SerialInterface.h"
#include "protocol/TCPacket.h"

namespace {
constexpr UINT kTitleId = 931;
constexpr UINT kWorkingId = 932;
constexpr UINT kConnectingId = 610;
constexpr UINT kRebootingId = 618;
constexpr BYTE kEthernetType = 0xAE;
constexpr BYTE kReadSettings = 0x00;
constexpr BYTE kWriteSettings = 0x02;
constexpr BYTE kReadPort = 0x12;
constexpr BYTE kWritePort = 0x14;
constexpr BYTE kResetType = 0x58;
constexpr double kReplySeconds = 3.0;
constexpr DWORD kRestartMs = 12000;

void AppendAddress(CTCPacket& packet, const NetworkSettings::Address& a) { packet.AppendData(a.data(), 4); }

void TakeAddress(const BYTE* data, NetworkSettings::Address& a) { std::copy(data, data + 4, a.begin()); }
}  // namespace

CTCPSetupOperation::CTCPSetupOperation() : CNamedOperation(0, 929, 930) {}

void CTCPSetupOperation::Exchange(CSerialInterface& port, CTCPacket& packet, bool frame, UINT minimumSize) {
  packet.SetAckNotExpected(frame);
  const bool ok = packet.SendPacket(port) && packet.ReceivePacket(port, kReplySeconds) &&
                  (frame ? packet.GetDataSize() >= minimumSize : packet.AckReceived());
  if (!ok) throw CGarnexException(CGarnexException::kNoReceiver, port.GetPortNumber());
}

void CTCPSetupOperation::ReadSettings(CSerialInterface& port, NetworkSettings& settings) {
  CTCPacket read(kEthernetType);
  read.AppendByte(kReadSettings);
  Exchange(port, read, true, 22);
  const BYTE* d = read.GetDataPtr();
  settings.dhcp = d[1];
  TakeAddress(d + 2, settings.ip);
  TakeAddress(d + 6, settings.netmask);
  TakeAddress(d + 10, settings.broadcast);
  TakeAddress(d + 14, settings.gateway);
  TakeAddress(d + 18, settings.dns);
}

void CTCPSetupOperation::ReadPort(CSerialInterface& port, NetworkSettings& settings) {
  CTCPacket read(kEthernetType);
  read.AppendByte(kReadPort);
  Exchange(port, read, true, 5);
  const BYTE* d = read.GetDataPtr();
  settings.httpPort = static_cast<WORD>(d[1] << 8 | d[2]);
  settings.portExtra = {d[3], d[4]};
}

void CTCPSetupOperation::WriteSettings(CSerialInterface& port, const NetworkSettings& settings) {
  CTCPacket write(kEthernetType);
  write.AppendByte(kWriteSettings);
  write.AppendByte(settings.dhcp);
  AppendAddress(write, settings.ip);
  AppendAddress(write, settings.netmask);
  AppendAddress(write, settings.broadcast);
  AppendAddress(write, settings.gateway);
  AppendAddress(write, settings.dns);
  Exchange(port, write, false, 0);

  CTCPacket writePort(kEthernetType);
  writePort.AppendByte(kWritePort);
  writePort.AppendWord(settings.httpPort);
  writePort.AppendByte(settings.portExtra[0]);
  writePort.AppendByte(settings.portExtra[1]);
  Exchange(port, writePort, false, 0);
}

bool CTCPSetupOperation::Run(OperationParams* params) {
  const OperationParams& p = *params;
  SetWindowText(p.window, AfxLoadString(kTitleId).c_str());
  SetStatus(p, kConnectingId);
  SetProgress(p, 0);
  CSerialInterface port;
  receiver::OpenPort(port, p);
  CBreakInfo info;
  receiver::RequireApplication(port, p, info);

  SetStatus(p, kWorkingId);
  NetworkSettings settings;
  ReadSettings(port, settings);
  SetProgress(p, 25);
  ReadPort(port, settings);
  SetProgress(p, 50);

  CTCPSetupDlg dialog(settings);
  if (dialog.DoModal() != IDOK) {
    SetProgress(p, 100);
    return true;
  }
  WriteSettings(port, settings);

  SetProgress(p, 75);
  SetStatus(p, kRebootingId);
  CTCPacket reset(kResetType);
  reset.AppendByte(0xFF);
  reset.AppendByte(0x00);
  reset.AppendData(reinterpret_cast<const BYTE*>("RESET"), 5);
  Exchange(port, reset, false, 0);
  Sleep(kRestartMs);
  SetProgress(p, 100);
  port.Close();
  return true;
}

bool CTCPSetupOperation::GetText(unsigned kind, char* buffer, unsigned length) {
  return AnswerText(kind, buffer, length, FormatString(926, m_strName), 927, 928);
}

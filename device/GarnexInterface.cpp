#include "device/GarnexInterface.h"

#include "afx/Exception.h"

namespace {
[[noreturn]] void NotYet() { throw CNotSupportedException("Not available yet."); }
}  // namespace

CGarnexInterface::CGarnexInterface(CSerialInterface* port, const OperationParams& params)
    : CLSDeviceInterface(nullptr, port, params) {
  m_pInfo = &m_info;
}

CGarnexInterface::~CGarnexInterface() = default;

bool CGarnexInterface::FlashLayout::Parse(const BYTE*, DWORD) { NotYet(); }
DWORD CGarnexInterface::GetFlashAddress(int) { NotYet(); }
void CGarnexInterface::Reboot() { NotYet(); }
void CGarnexInterface::Reset() { NotYet(); }
void CGarnexInterface::WriteProductId(const char*) { NotYet(); }
void CGarnexInterface::SendRadioConfig(const BYTE*, WORD) { NotYet(); }
void CGarnexInterface::Connect(bool) { NotYet(); }
bool CGarnexInterface::DetectReceiver(bool) { NotYet(); }
void CGarnexInterface::ResetWithMode(int) { NotYet(); }
std::vector<BYTE> CGarnexInterface::RetrieveRadioConfigRecord(WORD) { NotYet(); }
std::vector<BYTE> CGarnexInterface::RetrieveMemoryMapRecord(WORD) { NotYet(); }
void CGarnexInterface::ReadProductInfo() { NotYet(); }
bool CGarnexInterface::ReadHardwareInfo() { NotYet(); }
void CGarnexInterface::ReadFlashInfo() { NotYet(); }
bool CGarnexInterface::EnterMonitor() { NotYet(); }
void CGarnexInterface::SelectMaxBaud(bool) { NotYet(); }
void CGarnexInterface::BuildSectorList(DWORD, DWORD, SectorList&) const { NotYet(); }
void CGarnexInterface::BuildSectorListForSize(DWORD, SectorList&) const { NotYet(); }
bool CGarnexInterface::TurnOffOutputs() { NotYet(); }
void CGarnexInterface::TakeFlashLayout(const BYTE*, DWORD) { NotYet(); }
void CGarnexInterface::AppendRegionSectors(DWORD, DWORD, SectorList&) const { NotYet(); }
DWORD CGarnexInterface::ModelRestartMs(const char*) { NotYet(); }
void CGarnexInterface::ReopenUsbLink(int) { NotYet(); }

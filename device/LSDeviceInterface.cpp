#include "device/LSDeviceInterface.h"

#include "afx/Exception.h"
#include "port/SerialInterface.h"
#include "protocol/TCFirmwareUpload.h"

namespace {
[[noreturn]] void NotYet() { throw CNotSupportedException("Not available yet."); }
}  // namespace

CLSDeviceInterface::CLSDeviceInterface(CLSInfo* info, CSerialInterface* port, const OperationParams& params)
    : m_pPort(port), m_params(params), m_pInfo(info) {}

CLSDeviceInterface::~CLSDeviceInterface() = default;

DWORD CLSDeviceInterface::ComNumber() const { return m_pPort ? m_pPort->GetPortNumber() : 0; }

void CLSDeviceInterface::RequestProductInfo(WORD, BYTE*) { NotYet(); }
void CLSDeviceInterface::Reboot() { NotYet(); }
void CLSDeviceInterface::Reset() { NotYet(); }
void CLSDeviceInterface::ReadLoaderRevision(int*) { NotYet(); }
void CLSDeviceInterface::SendProductId(const BYTE*, UINT) { NotYet(); }
void CLSDeviceInterface::RetrieveRadioConfig(BYTE*, WORD) { NotYet(); }
void CLSDeviceInterface::RetrieveMemoryMap(BYTE*, WORD) { NotYet(); }
void CLSDeviceInterface::SendRadioConfig(const BYTE*, WORD) { NotYet(); }
void CLSDeviceInterface::ReadMemory(DWORD, BYTE*, WORD) { NotYet(); }
void CLSDeviceInterface::Execute(DWORD) { NotYet(); }
void CLSDeviceInterface::SwitchBaud(DWORD) { NotYet(); }
void CLSDeviceInterface::SwitchBaudApplication(DWORD) { NotYet(); }
void CLSDeviceInterface::ResetAt38400() { NotYet(); }
void CLSDeviceInterface::SetAutoOn(BYTE) { NotYet(); }
bool CLSDeviceInterface::GetAutoOn(BYTE*) { NotYet(); }
int CLSDeviceInterface::BaudCodeFromRate(DWORD) { NotYet(); }
void CLSDeviceInterface::ApplyBaudCode(DWORD) { NotYet(); }
DWORD CLSDeviceInterface::FollowReceiverSettings() { NotYet(); }
void CLSDeviceInterface::WriteResetFrame() { NotYet(); }

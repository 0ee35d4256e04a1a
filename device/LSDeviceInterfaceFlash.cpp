// Placeholder bodies so that the interface links; the flash programming
// loops replace this file.
#include "afx/Exception.h"
#include "device/LSDeviceInterface.h"

namespace {
[[noreturn]] void NotYet() { throw CNotSupportedException("Flash programming is not available yet."); }
}  // namespace

void CLSDeviceInterface::EraseFlash(const SectorList&, int, int) { NotYet(); }
void CLSDeviceInterface::ProgramImage(CLSFlashFile&, DWORD, DWORD, DWORD, int, int) { NotYet(); }
void CLSDeviceInterface::ProgramFile(CLSFlashFile&, DWORD, int, int) { NotYet(); }
void CLSDeviceInterface::ProgramFlashBlock(DWORD, const BYTE*, WORD) { NotYet(); }
void CLSDeviceInterface::ProgramControllerNow(CLSFlashFile&, DWORD, int, int) { NotYet(); }
void CLSDeviceInterface::ProgramControllerBuffer(WORD, const BYTE*, WORD) { NotYet(); }
void CLSDeviceInterface::UploadFirmware(CLSFlashFile&, DWORD, int, int, bool) { NotYet(); }
void CLSDeviceInterface::UploadFirmwareBlocks(DWORD, const BYTE*, WORD, bool) { NotYet(); }
void CLSDeviceInterface::ProgramRam(DWORD, const BYTE*, WORD) { NotYet(); }

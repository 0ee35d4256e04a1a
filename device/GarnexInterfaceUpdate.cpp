// Placeholder bodies so that the interface links; the firmware update
// sequences replace this file.
#include "afx/Exception.h"
#include "device/GarnexInterface.h"

namespace {
[[noreturn]] void NotYet() { throw CNotSupportedException("Firmware update is not available yet."); }
}  // namespace

void CGarnexInterface::ValidateFirmwareUpdate(CLSFlashFile&) { NotYet(); }
void CGarnexInterface::ValidateFirmwareUpdateApplication(CLSFlashFile&) { NotYet(); }
void CGarnexInterface::UpdateFromImage(const char*, DWORD, bool*) { NotYet(); }
void CGarnexInterface::UpdateFromFile(const char*, DWORD) { NotYet(); }
void CGarnexInterface::UpdateController(const char*) { NotYet(); }

// The host's own values in the registry store: the store's first-use set-up
// and the last COM port used.
#pragma once
#include <string>

// Makes sure the store at `storePath` (the default store when empty) exists.
// On first use it sets up what an installer would: the host key with
// InstallDirectory at the host's data folder (with its Firmware and Devices
// folders), the firmware catalogue's key Firmware, and the device key
// Devices\QZ710 with the plug-in's defaults. A store that exists is left as
// it is. False with `error` set when the store cannot be used.
bool PrepareRegistry(const std::string& storePath, std::string* error);

// LastUsedCOM: 0 when it is not set or not a COM number.
int ReadLastUsedCom();
bool WriteLastUsedCom(int port);
// Puts back a value read with ReadLastUsedCom: 0 removes it.
void RestoreLastUsedCom(int port);

// The host's own values in the registry store: the store's first-use set-up
// and the last COM port used.
#pragma once
#include <string>

// Makes sure the store at `storePath` (the default store when empty) exists;
// on first use creates the host key with InstallDirectory at the host's data
// folder and its Firmware and Devices subfolders. False with `error` set when
// the store cannot be used.
bool PrepareRegistry(const std::string& storePath, std::string* error);

// LastUsedCOM: 0 when it is not set or not a COM number.
int ReadLastUsedCom();
bool WriteLastUsedCom(int port);

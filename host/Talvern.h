// The host's commands.
#pragma once
#include <cstdio>

#include "host/Options.h"

// Runs the command of `options`; returns the process exit status.
int RunTalvern(const Options& options, std::FILE* in, std::FILE* out, std::FILE* err);

// Makes sure the registry store exists; on first use creates the host key
// with InstallDirectory at the host's data folder and its Firmware and
// Devices subfolders. False (with a message on err) when the store cannot be used.
bool PrepareRegistry(const Options& options, std::FILE* err);

// The host's commands.
#pragma once
#include <cstdio>

#include "host/Options.h"

// Runs the command of `options`; returns the process exit status.
int RunTalvern(const Options& options, std::FILE* in, std::FILE* out, std::FILE* err);

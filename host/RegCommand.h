// `talvern reg ...`: the registry store from the command line, spelled like
// the Windows reg command.
#pragma once
#include <cstdio>
#include <string>
#include <vector>

// Runs one reg subcommand; returns the exit status (0 ok, 1 failure, 64 usage).
int RunRegCommand(const std::vector<std::string>& args, bool interactive, std::FILE* in, std::FILE* out,
                  std::FILE* err);

// talvern's command line.
#pragma once
#include <string>
#include <utility>
#include <vector>

#include "hostlib/AnswerPolicy.h"
#include "hostlib/DialogPresets.h"
#include "hostlib/OperationRun.h"

struct Options {
  std::string plugin;
  std::string registry;
  bool ctrlAlt = false;
  bool json = false;
  AnswerSettings answering;  // --batch, --answer, --yes, --retries
  std::vector<SetValue> sets;

  std::string command;  // list, run, reg, ports, help, version
  std::vector<std::string> args;

  RunSettings run;
};

// Parses argv; on a usage error returns false with `error` set.
bool ParseCommandLine(int argc, char** argv, Options* options, std::string* error);
std::string UsageText();
// The part of the usage text about `command`; "" for an unknown command.
std::string CommandHelp(const std::string& command);

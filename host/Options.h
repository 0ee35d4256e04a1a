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
  bool trace = false;  // --trace, or TALVERN_TRACE in the environment
  AnswerSettings answering;  // --batch, --answer, --yes, --retries
  std::vector<SetValue> sets;  // --set and --key, in the order given

  std::string command;  // list, run, firmware, reg, ports, help, version
  std::vector<std::string> args;
  std::string description;  // firmware add --description

  RunSettings run;
  // run on several receivers: every --port and --ports entry in order (one
  // entry: run.port), and the profiles that --simulate=PORT:PROFILE gives.
  std::vector<std::string> ports;
  std::vector<std::pair<std::string, std::string>> portProfiles;
};

// Parses argv; on a usage error returns false with `error` set.
bool ParseCommandLine(int argc, char** argv, Options* options, std::string* error);
// The one line for a usage error: the error and where help on it is.
std::string UsageErrorLine(const Options& options, const std::string& error);
std::string UsageText();
// The part of the usage text about `command`; "" for an unknown command.
std::string CommandHelp(const std::string& command);

// talvern-gui's command line: the options it shares with talvern for
// choosing the plug-in, the registry store and the receiver of a run.
#pragma once
#include <string>

#include "hostlib/OperationRun.h"

struct GuiOptions {
  std::string plugin;
  std::string registry;
  bool ctrlAlt = false;
  RunSettings run;  // what the wizard starts with
  std::string screenshot;  // save a picture of the screen with the first page to this PNG, then quit
  bool help = false;
  bool version = false;
  std::string error;  // a usage error, with the option named

  static GuiOptions Parse(int argc, char** argv);
  static const char* Usage();
};

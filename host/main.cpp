#include <cstdio>
#include <string>

#include "host/Options.h"
#include "host/Talvern.h"

int main(int argc, char** argv) {
  Options options;
  std::string error;
  if (!ParseCommandLine(argc, argv, &options, &error)) {
    std::fprintf(stderr, "%s\n", UsageErrorLine(options, error).c_str());
    return 64;
  }
  return RunTalvern(options, stdin, stdout, stderr);
}

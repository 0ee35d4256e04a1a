#include "afx/Process.h"

#include <cstring>

namespace afx {

std::string Process::Exit::Describe() const {
  if (!signalled) return "exit status " + std::to_string(code);
  const char* name = ::strsignal(code);
  return "signal " + std::to_string(code) + (name ? " (" + std::string(name) + ")" : "");
}

}  // namespace afx

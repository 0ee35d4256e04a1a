#include "afx/Process.h"

#include "afx/System.h"

namespace afx {

std::string Process::SelfPath() { return ExecutablePath(); }

}  // namespace afx

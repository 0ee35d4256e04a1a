#include "afx/SystemRegistry.h"

namespace afx {

// POSIX systems keep no registry of their own: the store file is the registry.
SystemRegistry* TheSystemRegistry() { return nullptr; }

}  // namespace afx

#include "host/Simulation.h"

struct Simulation::Impl {};

Simulation::Simulation() = default;
Simulation::~Simulation() { Detach(); }

bool Simulation::Attach(int, const std::string&, const std::string&, std::string* error) {
#ifdef TALVERN_HAS_SIM
  *error = "the virtual receiver is not wired into the host yet";
#else
  *error = "this build has no virtual receiver";
#endif
  return false;
}

void Simulation::Detach() { impl_.reset(); }

#include "afx/RegistrySnapshot.h"

namespace afx {
namespace {

// Per thread, so that one thread's scan never hides changes from another.
thread_local int depth = 0;
thread_local bool checked = false;

}  // namespace

RegistrySnapshot::RegistrySnapshot() { ++depth; }

RegistrySnapshot::~RegistrySnapshot() {
  if (--depth == 0) checked = false;
}

bool RegistrySnapshot::Active() { return depth > 0; }

bool RegistrySnapshot::Checked() { return checked; }

void RegistrySnapshot::SetChecked() {
  if (depth > 0) checked = true;
}

}  // namespace afx

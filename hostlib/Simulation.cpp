#include "hostlib/Simulation.h"

#ifdef TALVERN_HAS_SIM
#include "sim/SimAttach.h"
#endif

struct Simulation::Impl {
#ifdef TALVERN_HAS_SIM
  std::shared_ptr<sim::SimAttachment> attachment;
#endif
};

Simulation::Simulation() = default;
Simulation::~Simulation() { Detach(); }

bool Simulation::Attach(int port, const std::string& profilePath, std::string* error) {
#ifdef TALVERN_HAS_SIM
  sim::Profile profile;
  if (!profilePath.empty() && !sim::Profile::Load(profilePath, &profile, error)) {
    *error = "profile " + profilePath + ": " + *error;
    return false;
  }
  auto attachment = sim::Attach(profile, port, error, "talvern");
  if (!attachment) return false;
  if (attachment->ComPort() != port) {
    *error = "COM" + std::to_string(port) + " is mapped to another device; choose another --port";
    sim::Detach(attachment);
    return false;
  }
  // The line's record is written by talvern's own transcript recorder as it
  // goes; the receiver's copy would only grow with every byte, a whole image.
  attachment->Receiver().GetTranscript().SetKeep(false);
  impl_ = std::make_unique<Impl>();
  impl_->attachment = std::move(attachment);
  return true;
#else
  (void)port;
  (void)profilePath;
  *error = "this build has no virtual receiver";
  return false;
#endif
}

void Simulation::Detach() {
#ifdef TALVERN_HAS_SIM
  if (impl_ && impl_->attachment) sim::Detach(impl_->attachment);
#endif
  impl_.reset();
}

#include "host/Simulation.h"

#ifdef TALVERN_HAS_SIM
#include "sim/SimAttach.h"
#endif

struct Simulation::Impl {
#ifdef TALVERN_HAS_SIM
  std::shared_ptr<sim::SimAttachment> attachment;
  std::string transcript;
#endif
};

Simulation::Simulation() = default;
Simulation::~Simulation() { Detach(); }

bool Simulation::Attach(int port, const std::string& profilePath, const std::string& transcript,
                        std::string* error) {
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
  impl_ = std::make_unique<Impl>();
  impl_->attachment = std::move(attachment);
  impl_->transcript = transcript;
  return true;
#else
  (void)port;
  (void)profilePath;
  (void)transcript;
  *error = "this build has no virtual receiver";
  return false;
#endif
}

bool Simulation::Detach(std::string* error) {
  bool ok = true;
#ifdef TALVERN_HAS_SIM
  if (impl_ && impl_->attachment) {
    if (!impl_->transcript.empty() && !impl_->attachment->WriteTranscript(impl_->transcript)) {
      ok = false;
      if (error) *error = "cannot write the transcript " + impl_->transcript;
    }
    sim::Detach(impl_->attachment);
  }
#endif
  impl_.reset();
  return ok;
}

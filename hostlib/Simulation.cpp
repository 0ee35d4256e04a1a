#include "hostlib/Simulation.h"

#include "afx/Registry.h"
#include "afx/RegistryLock.h"

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
  const std::string name = std::string(kDevicePrefix).substr(4) + "-COM" + std::to_string(port);
  // The number it takes is found free and taken in one step: other runs may be looking too.
  afx::RegistryLock step;
  // A mapping left by a run that was killed would keep the receiver off `port`.
  HKEY key = nullptr;
  if (RegOpenKeyEx(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_ALL_ACCESS, &key) == ERROR_SUCCESS) {
    RegDeleteValue(key, ("sim:" + name).c_str());
    RegCloseKey(key);
  }
  auto attachment = sim::Attach(profile, port, error, name);
  if (!attachment) return false;
  // The line's record is written by talvern's own transcript recorder as it
  // goes; the receiver's copy would only grow with every byte, a whole image.
  attachment->Receiver().GetTranscript().SetKeep(false);
  // A person or a time-out ends a wait for a receiver that fell silent; the host need not race it.
  attachment->SetRealTimeWhenSilent(true);
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

int Simulation::ComPort() const {
#ifdef TALVERN_HAS_SIM
  if (impl_ && impl_->attachment) return impl_->attachment->ComPort();
#endif
  return 0;
}

void Simulation::Detach() {
#ifdef TALVERN_HAS_SIM
  if (impl_ && impl_->attachment) sim::Detach(impl_->attachment);
#endif
  impl_.reset();
}

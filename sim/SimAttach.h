// Attaching virtual receivers in-process: each one is reachable as the serial
// device "sim:<name>", and through "\\.\COMn" once it is mapped to a COM
// number in the registry's SERIALCOMM key. Tests and the host's --simulate
// use this; qz7xx-sim serves a receiver on a pseudo-terminal instead.
#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "sim/Profile.h"
#include "sim/VirtualReceiver.h"

namespace sim {

class SimAttachment {
 public:
  SimAttachment(std::string name, const Profile& profile) : name_(std::move(name)), receiver_(profile) {}

  VirtualReceiver& Receiver() { return receiver_; }
  // "sim:<name>"
  std::string Path() const { return "sim:" + name_; }
  // The COM number it is mapped to; 0 when not mapped.
  int ComPort() const { return com_; }
  bool IsOpen() const { return open_; }
  bool IsAttached() const { return attached_; }
  // In virtual time: once the receiver has nothing left to do and has sent
  // nothing for kQuietNs, a host's wait for it passes in real time, so that
  // a host that waits for a silent receiver forever does not spin a core.
  // Off by default (tests want every wait at once).
  void SetRealTimeWhenSilent(bool on) { realTimeWhenSilent_ = on; }
  bool RealTimeWhenSilent() const { return realTimeWhenSilent_; }
  static constexpr std::int64_t kQuietNs = 10'000'000'000;

 private:
  friend class SimSerialDevice;
  friend std::shared_ptr<SimAttachment> Attach(const Profile&, int, std::string*, const std::string&);
  friend void Detach(const std::shared_ptr<SimAttachment>&);
  std::string name_;
  VirtualReceiver receiver_;
  int com_ = 0;
  bool open_ = false;
  bool attached_ = true;
  bool realTimeWhenSilent_ = false;
};

// Attaches a receiver built from `profile`. With `com` > 0 it is mapped to
// that COM number (or the next free one above it; ComPort() tells). `name`
// defaults to "qz7xx<k>". nullptr with *error when the name is taken or the
// mapping cannot be written.
std::shared_ptr<SimAttachment> Attach(const Profile& profile, int com, std::string* error,
                                      const std::string& name = {});
// Removes the receiver and its COM mapping; an open device on it fails from then on.
void Detach(const std::shared_ptr<SimAttachment>& attachment);
// The attached receiver behind "sim:<name>", or nullptr.
std::shared_ptr<SimAttachment> FindAttachment(const std::string& path);

}  // namespace sim

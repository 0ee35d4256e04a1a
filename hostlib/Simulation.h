// The built-in virtual receiver behind `talvern run --simulate`.
#pragma once
#include <memory>
#include <string>

class Simulation {
 public:
  // The virtual receiver of a run for COM n is the device "sim:talvern-COMn":
  // runs on several ports at once each have their own. A mapping of one left
  // by a run that was killed is stale, since only the process that attached
  // it can open it.
  static constexpr char kDevicePrefix[] = "sim:talvern";
  static bool IsStale(const std::string& device) { return device.rfind(kDevicePrefix, 0) == 0; }

  Simulation();
  ~Simulation();
  Simulation(const Simulation&) = delete;
  Simulation& operator=(const Simulation&) = delete;

  // Attaches a virtual receiver (from `profile`, or the defaults) on COM
  // `port`, or on the next free number when a device is mapped to `port`.
  bool Attach(int port, const std::string& profile, std::string* error);
  // The COM number the receiver is on.
  int ComPort() const;
  // Removes the receiver.
  void Detach();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

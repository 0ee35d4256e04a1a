// The built-in virtual receiver behind `talvern run --simulate`.
#pragma once
#include <memory>
#include <string>

class Simulation {
 public:
  // The virtual receiver's device; a mapping of it left by a run that was
  // killed is stale, since only the process that attached it can open it.
  static constexpr char kDevice[] = "sim:talvern";

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

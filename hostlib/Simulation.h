// The built-in virtual receiver behind `talvern run --simulate`.
#pragma once
#include <memory>
#include <string>

class Simulation {
 public:
  Simulation();
  ~Simulation();
  Simulation(const Simulation&) = delete;
  Simulation& operator=(const Simulation&) = delete;

  // Attaches a virtual receiver (from `profile`, or the defaults) on COM `port`.
  bool Attach(int port, const std::string& profile, std::string* error);
  // Removes the receiver.
  void Detach();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

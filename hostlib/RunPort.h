// The COM port of one run, and what the run leaves of it in the registry.
//
// --port N is COM N; --port PATH maps a character device (or a link to one)
// to a COM number for the run; no --port takes LastUsedCOM, else COM1. The
// run writes LastUsedCOM at its start, because the pages talk to the
// receiver on that port; when it ends, the mapping it made and LastUsedCOM
// stay only if the run really opened the port's device, so an absent or
// mistyped path leaves nothing behind. Simulated and replayed runs always
// put LastUsedCOM back: they are not the user's port. From setting it until
// the pages are done, and while putting it back, the run holds the
// LastUsedComLock, since other runs on the same store set it too.
#pragma once
#include <memory>
#include <string>

#include "hostlib/LastUsedComLock.h"

class RunPort {
 public:
  RunPort() = default;
  // Ends the run as not opened if Finish was not called.
  ~RunPort();
  RunPort(const RunPort&) = delete;
  RunPort& operator=(const RunPort&) = delete;

  enum class Problem { kNone, kUsage, kFailure };
  // The COM number that `port` (as given to --port) names; 0 with `problem`
  // and `error` set when there is none. `hint` may then hold advice.
  int Choose(const std::string& port, Problem* problem, std::string* error, std::string* hint);
  // For a virtual receiver: the number asked for, else the lowest one that
  // no device is mapped to; 0 with `error` when `port` names no COM number.
  static int ForSimulation(const std::string& port, std::string* error);
  // The device mapped to COM `port`, or "" when there is none.
  static std::string MappedDevice(int port);

  // The run uses COM `port`: LastUsedCOM is set for it, and stays so for
  // the pages until PagesDone.
  void Use(int port, bool ownPort);
  void PagesDone() { lock_.reset(); }
  // The run is over; `opened` tells whether it opened the port's device.
  void Finish(bool opened);

 private:
  int port_ = 0;
  bool ownPort_ = false;   // a port of the user's, not a simulation or a replay
  bool inUse_ = false;
  int previousLast_ = 0;
  std::string mappedPath_;  // a mapping this run made, removed unless the port opened
  std::unique_ptr<LastUsedComLock> lock_;
};

// Hints for a port that would not open, on Windows: the system tells only
// that a port is missing or that another program holds it.
#include <cerrno>

#include "hostlib/PortHint.h"

std::string PermissionAdvice(const DeviceAccess&) { return ""; }

std::string PortHint(const std::string& path, int err, const PortHintSystem&) {
  switch (err) {
    case EACCES:
    case EBUSY:
    case EWOULDBLOCK: return path + " is open in another program; close it there and try again";
    case ENOENT: return path + " does not exist: see Device Manager, Ports (COM & LPT), for the COM numbers this PC has";
    default: return "";
  }
}

std::vector<std::pair<int, std::string>> ProcessesHolding(const std::string&, const std::string&) { return {}; }

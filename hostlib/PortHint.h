// One line of advice when the system refuses to open a serial port: who owns
// it and how to get in, who holds it, or which ports do exist.
#pragma once
#include <string>
#include <utility>
#include <vector>

struct PortHintSystem {
  // Where devices and processes are found; tests point these at their own trees.
  std::string dev = "/dev";
  std::string proc = "/proc";
};

// Advice for a failed open of `path` with errno `err`; "" when there is none to give.
std::string PortHint(const std::string& path, int err, const PortHintSystem& system = {});

// The processes that hold `path` (or what it links to) open: pid and command name.
std::vector<std::pair<int, std::string>> ProcessesHolding(const std::string& path, const std::string& proc = "/proc");

// Serial devices that exist: the by-id links first, then the USB, ACM and
// on-board UART nodes not reached through one.
std::vector<std::string> PresentSerialPorts(const std::string& dev = "/dev");

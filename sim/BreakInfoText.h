// The line of text a receiver sends (report type 0x6E) when it sees a break or
// the break-info request: fields separated by ';', items by ','.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace sim {

constexpr std::uint8_t kBreakRequestType = 0x6F;
constexpr std::uint8_t kBreakReplyType = 0x6E;

struct BreakInfoText {
  std::string product;          // model name, "-MONITOR" appended in the monitor
  int port = 1;                 // the receiver's own port number; 15 = USB link
  std::uint32_t baud = 9600;
  int dataBits = 8;             // 7 or 8
  int stopBits = 1;             // 1 or 2
  char parity = 'N';            // N, O, E, M, S
  std::string portMode = "F";   // eighth PORT item; 'T' or 'W' tell the host not to follow
  std::string portStatus = "AUTO";  // "FIX" marks a port fixed at its settings
  std::string version;
  std::string comm = "1";
  std::string serial;
  std::string refver;

  // The reply text, without the frame. At most 255 bytes are sent; Build keeps
  // the fields in an order the host can parse even when a long serial number
  // would push the tail past that limit.
  std::string Build() const;
  // The framed report reply.
  std::vector<std::uint8_t> Frame() const;
};

}  // namespace sim

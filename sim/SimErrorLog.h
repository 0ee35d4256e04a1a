// The receiver's error log: its entries, the application's replies about
// them, and the image of them the monitor keeps in flash.
#pragma once
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "sim/Profile.h"

namespace sim {

class SimErrorLog {
 public:
  explicit SimErrorLog(std::vector<ErrorLogEntry> entries = {}) : entries_(std::move(entries)) {}

  // The entries in use (state 0xFC or 0xF8); empty slots only fill the image.
  std::size_t Count() const;
  void Clear() { entries_.clear(); }
  // The reply's data about the entry in use at `index`: the short form (38
  // bytes) or the long one (129); empty past the last.
  std::vector<std::uint8_t> Reply(std::size_t index, bool longForm) const;
  // The flash image in format `version` (1, 2 or 3), `size` bytes: a header
  // record, then one record per entry, empty slots included, while they fit.
  std::vector<std::uint8_t> Image(int version, std::size_t size) const;

 private:
  static bool InUse(const ErrorLogEntry& e) { return e.state == 0xFC || e.state == 0xF8; }

  std::vector<ErrorLogEntry> entries_;
};

}  // namespace sim

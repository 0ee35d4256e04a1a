#include "sim/SimErrorLog.h"

#include <algorithm>

#include "sim/Bytes.h"

namespace sim {

namespace {

// What went wrong, and in which software: pc, da, rr1, rr2, the version and
// its date (22 bytes).
void PutFault(std::vector<std::uint8_t>& d, std::size_t at, const ErrorLogEntry& e) {
  PutBe(d, at, e.pc, 4);
  PutBe(d, at + 4, e.da, 4);
  PutBe(d, at + 8, e.rr1, 4);
  PutBe(d, at + 12, e.rr2, 4);
  PutBe(d, at + 16, e.version, 2);
  PutBe(d, at + 18, e.year, 2);
  d[at + 20] = e.month;
  d[at + 21] = e.day;
}

// When: time of week and week (6 bytes).
void PutTime(std::vector<std::uint8_t>& d, std::size_t at, const ErrorLogEntry& e) {
  PutBe(d, at, e.timeOfWeek, 4);
  PutBe(d, at + 4, e.week, 2);
}

// From the number to the week (34 bytes), in the order the long reply and
// the newer images share.
void PutEntry(std::vector<std::uint8_t>& d, std::size_t at, const ErrorLogEntry& e) {
  PutBe(d, at, e.number, 4);
  PutFault(d, at + 4, e);
  d[at + 26] = e.id;
  d[at + 27] = e.vpc;
  PutTime(d, at + 28, e);
}

}  // namespace

std::size_t SimErrorLog::Count() const {
  return static_cast<std::size_t>(std::count_if(entries_.begin(), entries_.end(), InUse));
}

std::vector<std::uint8_t> SimErrorLog::Reply(std::size_t index, bool longForm) const {
  std::vector<const ErrorLogEntry*> inUse;
  for (const auto& e : entries_)
    if (InUse(e)) inUse.push_back(&e);
  if (index >= inUse.size()) return {};
  const ErrorLogEntry& e = *inUse[index];
  if (!longForm) {
    std::vector<std::uint8_t> d(38, 0);
    d[0] = 0xFF;
    d[1] = 0x09;
    PutBe(d, 4, e.number, 4);
    d[8] = e.id;
    d[9] = e.vpc;
    PutFault(d, 10, e);
    PutTime(d, 32, e);
    return d;
  }
  std::vector<std::uint8_t> d(129, 0);
  d[0] = 0xFF;
  d[1] = 0x0B;
  PutEntry(d, 5, e);
  PutBe(d, 39, e.upTime, 4);
  PutBe(d, 43, e.stackPointer, 4);
  for (int i = 0; i < 3; ++i) PutBe(d, 47 + 4 * static_cast<std::size_t>(i), 0x02440100u + 0x40u * static_cast<unsigned>(i), 4);
  PutBe(d, 87, 4, 2);
  PutText(d, 89, "ELOG", 4);
  return d;
}

std::vector<std::uint8_t> SimErrorLog::Image(int version, std::size_t size) const {
  const std::size_t recordSize = version == 1 ? 40 : version == 2 ? 35 : 125;
  std::vector<std::uint8_t> image(size, 0xFF);
  PutBe(image, 0, 0x454C6F67, 4);  // "ELog"
  PutBe(image, 4, static_cast<std::uint64_t>(version), 2);
  std::size_t k = 1;
  for (const auto& e : entries_) {
    const std::size_t at = k * recordSize;
    if (at + recordSize > size) break;
    std::vector<std::uint8_t> rec(recordSize, 0xFF);
    rec[0] = e.state;
    if (InUse(e)) {
      if (version == 1) {
        PutBe(rec, 4, e.number, 4);
        PutFault(rec, 8, e);
        PutTime(rec, 30, e);
        rec[36] = e.id;
        rec[37] = e.vpc;
      } else {
        PutEntry(rec, 1, e);
        if (version == 3) {
          PutBe(rec, 35, e.upTime, 4);
          PutBe(rec, 39, e.stackPointer, 4);
          std::fill(rec.begin() + 43, rec.begin() + 125, 0);
        }
      }
    }
    std::copy(rec.begin(), rec.end(), image.begin() + static_cast<std::ptrdiff_t>(at));
    ++k;
  }
  return image;
}

}  // namespace sim

// The receiver's error log: the application's entry replies and the image
// the monitor keeps in flash, with the memory map that says where.
#include <algorithm>

#include "sim/Bytes.h"
#include "sim/VirtualReceiver.h"

namespace sim {

std::size_t VirtualReceiver::ErrorLogCount() const {
  return static_cast<std::size_t>(std::count_if(errorLog_.begin(), errorLog_.end(), [](const ErrorLogEntry& e) {
    return e.state == 0xFC || e.state == 0xF8;
  }));
}

void VirtualReceiver::PutEntryFields(std::vector<std::uint8_t>& d, std::size_t at, const ErrorLogEntry& e) {
  Put(d, at, e.number, 4);
  Put(d, at + 4, e.pc, 4);
  Put(d, at + 8, e.da, 4);
  Put(d, at + 12, e.rr1, 4);
  Put(d, at + 16, e.rr2, 4);
  Put(d, at + 20, e.version, 2);
  Put(d, at + 22, e.year, 2);
  d[at + 24] = e.month;
  d[at + 25] = e.day;
  d[at + 26] = e.id;
  d[at + 27] = e.vpc;
  Put(d, at + 28, e.timeOfWeek, 4);
  Put(d, at + 32, e.week, 2);
}

std::vector<std::uint8_t> VirtualReceiver::ErrorLogReply(std::size_t index, bool longForm) const {
  std::vector<const ErrorLogEntry*> entries;
  for (const auto& e : errorLog_)
    if (e.state == 0xFC || e.state == 0xF8) entries.push_back(&e);
  if (index >= entries.size()) return {};
  const ErrorLogEntry& e = *entries[index];
  if (!longForm) {
    std::vector<std::uint8_t> d(38, 0);
    d[0] = 0xFF;
    d[1] = 0x09;
    Put(d, 4, e.number, 4);
    d[8] = e.id;
    d[9] = e.vpc;
    Put(d, 10, e.pc, 4);
    Put(d, 14, e.da, 4);
    Put(d, 18, e.rr1, 4);
    Put(d, 22, e.rr2, 4);
    Put(d, 26, e.version, 2);
    Put(d, 28, e.year, 2);
    d[30] = e.month;
    d[31] = e.day;
    Put(d, 32, e.timeOfWeek, 4);
    Put(d, 36, e.week, 2);
    return d;
  }
  std::vector<std::uint8_t> d(129, 0);
  d[0] = 0xFF;
  d[1] = 0x0B;
  PutEntryFields(d, 5, e);
  Put(d, 39, e.upTime, 4);
  Put(d, 43, e.stackPointer, 4);
  for (int i = 0; i < 3; ++i) Put(d, 47 + 4 * static_cast<std::size_t>(i), 0x02440100u + 0x40u * static_cast<unsigned>(i), 4);
  Put(d, 87, 4, 2);
  d[89] = 'E';
  d[90] = 'L';
  d[91] = 'O';
  d[92] = 'G';
  return d;
}

void VirtualReceiver::ErrorLogRequest(const std::vector<std::uint8_t>& d) {
  if (d.empty()) {
    Nak();
    return;
  }
  const std::size_t count = ErrorLogCount();
  switch (d[0]) {
    case 0x06:
      ReplyReport(0x92, {0xFF, 0x07, static_cast<std::uint8_t>(count >> 8), static_cast<std::uint8_t>(count)});
      break;
    case 0x08:
    case 0x0A: {
      if (d.size() != 3) {
        Nak();
        break;
      }
      const bool longForm = d[0] == 0x0A;
      // A receiver without the indexed long form keeps quiet, as older firmware does.
      if (longForm && !profile_.errorLogLongForm) break;
      const std::size_t index = static_cast<std::size_t>(d[1]) << 8 | d[2];
      const auto reply = ErrorLogReply(index, longForm);
      if (reply.empty()) Nak();
      else ReplyReport(0x92, reply);
      break;
    }
    case 0x01:
      errorLog_.clear();
      InstallErrorLogImage();
      Ack();
      break;
    default:
      Nak();
  }
}

std::vector<std::uint8_t> VirtualReceiver::MemoryMap() const {
  std::vector<std::uint8_t> m(64, 0);
  Put(m, 0, profile_.errorLogBase, 4);
  Put(m, 40, profile_.errorLogOffset, 4);
  Put(m, 44, profile_.errorLogSectorSize, 4);
  Put(m, 48, profile_.errorLogSectors, 2);
  return m;
}

std::vector<std::uint8_t> VirtualReceiver::ErrorLogImage() const {
  const int version = profile_.errorLogImageVersion;
  const std::size_t recordSize = version == 1 ? 40 : version == 2 ? 35 : 125;
  const std::size_t size = static_cast<std::size_t>(profile_.errorLogSectorSize) * profile_.errorLogSectors;
  std::vector<std::uint8_t> image(size, 0xFF);
  Put(image, 0, 0x454C6F67, 4);  // "ELog"
  Put(image, 4, static_cast<std::uint64_t>(version), 2);
  std::size_t k = 1;
  for (const auto& e : errorLog_) {
    const std::size_t at = k * recordSize;
    if (at + recordSize > size) break;
    std::vector<std::uint8_t> rec(recordSize, 0xFF);
    rec[0] = e.state;
    if (e.state == 0xFC || e.state == 0xF8) {
      if (version == 1) {
        Put(rec, 4, e.number, 4);
        Put(rec, 8, e.pc, 4);
        Put(rec, 12, e.da, 4);
        Put(rec, 16, e.rr1, 4);
        Put(rec, 20, e.rr2, 4);
        Put(rec, 24, e.version, 2);
        Put(rec, 26, e.year, 2);
        rec[28] = e.month;
        rec[29] = e.day;
        Put(rec, 30, e.timeOfWeek, 4);
        Put(rec, 34, e.week, 2);
        rec[36] = e.id;
        rec[37] = e.vpc;
      } else {
        PutEntryFields(rec, 1, e);
        if (version == 3) {
          Put(rec, 35, e.upTime, 4);
          Put(rec, 39, e.stackPointer, 4);
          std::fill(rec.begin() + 43, rec.begin() + 83, 0);
          Put(rec, 83, 0, 2);
          std::fill(rec.begin() + 85, rec.begin() + 125, 0);
        }
      }
    }
    std::copy(rec.begin(), rec.end(), image.begin() + static_cast<std::ptrdiff_t>(at));
    ++k;
  }
  return image;
}

void VirtualReceiver::InstallErrorLogImage() {
  const auto image = ErrorLogImage();
  flash_.Store(profile_.errorLogBase + profile_.errorLogOffset, image.data(), image.size());
}

}  // namespace sim

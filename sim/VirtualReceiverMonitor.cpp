// The monitor's side of VirtualReceiver: loader commands, and the records
// it hands out (product record, flash and hardware descriptions, memory map,
// error-log image).
#include <algorithm>

#include "sim/VirtualReceiver.h"

namespace sim {

namespace {

constexpr std::int64_t kMs = 1'000'000;

void Put(std::vector<std::uint8_t>& d, std::size_t at, std::uint64_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) d[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (8 * (bytes - 1 - i)));
}

void PutText(std::vector<std::uint8_t>& d, std::size_t at, const std::string& text, std::size_t size) {
  for (std::size_t i = 0; i < size; ++i) d[at + i] = i < text.size() ? static_cast<std::uint8_t>(text[i]) : 0;
}

std::uint32_t Be(const std::vector<std::uint8_t>& d, std::size_t at, int bytes) {
  std::uint32_t v = 0;
  for (int i = 0; i < bytes; ++i) v = v << 8 | d[at + static_cast<std::size_t>(i)];
  return v;
}

}  // namespace

std::vector<std::uint8_t> VirtualReceiver::ProductRecord() const {
  std::vector<std::uint8_t> r(425, 0);
  r[0] = profile_.monitorMajor;
  r[1] = profile_.monitorMinor;
  if (profile_.serial.empty()) {
    std::fill(r.begin() + 2, r.begin() + 34, 0xFF);
  } else {
    PutText(r, 2, profile_.serial, 32);
  }
  PutText(r, 34, profile_.product, 40);
  PutText(r, 74, profile_.owner1, 36);
  PutText(r, 110, profile_.owner2, 36);
  r[146] = profile_.board;
  r[147] = profile_.capability;
  r[148] = profile_.dateMonth;
  Put(r, 149, profile_.dateYear, 2);
  r[151] = profile_.installedMajor;
  r[152] = profile_.installedMinor;
  Put(r, 155, 0x0101, 2);
  for (std::size_t i = 0; i < 32; ++i) {
    const auto f = i < profile_.features.size() ? profile_.features[i] : std::pair<std::uint16_t, std::uint16_t>{0xFFFF, 0};
    Put(r, 169 + 4 * i, f.first, 2);
    Put(r, 171 + 4 * i, f.second, 2);
  }
  r[336] = profile_.productCode;
  Put(r, 375, profile_.productId, 2);
  return r;
}

std::vector<std::uint8_t> VirtualReceiver::FlashDescription(bool hardware) const {
  std::vector<std::uint8_t> d(hardware ? 72 : 68, 0);
  Put(d, 0, profile_.flashBase, 4);
  PutText(d, 10, profile_.chip, 16);
  Put(d, 26, profile_.appStart, 4);
  for (std::size_t i = 0; i < 3; ++i) {
    Put(d, 36 + 4 * i, profile_.regions[i].sectors, 4);
    Put(d, 52 + 4 * i, profile_.regions[i].sectorSize, 4);
  }
  Put(d, 64, profile_.topSectorSize, 4);
  if (hardware) {
    d[68] = profile_.board;
    d[69] = profile_.hwFlags;
  }
  return d;
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

void VirtualReceiver::OnLoader(const LoaderFrame& f) {
  Note("request loader " + std::to_string(f.command) + " len " + std::to_string(f.data.size()));
  if (!Admit(f.command, "fault: refused", [this, &f] { ReplyLoader(f.command, {0x00}); })) return;
  const auto& d = f.data;
  const std::uint8_t cmd = f.command;
  const bool legacy = cmd == 1 || cmd == 2 || cmd == 3;
  if (legacy && !profile_.legacyErase) {
    Note("legacy command ignored");
    return;
  }
  switch (cmd) {
    case 1:
    case 21:
      if (d.size() != 5 || d[0] != 1) {
        ReplyLoader(cmd, {0x00});
        break;
      }
      flash_.EraseSector(Be(d, 1, 4));
      eraseBusyUntil_ = now_ + static_cast<std::int64_t>(profile_.eraseMs) * kMs;
      ReplyLoader(cmd, {0x01});
      break;
    case 2:
    case 22: {
      const std::uint8_t status = profile_.eraseFails ? 2 : now_ < eraseBusyUntil_ ? 0 : 1;
      ReplyLoader(cmd, {status});
      break;
    }
    case 3:
    case 23:
      if (d.size() < 5) {
        ReplyLoader(cmd, {0x00});
        break;
      }
      flash_.Program(Be(d, 0, 4), d.data() + 4, d.size() - 4);
      ReplyLoader(cmd, {0x01});
      break;
    case 4:
    case 16: {
      const std::int64_t done = ReplyLoader(cmd, {0x01});
      Restart(ReceiverMode::Application, profile_.monitorToAppMs, done);
      break;
    }
    case 5: {
      if (d.size() != 6) {
        ReplyLoader(cmd, {});
        break;
      }
      const std::uint32_t n = std::min<std::uint32_t>(Be(d, 4, 2), 2055);
      ReplyLoader(cmd, flash_.Read(Be(d, 0, 4), n));
      break;
    }
    case 6:
      ReplyLoader(cmd, ProductRecord());
      break;
    case 13:
      productIdWritten_ = d;
      ReplyLoader(cmd, {0x01});
      break;
    case 14:
      if (d.size() < 5) {
        ReplyLoader(cmd, {0x00});
        break;
      }
      ram_.Store(Be(d, 0, 4), d.data() + 4, d.size() - 4);
      ReplyLoader(cmd, {0x01});
      break;
    case 17: {
      const std::uint32_t baud = d.size() == 4 ? Be(d, 0, 4) : 0;
      const bool ok = profile_.acceptSwitchBaud && d.size() == 4 &&
                      (baud == 2400 || baud == 4800 || baud == 9600 || baud == 14400 || baud == 19200 ||
                       baud == 38400 || baud == 57600 || baud == 115200 || baud == 230400 || baud == 460800);
      const std::int64_t done = ReplyLoader(cmd, {static_cast<std::uint8_t>(ok ? 1 : 0)});
      if (ok)
        After(done, [this, baud] {
          monitorSettings_.baudRate = baud;
          if (mode_ == ReceiverMode::Monitor) line_.SetSettings(Side::Receiver, monitorSettings_, now_);
          Note("monitor port now " + std::to_string(baud) + " baud");
        });
      break;
    }
    case 18:
      ReplyLoader(cmd, radioConfig_.empty() ? std::vector<std::uint8_t>{0x00} : radioConfig_);
      break;
    case 19:
      // A write covers the start of the area; what lies beyond it stays.
      if (profile_.radioAcceptConfig && !radioConfig_.empty() && !d.empty() && d.size() <= radioConfig_.size()) {
        if (profile_.radioStoreConfig) std::copy(d.begin(), d.end(), radioConfig_.begin());
        ReplyLoader(cmd, {0x01});
      } else {
        ReplyLoader(cmd, {0x00});
      }
      break;
    case 20:
      if (d.size() == 1 && d[0] == 1) {
        // Monitors without the hardware description do not answer its form at all.
        if (profile_.hardwareInfo) ReplyLoader(cmd, FlashDescription(true));
      } else {
        ReplyLoader(cmd, FlashDescription(false));
      }
      break;
    case 25: {
      if (d.size() < 5) {
        ReplyLoader(cmd, {0x00});
        break;
      }
      const std::size_t offset = Be(d, 0, 2);
      const std::size_t n = d.size() - 4;
      if (controllerBuffer_.size() < offset + n) controllerBuffer_.resize(offset + n, 0xFF);
      std::copy(d.begin() + 4, d.end(), controllerBuffer_.begin() + static_cast<std::ptrdiff_t>(offset));
      ReplyLoader(cmd, {0x01});
      break;
    }
    case 26:
      controllerFirmware_ = controllerBuffer_;
      controllerBuffer_.clear();
      ReplyLoader(cmd, {0x01});
      break;
    case 27:
      ReplyLoader(cmd, {0x00, profile_.controllerVersion, 0x00, 0x00});
      break;
    case 29:
      if (d.size() == 1 && (d[0] == 1 || d[0] == 2)) autoOn_ = d[0];
      ReplyLoader(cmd, {autoOn_});
      break;
    case 30:
      ReplyLoader(cmd, {autoOn_});
      break;
    case 43:
      ReplyLoader(cmd, MemoryMap());
      break;
    default:
      Note("unknown loader command ignored");
      break;
  }
}

}  // namespace sim

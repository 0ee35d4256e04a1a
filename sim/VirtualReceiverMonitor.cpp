// The monitor's side of VirtualReceiver: its loader requests.
#include <algorithm>

#include "sim/Bytes.h"
#include "sim/VirtualReceiver.h"

namespace sim {

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
      flash_.EraseSector(GetBe(d, 1, 4));
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
      flash_.Program(GetBe(d, 0, 4), d.data() + 4, d.size() - 4);
      NoteIdentity(GetBe(d, 0, 4), d.data() + 4, d.size() - 4);
      ReplyLoader(cmd, {0x01});
      break;
    case 4:
    case 16: {
      for (const IdentityWindow& w : identityWindows_) {
        ImageVersion version;
        if (std::find(w.programmed.begin(), w.programmed.end(), false) == w.programmed.end() &&
            ImageVersion::FromIdentity(w.bytes.data(), w.bytes.size(), &version)) {
          AdoptVersion(version);
          break;
        }
      }
      identityWindows_.clear();
      const std::int64_t done = ReplyLoader(cmd, {0x01});
      Restart(ReceiverMode::Application, profile_.monitorToAppMs, done);
      break;
    }
    case 5: {
      if (d.size() != 6) {
        ReplyLoader(cmd, {});
        break;
      }
      const std::uint32_t n = std::min<std::uint32_t>(GetBe(d, 4, 2), 2055);
      ReplyLoader(cmd, flash_.Read(GetBe(d, 0, 4), n));
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
      ram_.Store(GetBe(d, 0, 4), d.data() + 4, d.size() - 4);
      ReplyLoader(cmd, {0x01});
      break;
    case 17: {
      const std::uint32_t baud = d.size() == 4 ? GetBe(d, 0, 4) : 0;
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
      const std::size_t offset = GetBe(d, 0, 2);
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

void VirtualReceiver::NoteIdentity(std::uint32_t address, const std::uint8_t* data, std::size_t n) {
  if (identityWindows_.empty())
    for (std::uint32_t offset :
         {ImageVersion::kIdentityOffset, ImageVersion::kElfIdentityAddress, ImageVersion::kPlatformIdentityOffset})
      identityWindows_.push_back({profile_.appStart + offset, std::vector<std::uint8_t>(ImageVersion::kIdentitySize, 0xFF),
                                  std::vector<bool>(ImageVersion::kIdentitySize, false)});
  for (IdentityWindow& w : identityWindows_) {
    const std::uint64_t from = std::max<std::uint64_t>(address, w.address);
    const std::uint64_t to = std::min<std::uint64_t>(std::uint64_t{address} + n, std::uint64_t{w.address} + w.bytes.size());
    for (std::uint64_t a = from; a < to; ++a) {
      w.bytes[a - w.address] = data[a - address];
      w.programmed[a - w.address] = true;
    }
  }
}

}  // namespace sim

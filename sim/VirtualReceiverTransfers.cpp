// Transfers to the running application: clone files (upload, store,
// activation) and application-mode firmware uploads with their install.
#include <algorithm>
#include <cstdio>

#include "sim/Bytes.h"
#include "sim/VirtualReceiver.h"

namespace sim {

void VirtualReceiver::Clone(const std::vector<std::uint8_t>& d) {
  if (d.size() < 2) {
    Nak();
    return;
  }
  if (d[0] == 0x03 && d[1] == 0x00) {
    const bool wellFormed = d.size() >= 6 && d.size() == 6u + d[5];
    if (!wellFormed || !profile_.cloneAccept) {
      ReplyReport(0xB9, {0x03, 0x00, 0x01});
      return;
    }
    cloneSize_ = static_cast<std::uint32_t>(d[2]) << 16 | d[3] << 8 | d[4];
    cloneName_.assign(d.begin() + 6, d.end());
    cloneData_.clear();
    cloneOpen_ = true;
    cloneChunks_ = 0;
    ReplyReport(0xB9, {0x03, 0x00, 0x00});
  } else if (d[0] == 0x03 && d[1] == 0x01) {
    const std::uint32_t offset = d.size() >= 5 ? (static_cast<std::uint32_t>(d[2]) << 16 | d[3] << 8 | d[4]) : 0;
    ++cloneChunks_;
    const bool ok = cloneOpen_ && d.size() > 5 && offset == cloneData_.size() &&
                    cloneData_.size() + (d.size() - 5) <= cloneSize_ && cloneChunks_ != profile_.cloneRefuseChunk;
    if (ok) cloneData_.insert(cloneData_.end(), d.begin() + 5, d.end());
    ReplyReport(0xB9, {0x03, 0x01, 0x00, 0x00, static_cast<std::uint8_t>(ok ? 0x00 : 0x01), 0x00});
  } else if (d[0] == 0x03 && d[1] == 0x02) {
    const bool ok = cloneOpen_ && cloneData_.size() == cloneSize_;
    if (ok) cloneFiles_[cloneName_] = cloneData_;
    cloneOpen_ = false;
    ReplyReport(0xB9, {0x03, 0x02, static_cast<std::uint8_t>(ok ? 0x00 : 0x01)});
  } else if (d[0] == 0x02) {
    const std::size_t n = d[1];
    if (d.size() != 2 + n + 3 || n < 4) {
      ReplyReport(0xB9, {0x02, 0xFF});
      return;
    }
    CloneActivation a;
    a.name.assign(d.begin() + 2, d.begin() + 2 + static_cast<std::ptrdiff_t>(n));
    a.installIp = d[2 + n] != 0;
    a.installWifi = d[3 + n] != 0;
    a.resetFirst = d[4 + n] != 0;
    activations_.push_back(a);
    const std::string stored = a.name.size() > 4 ? a.name.substr(0, a.name.size() - 4) : a.name;
    if (!cloneFiles_.count(stored)) {
      ReplyReport(0xB9, {0x02, 0x05});
      return;
    }
    // Activation reports its progress on its own, one status per interval.
    const auto& seq = profile_.cloneActivation;
    for (std::size_t i = 0; i < seq.size(); ++i) {
      const std::uint8_t status = seq[i];
      After(now_ + static_cast<std::int64_t>(i * profile_.cloneIntervalMs) * kMs,
            [this, status] { ReplyReport(0xB9, {0x02, status}); });
    }
  } else {
    Nak();
  }
}

std::uint8_t VirtualReceiver::InstallState() {
  if (installStartNs_ < 0) return 0;
  std::int64_t t = installStartNs_;
  for (const auto& [state, ms] : profile_.uploadStates) {
    t += static_cast<std::int64_t>(ms) * kMs;
    if (now_ < t) return state;
  }
  return profile_.uploadStates.back().first;
}

void VirtualReceiver::Upload(const std::vector<std::uint8_t>& d) {
  auto reply = [&](std::uint8_t result, std::uint8_t state) {
    ReplyReport(kUploadReply, {d.empty() ? std::uint8_t{0} : d[0], 0x00, result, state}, true);
  };
  if (d.size() < 2) {
    Nak();
    return;
  }
  if (d[0] == 0x07 && d[1] == 0x00) {
    if (uploadInstallForm_ && installStartNs_ < 0) {
      installStartNs_ = now_;
      Note("installing the uploaded image");
      std::int64_t total = 0;
      for (const auto& s : profile_.uploadStates) total += static_cast<std::int64_t>(s.second) * kMs;
      After(now_ + total, [this] { FinishInstall(); });
    }
    reply(uploadBusy_ ? 1 : 0, InstallState());
  } else if (d[0] == 0x06 && d[1] == 0x02) {
    uploadBusy_ = false;
    upload_.clear();
    uploadInstallForm_ = false;
    installStartNs_ = -1;
    reply(0, 0);
  } else if (d[0] == 0x06 && (d[1] == 0x00 || d[1] == 0x01) && d.size() >= 6) {
    const std::uint32_t address = GetBe(d, 2, 4);
    const std::size_t n = d.size() - 6;
    if (address > (16u << 20) || installStartNs_ >= 0) {
      reply(3, 0);
      return;
    }
    if (upload_.size() < address + n) upload_.resize(address + n, 0xFF);
    std::copy(d.begin() + 6, d.end(), upload_.begin() + address);
    if (d[1] == 0x00) uploadInstallForm_ = true;
    reply(2, 0);
  } else if (d[0] == kIdentityQuery && d[1] == 0x00) {
    ReplyReport(kUploadReply, IdentityReply(), true);
  } else {
    Nak();
  }
}

void VirtualReceiver::FinishInstall() {
  if (installFinished_) return;
  installFinished_ = true;
  const std::uint8_t last = profile_.uploadStates.back().first;
  if (last != 6) {
    Note("install failed");
    return;
  }
  ++installs_;
  // A container is installed section by section at each section's address;
  // anything else is an application image for the application area.
  const auto& u = upload_;
  bool container = false;
  if (u.size() >= 0x6C) {
    const std::size_t n = static_cast<std::size_t>(u[0x16]) << 8 | u[0x17];
    std::uint64_t payload = 0x6C + 84u * n;
    container = n > 0 && n < 64 && payload <= u.size();
    for (std::size_t i = 0; container && i < n; ++i) {
      const std::size_t e = 0x6C + 84 * i;
      const std::uint32_t length = GetBe(u, e + 8, 4);
      const std::uint32_t address = GetBe(u, e + 0x10, 4);
      if (payload + length > u.size()) {
        container = false;
        break;
      }
      std::uint32_t start = 0, size = 0;
      for (std::uint64_t a = address; a < std::uint64_t{address} + length; a = std::uint64_t{start} + size) {
        flash_.SectorOf(static_cast<std::uint32_t>(a), &start, &size);
        flash_.EraseSector(start);
      }
      flash_.Program(address, u.data() + payload, length);
      payload += length;
    }
  }
  if (!container) {
    std::uint32_t start = 0, size = 0;
    for (std::uint64_t a = profile_.appStart; a < std::uint64_t{profile_.appStart} + u.size(); a = std::uint64_t{start} + size) {
      flash_.SectorOf(static_cast<std::uint32_t>(a), &start, &size);
      flash_.EraseSector(start);
    }
    flash_.Program(profile_.appStart, u.data(), u.size());
  }
  ImageVersion version;
  const bool stated = container ? ImageVersion::FromContainer(u, &version)
                                : u.size() >= ImageVersion::kIdentityOffset + ImageVersion::kIdentitySize &&
                                      ImageVersion::FromIdentity(u.data() + ImageVersion::kIdentityOffset,
                                                                 ImageVersion::kIdentitySize, &version);
  if (stated) AdoptVersion(version);
  Note("install done; restarting");
  Restart(ReceiverMode::Application, profile_.monitorToAppMs, now_ + static_cast<std::int64_t>(profile_.uploadRebootMs) * kMs);
}

void VirtualReceiver::AdoptVersion(const ImageVersion& version) {
  if (profile_.keepVersion) {
    Note("keeps version " + profile_.version + " instead of " + version.Text());
    return;
  }
  char field[16];
  std::snprintf(field, sizeof field, "%03u%02u", version.major % 1000, version.minor % 100);
  profile_.softwareField = field;
  profile_.version = version.Text();
  profile_.installedMajor = static_cast<std::uint8_t>(version.major);
  profile_.installedMinor = static_cast<std::uint8_t>(version.minor);
  Note("now runs version " + profile_.version);
}

}  // namespace sim

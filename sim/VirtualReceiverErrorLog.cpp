// The receiver's side of its error log: the application's requests about it,
// the image the monitor keeps in flash, and the memory map that says where.
#include "sim/Bytes.h"
#include "sim/VirtualReceiver.h"

namespace sim {

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
      const auto reply = errorLog_.Reply(index, longForm);
      if (reply.empty()) Nak();
      else ReplyReport(0x92, reply);
      break;
    }
    case 0x01:
      errorLog_.Clear();
      InstallErrorLogImage();
      Ack();
      break;
    default:
      Nak();
  }
}

std::vector<std::uint8_t> VirtualReceiver::MemoryMap() const {
  std::vector<std::uint8_t> m(64, 0);
  PutBe(m, 0, profile_.errorLogBase, 4);
  PutBe(m, 40, profile_.errorLogOffset, 4);
  PutBe(m, 44, profile_.errorLogSectorSize, 4);
  PutBe(m, 48, profile_.errorLogSectors, 2);
  return m;
}

std::vector<std::uint8_t> VirtualReceiver::ErrorLogImage() const {
  return errorLog_.Image(profile_.errorLogImageVersion,
                         static_cast<std::size_t>(profile_.errorLogSectorSize) * profile_.errorLogSectors);
}

void VirtualReceiver::InstallErrorLogImage() {
  const auto image = ErrorLogImage();
  flash_.Store(profile_.errorLogBase + profile_.errorLogOffset, image.data(), image.size());
}

}  // namespace sim

#include "sim/SimFlash.h"

#include <algorithm>

namespace sim {

SimFlash::SimFlash(std::uint32_t base, std::vector<FlashRegion> regions, std::uint32_t topSectorSize, bool keepProgrammed)
    : base_(base),
      regions_(std::move(regions)),
      topSectorSize_(topSectorSize ? topSectorSize : 0x10000),
      keepProgrammed_(keepProgrammed) {}

void SimFlash::SectorOf(std::uint32_t address, std::uint32_t* start, std::uint32_t* size) const {
  std::uint64_t regionStart = base_;
  if (address >= base_) {
    for (const auto& r : regions_) {
      const std::uint64_t length = static_cast<std::uint64_t>(r.sectors) * r.sectorSize;
      if (r.sectorSize && address < regionStart + length) {
        const std::uint64_t index = (address - regionStart) / r.sectorSize;
        *start = static_cast<std::uint32_t>(regionStart + index * r.sectorSize);
        *size = r.sectorSize;
        return;
      }
      regionStart += length;
    }
  }
  // Above the regions (and below the base) sectors are aligned to the top size.
  const std::uint64_t from = address >= regionStart ? regionStart : 0;
  const std::uint64_t index = (address - from) / topSectorSize_;
  *start = static_cast<std::uint32_t>(from + index * topSectorSize_);
  *size = topSectorSize_;
}

std::uint8_t* SimFlash::Page(std::uint32_t address) {
  auto& page = pages_[address / kPage];
  if (page.empty()) page.assign(kPage, 0xFF);
  return page.data() + address % kPage;
}

void SimFlash::EraseSector(std::uint32_t address) {
  std::uint32_t start = 0, size = 0;
  SectorOf(address, &start, &size);
  eraseLog_.push_back(start);
  const std::uint64_t end = static_cast<std::uint64_t>(start) + size;
  for (auto it = pages_.lower_bound(start / kPage); it != pages_.end() && std::uint64_t{it->first} * kPage < end;) {
    const std::uint64_t pageStart = std::uint64_t{it->first} * kPage;
    if (pageStart >= start && pageStart + kPage <= end) {
      it = pages_.erase(it);
    } else {
      for (std::uint64_t a = std::max<std::uint64_t>(pageStart, start); a < std::min(pageStart + kPage, end); ++a)
        it->second[a - pageStart] = 0xFF;
      ++it;
    }
  }
}

// Byte runs go page by page (a run never crosses a page, and addresses wrap at
// 4 GiB as the bus does): an image of megabytes is stored in as many page
// look-ups as it has pages, not one per byte.
void SimFlash::Program(std::uint32_t address, const std::uint8_t* data, std::size_t n) {
  bytesProgrammed_ += n;
  if (!keepProgrammed_) return;
  for (std::size_t done = 0; done < n;) {
    const auto a = static_cast<std::uint32_t>(address + done);
    const std::size_t run = std::min<std::size_t>(n - done, kPage - a % kPage);
    std::uint8_t* p = Page(a);
    for (std::size_t i = 0; i < run; ++i) p[i] = static_cast<std::uint8_t>(p[i] & data[done + i]);
    done += run;
  }
}

void SimFlash::Store(std::uint32_t address, const std::uint8_t* data, std::size_t n) {
  for (std::size_t done = 0; done < n;) {
    const auto a = static_cast<std::uint32_t>(address + done);
    const std::size_t run = std::min<std::size_t>(n - done, kPage - a % kPage);
    std::copy_n(data + done, run, Page(a));
    done += run;
  }
}

std::vector<std::uint8_t> SimFlash::Read(std::uint32_t address, std::size_t n) const {
  std::vector<std::uint8_t> out(n, 0xFF);
  for (std::size_t done = 0; done < n;) {
    const auto a = static_cast<std::uint32_t>(address + done);
    const std::size_t run = std::min<std::size_t>(n - done, kPage - a % kPage);
    const auto it = pages_.find(a / kPage);
    if (it != pages_.end()) std::copy_n(it->second.begin() + a % kPage, run, out.begin() + static_cast<std::ptrdiff_t>(done));
    done += run;
  }
  return out;
}

std::size_t SimFlash::ProgrammedBytes() const {
  std::size_t n = 0;
  for (const auto& [index, page] : pages_) n += static_cast<std::size_t>(std::count_if(page.begin(), page.end(), [](std::uint8_t b) { return b != 0xFF; }));
  return n;
}

}  // namespace sim

// The receiver's flash as programmed: erased bytes read 0xFF, programming can
// only clear bits (as real flash does, so a block written without its erase
// shows up as a difference), and sectors follow the profile's three regions
// from the flash base, with the top sector size above them.
#pragma once
#include <cstdint>
#include <map>
#include <vector>

#include "sim/Profile.h"

namespace sim {

class SimFlash {
 public:
  // `keepProgrammed` false: Program counts its bytes but stores none of them.
  explicit SimFlash(std::uint32_t base = 0, std::vector<FlashRegion> regions = {}, std::uint32_t topSectorSize = 0x10000,
                    bool keepProgrammed = true);

  // The sector that holds `address`: its start and size.
  void SectorOf(std::uint32_t address, std::uint32_t* start, std::uint32_t* size) const;
  // Erases the sector that holds `address`.
  void EraseSector(std::uint32_t address);
  // Programs bytes (AND into what is there).
  void Program(std::uint32_t address, const std::uint8_t* data, std::size_t n);
  // Overwrites bytes as they are (memory contents that are not programmed through the loader).
  void Store(std::uint32_t address, const std::uint8_t* data, std::size_t n);
  std::vector<std::uint8_t> Read(std::uint32_t address, std::size_t n) const;
  // Bytes that differ from 0xFF, for tests that check nothing else was touched.
  std::size_t ProgrammedBytes() const;
  // Every byte handed to Program so far, kept or not.
  std::uint64_t BytesProgrammed() const { return bytesProgrammed_; }
  // Addresses of every sector erased so far, in order.
  const std::vector<std::uint32_t>& EraseLog() const { return eraseLog_; }

 private:
  static constexpr std::uint32_t kPage = 4096;
  std::uint8_t* Page(std::uint32_t address);
  std::uint32_t base_;
  std::vector<FlashRegion> regions_;
  std::uint32_t topSectorSize_;
  bool keepProgrammed_;
  std::uint64_t bytesProgrammed_ = 0;
  std::map<std::uint32_t, std::vector<std::uint8_t>> pages_;
  std::vector<std::uint32_t> eraseLog_;
};

}  // namespace sim

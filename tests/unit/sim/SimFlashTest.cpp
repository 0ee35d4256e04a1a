// The virtual flash against a byte-by-byte model: runs that start mid-page,
// cross page edges and wrap at the top of the 32-bit address space.
#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <vector>

#include "sim/SimFlash.h"

namespace sim {
namespace {

TEST(SimFlashTest, RunsAcrossPagesAndTheAddressWrapMatchAByteModel) {
  struct Step {
    const char* what;
    bool program;  // else store
    std::uint32_t address;
    std::size_t length;
    std::uint8_t seed;
  };
  const Step steps[] = {
      {"store inside one page", false, 0x02400010, 32, 0x11},
      {"store across two page edges", false, 0x02400FF0, 4096 + 64, 0x5A},
      {"program over part of it", true, 0x02400FF8, 24, 0xF0},
      {"program into erased flash across an edge", true, 0x02402FFE, 5, 0x3C},
      {"store that wraps past the top", false, 0xFFFFFFFA, 12, 0xA5},
      {"program that wraps past the top", true, 0xFFFFFFFE, 4, 0x0F},
      {"nothing", false, 0x02500000, 0, 0x00},
  };
  SimFlash flash;
  std::map<std::uint32_t, std::uint8_t> model;  // absent: erased (0xFF)
  auto modelAt = [&](std::uint32_t a) { const auto it = model.find(a); return it == model.end() ? 0xFF : it->second; };
  for (const Step& s : steps) {
    std::vector<std::uint8_t> data(s.length);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(s.seed * (i + 1) + i / 7);
    if (s.program) flash.Program(s.address, data.data(), data.size());
    else flash.Store(s.address, data.data(), data.size());
    for (std::size_t i = 0; i < data.size(); ++i) {
      const auto a = static_cast<std::uint32_t>(s.address + i);
      model[a] = static_cast<std::uint8_t>(s.program ? (modelAt(a) & data[i]) : data[i]);
    }
    // Read a window around every step, and one that spans the wrap.
    for (const auto& [from, n] : {std::pair<std::uint32_t, std::size_t>{s.address - 100, s.length + 200},
                                  {0xFFFFFF00u, 0x200}, {0x02400000, 0x4000}}) {
      const std::vector<std::uint8_t> got = flash.Read(from, n);
      ASSERT_EQ(got.size(), n);
      for (std::size_t i = 0; i < n; ++i)
        ASSERT_EQ(got[i], modelAt(static_cast<std::uint32_t>(from + i))) << s.what << ", byte " << i << " from " << from;
    }
  }
  // Bytes cleared by programming or stored as non-0xFF, counted the same way.
  std::size_t programmed = 0;
  for (const auto& [a, b] : model) programmed += b != 0xFF;
  EXPECT_EQ(flash.ProgrammedBytes(), programmed);
}

}  // namespace
}  // namespace sim

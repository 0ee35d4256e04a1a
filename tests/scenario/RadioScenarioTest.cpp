// "Load internal radio software" against the virtual receiver's radio.
#include <gtest/gtest.h>

#include "afx/PropertySheet.h"
#include "operations/MDSRadioUpdateOperation.h"
#include "support/SimScenario.h"

namespace {

using Op = CMDSRadioUpdateOperation;

std::vector<std::uint8_t> RadioImage(size_t n) {
  std::vector<std::uint8_t> d(n);
  for (size_t i = 0; i < n; ++i) d[i] = static_cast<std::uint8_t>(i * 7 + 3);
  return d;
}

// Registers `bytes` as the catalogue's radio software and shows the page.
void Choose(test::SimScenario& s, Op& op, const std::vector<std::uint8_t>& bytes) {
  s.AddFirmware(bytes, "radio_240.bin", "Radio 2.40", "QZ710R");
  CPropertySheet sheet;
  sheet.AddPage(&op.GetUpdatePage());
  ASSERT_TRUE(sheet.ActivatePage(0));
  ASSERT_TRUE(sheet.NextFrom(0));
  ASSERT_NE(op.GetUpdatePage().GetSelectedFirmwarePath(), nullptr);
}

TEST(RadioUpdate, ChecksumIsTheCommonCrc32) {
  const std::pair<std::string, DWORD> cases[] = {{"", 0x00000000}, {"a", 0xE8B7BE43}, {"123456789", 0xCBF43926}};
  for (const auto& [text, crc] : cases) EXPECT_EQ(Op::Crc32(std::vector<BYTE>(text.begin(), text.end())), crc) << text;
}

TEST(RadioUpdate, SendsTheImageAndWaitsForTheRadio) {
  for (const char* profile : {"", "mode = monitor\n", "radio.sync_states = 0, 0, 3, 3, 4\n"}) {
    for (const size_t size : {1u, 200u, 401u}) {
      SCOPED_TRACE(std::string(profile) + std::to_string(size));
      test::SimScenario s(profile);
      Op op;
      const auto image = RadioImage(size);
      Choose(s, op, image);
      EXPECT_EQ(s.Run(op), 1);
      EXPECT_EQ(s.Receiver().RadioFirmware(), image);
      EXPECT_EQ(s.Receiver().RadioInstalls(), 1);
      EXPECT_EQ(s.window.Text(), "Radio Software Upgrade");
      EXPECT_EQ(s.window.LastStatus(), "The radio software was updated successfully.");
      const auto& pr = s.window.progress;
      ASSERT_FALSE(pr.empty());
      EXPECT_EQ(pr.back(), 100);
      EXPECT_TRUE(std::is_sorted(pr.begin(), pr.end()));
      EXPECT_TRUE(s.ui.boxes.empty());
    }
  }
}

TEST(RadioUpdate, FailuresOfThePipeAndTheRadio) {
  struct Case {
    const char* name;
    const char* profile;
    int code;
  };
  const Case cases[] = {
      {"pipe refused", "radio.pipe = nak\n", 707},
      {"radio never synchronises", "radio.sync_states = 3\n", 707},
      {"radio silent during the transfer", "fault = silence n=4 type=0x77 count=0\n", 707},
      {"not a receiver of this family", "product = ZX900\n", 709},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    test::SimScenario s(c.profile);
    Op op;
    Choose(s, op, RadioImage(500));
    EXPECT_EQ(s.Run(op), 0);
    EXPECT_TRUE(s.OneBoxWith("[" + std::to_string(c.code) + "]"));
    // Only a radio that took the image but never came back has installed it.
    EXPECT_EQ(s.Receiver().RadioInstalls(), std::string(c.name) == "radio never synchronises" ? 1 : 0);
  }
}

}  // namespace

// Wiping the CM blocks against the virtual receiver: which sectors go, which stay.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "operations/WipeCMBlockOperation.h"
#include "support/SimScenario.h"

namespace {

// Flash from 0x10000000: 16 KB sectors, then 64 KB ones, then 128 KB ones
// from 0x10080000, so the CM range starts inside the third region and its
// sectors are not all one size away from the flash base.
const std::string kFlash =
    "flash.base = 0x10000000\nflash.app_start = 0x10010000\n"
    "flash.regions = 4*0x4000, 7*0x10000, 4*0x20000\nflash.top_sector = 0x8000\n";

std::string LogAt(std::uint32_t base) {
  return kFlash + "errorlog.base = " + std::to_string(base) + "\nerrorlog.offset = 0\n";
}

// The monitor was told to reboot and comes back as the application.
void ExpectRebooted(test::SimScenario& s) {
  EXPECT_TRUE(s.Asked(4, "loader"));
  s.Settle(30000);
  EXPECT_EQ(s.Receiver().Mode(), sim::ReceiverMode::Application);
}

}  // namespace

TEST(WipeScenario, ErasesExactlyTheCMSectors) {
  // 0x100C0000 and 0x100E0000 are 128 KB sectors; 0x10100000 upwards are the
  // 32 KB sectors above the regions, not part of the range.
  test::SimScenario s(kFlash);
  s.ui.answers = {IDYES};
  EXPECT_EQ(s.Run<CWipeCMBlockOperation>(), 1);
  EXPECT_EQ(s.Receiver().Flash().EraseLog(), (std::vector<std::uint32_t>{0x100C0000, 0x100E0000}));
  EXPECT_EQ(s.window.Text(), "Wipe CM blocks");
  ASSERT_EQ(s.ui.boxes.size(), 1u);
  EXPECT_EQ(s.ui.boxes[0].text.rfind("This operation fixes a problem in the receiver memory.  It is strongly", 0), 0u);
  EXPECT_EQ(s.ui.boxes[0].flags & 0xF, MB_YESNO);
  EXPECT_EQ(s.ui.boxes[0].flags & 0xF0, MB_ICONQUESTION);
  const std::vector<std::string> statuses = {"Establishing communication with the QZ7xx. Please wait...",
                                             "Initializing monitor...", "Erasing flash ...",
                                             "Rebooting the QZ7xx receiver..."};
  for (const auto& text : statuses) EXPECT_TRUE(s.HasStatus(text)) << text;
  EXPECT_EQ(s.window.LastStatus(), "CM blocks are wiped out successfully.");
  // Opening, connecting (40, 80, 100), then the erase from 10 to 90 in two sectors.
  EXPECT_EQ(s.window.progress, (std::vector<int>{0, 40, 80, 100, 10, 10, 50, 90, 100, 100}));
  ExpectRebooted(s);
}

TEST(WipeScenario, ContentOutsideTheRangeSurvives) {
  // The monitor keeps its error-log image where the profile puts it; it is
  // the only content in flash, so it shows what the wipe reached.
  struct Case {
    const char* name;
    std::uint32_t at;
    bool erased;
  };
  const Case cases[] = {
      {"just below the range", 0x100BF000, false},
      {"first CM sector", 0x100C0000, true},
      {"last CM sector", 0x100FF000, true},
      {"just above the range", 0x10100000, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    test::SimScenario s(LogAt(c.at));
    s.ui.answers = {IDYES};
    EXPECT_EQ(s.Run<CWipeCMBlockOperation>(), 1);
    const auto image = s.Receiver().ErrorLogImage();
    const auto now = s.Receiver().Flash().Read(c.at, image.size());
    if (c.erased) {
      EXPECT_EQ(now, std::vector<std::uint8_t>(image.size(), 0xFF));
      EXPECT_EQ(s.Receiver().Flash().ProgrammedBytes(), 0u);
    } else {
      EXPECT_EQ(now, image);
    }
  }
}

TEST(WipeScenario, MonitorWithoutTheCapabilityIsRefusedButRebooted) {
  test::SimScenario s(kFlash + "product.capability = 0\n");
  s.ui.answers = {IDYES};
  EXPECT_EQ(s.Run<CWipeCMBlockOperation>(), 0);
  EXPECT_TRUE(s.Receiver().Flash().EraseLog().empty());
  ASSERT_EQ(s.ui.boxes.size(), 2u);
  EXPECT_EQ(s.ui.boxes[1].text,
            "This operation is not valid for the selected device. Talvern is going to cancel this operation.");
  EXPECT_EQ(s.ui.boxes[1].flags & 0xF, MB_OK);
  EXPECT_EQ(s.ui.boxes[1].flags & 0xF0, MB_ICONSTOP);
  EXPECT_TRUE(s.HasStatus("Rebooting the QZ7xx receiver..."));
  EXPECT_EQ(s.window.LastStatus(), "The operation was canceled.");
  EXPECT_EQ(s.window.progress.back(), 100);
  ExpectRebooted(s);
}

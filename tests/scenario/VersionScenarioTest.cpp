// "Verify receiver software version" against the virtual receiver.
#include <gtest/gtest.h>

#include "operations/RetrieveVersionOperation.h"
#include "operations/VersionDisplayDlg.h"
#include "support/SimScenario.h"

namespace {

// The texts of the version dialog's fields (model, software, boot, radio,
// serial, PCB serial) and then of its labels; empty when it never showed.
std::vector<std::string> Shown(test::SimScenario& s) {
  std::vector<std::string> texts;
  s.ui.onDialog = [&texts](CDialog& d) {
    ASSERT_EQ(d.TemplateId(), CVersionDisplayDlg::IDD);
    for (int id : {CVersionDisplayDlg::kModel, CVersionDisplayDlg::kSoftware, CVersionDisplayDlg::kBoot,
                   CVersionDisplayDlg::kRadio, CVersionDisplayDlg::kSerial, CVersionDisplayDlg::kPcbSerial, 1100, 1101,
                   1102, 1103, 1104})
      texts.push_back(test::Text(d, id));
  };
  EXPECT_EQ(s.Run<CRetrieveVersionOperation>(), 1);
  return texts;
}

const std::vector<std::uint8_t> kResetFrame = {0x02, 0x00, 0x58, 0x07, 0xFF, 0x00, 'R', 'E', 'S', 'E', 'T', 0xE1, 0x03};

}  // namespace

TEST(VersionScenario, ShowsTheVersionsAndResetsTheReceiver) {
  struct Case {
    const char* name;
    const char* profile;
    const char* radio;
    bool asksRadio;
    const char* serial;  // from the break info
  };
  const Case cases[] = {
      {"radio fitted", "serial = 5012K00042\nradio.version = 2.31\n", "2.31", true, "5012K00042"},
      {"no radio", "hw.flags = 0x00\n", "None", false, "5012A00123"},
      {"radio pipe refused", "radio.pipe = nak\n", "None", false, "5012A00123"},
      {"flags at byte 45", "hw.flags = 0x02\nhw.flags_at = 45\n", "2.31", true, "5012A00123"},
      {"leading zeros in the radio text", "radio.version = 02.40\n", "2.40", true, "5012A00123"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    test::SimScenario s(c.profile);
    EXPECT_EQ(Shown(s), (std::vector<std::string>{"Model: QZ710", "4.10", "3.21", c.radio, c.serial, "",
                                                   "Software version:", "Boot version:", "Radio version:",
                                                   "Serial number:", "PCB serial number:"}));
    EXPECT_EQ(s.Asked(0x77), c.asksRadio);
    EXPECT_TRUE(s.Asked(0x06));
    EXPECT_TRUE(s.HostSent(kResetFrame));
    EXPECT_EQ(s.window.Text(), "Retrieve Software Version");
    ASSERT_GE(s.window.statuses.size(), 3u);
    EXPECT_EQ(s.window.statuses[0], "Establishing communication with the QZ7xx. Please wait...");
    EXPECT_EQ(s.window.statuses[1], "Retrieving version information...");
    EXPECT_EQ(s.window.LastStatus(), "The version was retrieved successfully.");
    EXPECT_EQ(s.window.progress.front(), 0);
    EXPECT_EQ(s.window.progress.back(), 100);
    EXPECT_TRUE(s.ui.boxes.empty());
  }
}

TEST(VersionScenario, ReceiversItCannotServe) {
  const struct {
    const char* name;
    const char* profile;
    int result;
    const char* box;  // all of it, or for a failure a part
  } cases[] = {
      {"monitor", "mode = monitor\n", 2,
       "The device found on COM7 is not running the application.\nThis operation requires that the application be "
       "running.\n\nRestart the QZ7xx and try again."},
      {"other product", "product = QX999\n", 2,
       "Invalid Device!\n\nTalvern detected a Korvane product on COM7 that was was not recognized as an QZ7xx "
       "Receiver.\n\nMake sure that a QZ7xx Receiver is connected to COM7."},
      {"silent", "fault = delay n=0 type=0x6E ms=600000\n", 0,
       "QZ7xx failure! [701] - There was an error communicating with the QZ7xx on COM7."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    test::SimScenario s(c.profile);
    EXPECT_EQ(s.Run<CRetrieveVersionOperation>(), c.result);
    EXPECT_FALSE(s.Asked(0x06));
    EXPECT_FALSE(s.Asked(0x4A));
    if (c.result == 2) {
      EXPECT_EQ(s.BoxTexts(), std::vector<std::string>{c.box});
      EXPECT_EQ(s.ui.boxes.at(0).caption, AfxGetModuleState()->m_pszAppName);
    } else {
      EXPECT_TRUE(s.OneBoxWith(c.box));
    }
  }
}

// The version texts as the dialog shows them: leading zeros dropped, and the
// radio's version taken from its reply.
TEST(VersionScenario, VersionTexts) {
  const std::pair<const char*, const char*> stripped[] = {
      {"004.10", "4.10"}, {"000.00", ".00"}, {"4.10", "4.10"}, {"", ""}, {"000", ""}};
  for (const auto& [in, want] : stripped) EXPECT_EQ(CVersionDisplayDlg::StripLeadingZeros(in), want) << in;
  const std::pair<std::string, std::string> radio[] = {
      {"RADIO,VERSION,2.31,SERIAL,1", "2.31"}, {"RADIO,VERSION,2.31", "2.31"}, {"RADIO,VERSION,", ""},
      {"RADIO,NOTHING", ""}, {"VER", ""}};
  for (const auto& [in, want] : radio)
    EXPECT_EQ(CRetrieveVersionOperation::ParseRadioVersion(reinterpret_cast<const BYTE*>(in.data()),
                                                           static_cast<UINT>(in.size())),
              want)
        << in;
}

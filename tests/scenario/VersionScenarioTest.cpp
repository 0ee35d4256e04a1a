// "Verify receiver software version" against the virtual receiver.
#include <gtest/gtest.h>

#include <tuple>

#include "afx/Format.h"
#include "operations/RetrieveVersionOperation.h"
#include "operations/VersionDisplayDlg.h"
#include "support/SimScenario.h"

namespace {

struct Shown {
  bool shown = false;
  std::string model, software, boot, radio, serial, pcb;
  std::vector<std::string> labels;
};

Shown Capture(test::SimScenario& s) {
  auto shown = std::make_shared<Shown>();
  s.ui.onDialog = [shown](CDialog& d) {
    ASSERT_EQ(d.TemplateId(), CVersionDisplayDlg::IDD);
    shown->shown = true;
    shown->model = d.FindControl(CVersionDisplayDlg::kModel)->text;
    shown->software = d.FindControl(CVersionDisplayDlg::kSoftware)->text;
    shown->boot = d.FindControl(CVersionDisplayDlg::kBoot)->text;
    shown->radio = d.FindControl(CVersionDisplayDlg::kRadio)->text;
    shown->serial = d.FindControl(CVersionDisplayDlg::kSerial)->text;
    shown->pcb = d.FindControl(CVersionDisplayDlg::kPcbSerial)->text;
    for (int id = 1100; id <= 1104; ++id) shown->labels.push_back(d.FindControl(id)->text);
  };
  CRetrieveVersionOperation op;
  const int result = s.Run(op);
  EXPECT_EQ(result, 1);
  return *shown;
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
    const Shown shown = Capture(s);
    ASSERT_TRUE(shown.shown);
    EXPECT_EQ(std::make_tuple(shown.model, shown.software, shown.boot, shown.radio, shown.serial, shown.pcb),
              std::make_tuple("Model: QZ710", "4.10", "3.21", c.radio, c.serial, ""));
    EXPECT_EQ(shown.labels, (std::vector<std::string>{"Software version:", "Boot version:", "Radio version:",
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
  AFX_MANAGE_STATE(AfxGetStaticModuleState());
  struct Case {
    const char* name;
    const char* profile;
    int result;
    CString box;
  };
  const int com = test::SimScenario::kCom;
  const Case cases[] = {
      {"monitor", "mode = monitor\n", 2, FormatString(731, com, "QZ7xx")},
      {"other product", "product = QX999\n", 2, FormatString(733, com, com)},
      {"silent", "fault = delay n=0 type=0x6E ms=600000\n", 0, CString()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    test::SimScenario s(c.profile);
    CRetrieveVersionOperation op;
    EXPECT_EQ(s.Run(op), c.result);
    EXPECT_FALSE(s.Asked(0x06));
    EXPECT_FALSE(s.Asked(0x4A));
    ASSERT_EQ(s.ui.boxes.size(), 1u);
    if (!c.box.empty()) {
      EXPECT_EQ(s.ui.boxes[0].text, c.box);
      EXPECT_EQ(s.ui.boxes[0].caption, AfxGetModuleState()->m_pszAppName);
    } else {
      EXPECT_NE(s.ui.boxes[0].text.find(FormatString(801, 701, com)), std::string::npos);
    }
  }
}

TEST(VersionScenario, StripsLeadingZeros) {
  const std::pair<const char*, const char*> cases[] = {
      {"004.10", "4.10"}, {"000.00", ".00"}, {"4.10", "4.10"}, {"", ""}, {"000", ""}};
  for (const auto& [in, want] : cases) EXPECT_EQ(CVersionDisplayDlg::StripLeadingZeros(in), want) << in;
}

TEST(VersionScenario, ParsesTheRadioVersion) {
  const std::pair<std::string, std::string> cases[] = {
      {"RADIO,VERSION,2.31,SERIAL,1", "2.31"},
      {"RADIO,VERSION,2.31", "2.31"},
      {"RADIO,VERSION,", ""},
      {"RADIO,NOTHING", ""},
      {"VER", ""},
  };
  for (const auto& [in, want] : cases)
    EXPECT_EQ(CRetrieveVersionOperation::ParseRadioVersion(reinterpret_cast<const BYTE*>(in.data()),
                                                           static_cast<UINT>(in.size())),
              want)
        << in;
}

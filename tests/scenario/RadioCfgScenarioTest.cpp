// Radio configuration against the virtual receiver.
#include <gtest/gtest.h>

#include "afx/Format.h"
#include "operations/ERODictionary.h"
#include "operations/FrequencyDialog.h"
#include "operations/HoppingDialog.h"
#include "operations/RadioCfgOperation.h"
#include "support/SimScenario.h"

namespace {
const char* kRadio = "hw.flags = 0x42\nradio.spacing = 2, 1, 5, 3\n";

CERODictionary Area(test::SimScenario& s) {
  CERODictionary d;
  const auto& area = s.Receiver().RadioConfig();
  EXPECT_TRUE(d.Load(area.data(), area.size()));
  return d;
}

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }
}  // namespace

TEST(RadioCfgScenario, WritesTheChangeAndShowsTheAreaAgain) {
  test::SimScenario s(kRadio);
  int shown = 0;
  std::vector<std::string> spacingRows;
  s.ui.onDialog = [&](CDialog& d) {
    ASSERT_EQ(d.TemplateId(), CFrequencyDialog::IDD);
    ++shown;
    if (shown == 1) {
      EXPECT_EQ(d.FindControl(CFrequencyDialog::kTransmitFrequency)->text, "450125");
      EXPECT_EQ(d.FindControl(CFrequencyDialog::kTransmitPower)->text, "10");
      spacingRows = d.FindControl(CFrequencyDialog::kChannelSpacing)->items;
      d.FindControl(CFrequencyDialog::kTransmitFrequency)->text = "451000";
      d.FindControl(CFrequencyDialog::kTransmitPower)->text = "21";
      d.SendCommand(IDOK, BN_CLICKED);  // power out of range: the dialog stays
      EXPECT_FALSE(d.IsEnded());
      d.FindControl(CFrequencyDialog::kTransmitPower)->text = "15";
      d.FindControl(CFrequencyDialog::kChannelSpacing)->selection = 2;
    } else {
      EXPECT_EQ(d.FindControl(CFrequencyDialog::kTransmitFrequency)->text, "451000") << "the re-read area";
    }
    d.SendCommand(IDOK, BN_CLICKED);
  };
  CRadioCfgOperation op;
  EXPECT_EQ(s.Run(op), 1);
  EXPECT_EQ(shown, 2);
  EXPECT_EQ(spacingRows, (std::vector<std::string>{"2", "1", "3"}));
  ASSERT_EQ(s.ui.boxes.size(), 1u);
  EXPECT_EQ(s.ui.boxes[0].text, FormatString(945, "21", 0u, 20u));
  const CERODictionary area = Area(s);
  EXPECT_EQ(area.Get(CERODictionary::kTransmitFrequency), 451000000u);
  EXPECT_EQ(area.Get(CERODictionary::kReceiveFrequency), 450125000u);
  EXPECT_EQ(area.Get(CERODictionary::kTransmitPower), 15u);
  EXPECT_EQ(area.Get(CERODictionary::kChannelSpacing), 3u);
  EXPECT_EQ(area.Get(CERODictionary::kChannelCode), 0u) << "a transmitter keeps its channel code";
  const auto loader = s.Requests("loader");
  EXPECT_EQ(std::count(loader.begin(), loader.end(), 19), 2);
  EXPECT_EQ(s.window.Text(), AfxLoadString(75));
  EXPECT_TRUE(s.HasStatus(AfxLoadString(624)));
  EXPECT_TRUE(s.HasStatus(AfxLoadString(625)));
  EXPECT_EQ(s.window.progress.back(), 100);
  EXPECT_EQ(s.window.LastStatus(), AfxLoadString(76));
}

TEST(RadioCfgScenario, CancelWritesNothingAndReboots) {
  test::SimScenario s(kRadio);
  const auto before = s.Receiver().RadioConfig();
  s.ui.onDialog = [](CDialog& d) {
    d.FindControl(CFrequencyDialog::kTransmitFrequency)->text = "460000";
    d.SendCommand(IDCANCEL, BN_CLICKED);
  };
  CRadioCfgOperation op;
  EXPECT_EQ(s.Run(op), 2);
  EXPECT_EQ(s.Receiver().RadioConfig(), before);
  EXPECT_FALSE(s.Asked(19, "loader"));
  EXPECT_TRUE(s.Asked(4, "loader")) << "the monitor is left through a reboot";
  EXPECT_TRUE(s.HasStatus(AfxLoadString(625)));
}

TEST(RadioCfgScenario, WithoutTransmitterTheChannelIsReceiveOnly) {
  test::SimScenario s("hw.flags = 0x02\n");
  std::string power;
  s.ui.onDialog = [&](CDialog& d) {
    power = d.FindControl(CFrequencyDialog::kTransmitPower)->text;
    d.SendCommand(IDOK, BN_CLICKED);
  };
  CRadioCfgOperation op;
  EXPECT_EQ(s.Run(op), 1);
  EXPECT_EQ(power, "0");
  const CERODictionary area = Area(s);
  EXPECT_EQ(area.Get(CERODictionary::kTransmitPower), 0u);
  EXPECT_EQ(area.Get(CERODictionary::kChannelCode), 768u);
}

TEST(RadioCfgScenario, HoppingRadioEditsItsNetwork) {
  test::SimScenario s("hw.flags = 0x42\nradio.mode = 20\nradio.setting = 7\n");
  int shown = 0;
  s.ui.onDialog = [&](CDialog& d) {
    ASSERT_EQ(d.TemplateId(), CHoppingDialog::IDD);
    EXPECT_EQ(d.FindControl(CHoppingDialog::kMode)->text, FormatString(946, 20));
    if (++shown == 1) {
      EXPECT_EQ(d.FindControl(CHoppingDialog::kNetwork)->text, "7");
      d.FindControl(CHoppingDialog::kNetwork)->text = "65536";
      d.SendCommand(IDOK, BN_CLICKED);
      EXPECT_FALSE(d.IsEnded());
      d.FindControl(CHoppingDialog::kNetwork)->text = "300";
    }
    d.SendCommand(IDOK, BN_CLICKED);
  };
  CRadioCfgOperation op;
  EXPECT_EQ(s.Run(op), 1);
  EXPECT_EQ(shown, 2);
  EXPECT_EQ(Area(s).GetSetting(), 300u);
}

TEST(RadioCfgScenario, ModesWithoutDialogEndCancelledUntouched) {
  for (const char* mode : {"10", "11", "12", "40"}) {
    test::SimScenario s(std::string(kRadio) + "radio.mode = " + mode + "\n");
    const auto before = s.Receiver().RadioConfig();
    bool shown = false;
    s.ui.onDialog = [&](CDialog&) { shown = true; };
    CRadioCfgOperation op;
    EXPECT_EQ(s.Run(op), 2) << mode;
    EXPECT_FALSE(shown) << mode;
    EXPECT_EQ(s.Receiver().RadioConfig(), before) << mode;
  }
}

TEST(RadioCfgScenario, MonitorIsRebootedFirst) {
  test::SimScenario s(std::string(kRadio) + "mode = monitor\n");
  s.ui.onDialog = [](CDialog& d) { d.SendCommand(IDOK, BN_CLICKED); };
  CRadioCfgOperation op;
  EXPECT_EQ(s.Run(op), 1);
  EXPECT_TRUE(s.HasStatus(AfxLoadString(618)));
  const auto reports = s.Requests();
  ASSERT_FALSE(reports.empty());
  EXPECT_NE(std::find(reports.begin(), reports.end(), 0x4A), reports.end());
}

TEST(RadioCfgScenario, Mode7KeepsItsTrailingBlock) {
  test::SimScenario s(std::string(kRadio) + "radio.mode = 7\n");
  const auto before = s.Receiver().RadioConfig();
  int shown = 0;
  s.ui.onDialog = [&](CDialog& d) {
    if (++shown == 1) d.FindControl(CFrequencyDialog::kReceiveFrequency)->text = "449000";
    d.SendCommand(IDOK, BN_CLICKED);
  };
  CRadioCfgOperation op;
  EXPECT_EQ(s.Run(op), 1);
  const auto& after = s.Receiver().RadioConfig();
  ASSERT_EQ(after.size(), before.size());
  EXPECT_TRUE(std::equal(before.end() - 512, before.end(), after.end() - 512));
  EXPECT_EQ(Area(s).Get(CERODictionary::kReceiveFrequency), 449000000u);
}

TEST(RadioCfgScenario, FailuresCarryTheirCodes) {
  const struct {
    const char* profile;
    const char* code;
    bool dialog;
  } cases[] = {
      {"hw.flags = 0x20\n", "[820]", false},                          // modem only
      {"hw.flags = 0x00\nradio.config_size = 0\n", "[820]", false},   // nothing fitted
      {"radio.store_config = false\n", "[712]", true},                // write lost
      {"radio.dictionary = false\n", "[710]", false},                 // no settings
      {"radio.config_size = 512\n", "[817]", false},                 // area of another size
      {"fault = nak n=1 type=0x4A\n", "[707]", false},                // capability refused
      {"radio.pipe = nak\n", "[707]", true},                          // pipe closed
      {"radio.accept_config = false\n", "[818]", true},               // write refused
      {"product = QX1\n", "[709]", false},                            // another family
  };
  for (const auto& c : cases) {
    test::SimScenario s(std::string("hw.flags = 0x42\n") + c.profile);
    bool shown = false;
    s.ui.onDialog = [&](CDialog& d) {
      shown = true;
      d.FindControl(CFrequencyDialog::kTransmitPower)->text = "3";
      d.SendCommand(IDOK, BN_CLICKED);
    };
    CRadioCfgOperation op;
    EXPECT_EQ(s.Run(op), 0) << c.profile;
    EXPECT_EQ(shown, c.dialog) << c.profile;
    ASSERT_FALSE(s.ui.boxes.empty()) << c.profile;
    EXPECT_TRUE(Contains(s.ui.boxes.back().text, c.code)) << c.profile << s.ui.boxes.back().text;
    if (std::string(c.code) == "[820]") {
      EXPECT_FALSE(s.Asked(0x84)) << "no pipe without radio";
    }
  }
}

// Radio configuration against the virtual receiver.
#include <gtest/gtest.h>

#include "afx/Format.h"
#include "operations/ERODictionary.h"
#include "operations/FrequencyDialog.h"
#include "operations/FrequencyDialog2.h"
#include "operations/HoppingDialog.h"
#include "operations/PB2Dictionary.h"
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
      for (const char* power : {"", "21"}) {  // no number, out of range: the dialog stays
        d.FindControl(CFrequencyDialog::kTransmitPower)->text = power;
        d.SendCommand(IDOK, BN_CLICKED);
        EXPECT_FALSE(d.IsEnded()) << power;
      }
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
  ASSERT_EQ(s.ui.boxes.size(), 2u);
  EXPECT_EQ(s.ui.boxes[0].text, " is not a whole number from 0 to 20.");
  EXPECT_EQ(s.ui.boxes[1].text, "21 is not a whole number from 0 to 20.");
  const CERODictionary area = Area(s);
  EXPECT_EQ(area.Get(CERODictionary::kTransmitFrequency), 451000000u);
  EXPECT_EQ(area.Get(CERODictionary::kReceiveFrequency), 450125000u);
  EXPECT_EQ(area.Get(CERODictionary::kTransmitPower), 15u);
  EXPECT_EQ(area.Get(CERODictionary::kChannelSpacing), 3u);
  EXPECT_EQ(area.Get(CERODictionary::kChannelCode), 0u) << "a transmitter keeps its channel code";
  const auto loader = s.Requests("loader");
  EXPECT_EQ(std::count(loader.begin(), loader.end(), 19), 2);
  EXPECT_EQ(s.window.Text(), "Configure Radio");
  EXPECT_TRUE(s.HasStatus("Retrieving radio information..."));
  EXPECT_TRUE(s.HasStatus("Rebooting QZ7xx..."));
  EXPECT_EQ(s.window.progress.back(), 100);
  EXPECT_EQ(s.window.LastStatus(), "The radio was configured  successfully.");
}

// A cancelled dialog, and the modes that have no dialog, write nothing and
// leave the monitor through a reboot.
TEST(RadioCfgScenario, CancelAndModesWithoutDialogWriteNothing) {
  for (const char* mode : {"", "10", "11", "12", "40"}) {
    SCOPED_TRACE(mode);
    test::SimScenario s(std::string(kRadio) + (*mode ? std::string("radio.mode = ") + mode + "\n" : ""));
    const auto before = s.Receiver().RadioConfig();
    bool shown = false;
    s.ui.onDialog = [&](CDialog& d) {
      shown = true;
      if (auto* frequency = d.FindControl(CFrequencyDialog::kTransmitFrequency)) frequency->text = "460000";
      d.SendCommand(IDCANCEL, BN_CLICKED);
    };
    CRadioCfgOperation op;
    EXPECT_EQ(s.Run(op), 2);
    EXPECT_EQ(shown, *mode == '\0');
    EXPECT_EQ(s.Receiver().RadioConfig(), before);
    EXPECT_FALSE(s.Asked(19, "loader"));
    EXPECT_TRUE(s.Asked(4, "loader"));
    EXPECT_TRUE(s.HasStatus("Rebooting QZ7xx..."));
  }
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

TEST(RadioCfgScenario, MonitorIsRebootedFirst) {
  test::SimScenario s(std::string(kRadio) + "mode = monitor\n");
  s.ui.onDialog = [](CDialog& d) { d.SendCommand(IDOK, BN_CLICKED); };
  CRadioCfgOperation op;
  EXPECT_EQ(s.Run(op), 1);
  EXPECT_TRUE(s.HasStatus("Rebooting the QZ7xx receiver..."));
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

// ---------------------------------------------------------------- newer radio

namespace {
const char* kNewRadio = "product = QZ770\nhw.flags = 0x42\nradio.mode = 14\n";

CPB2Dictionary Settings(test::SimScenario& s) {
  CPB2Dictionary d;
  const auto& bytes = s.Receiver().RadioSettings();
  EXPECT_TRUE(d.Load(bytes.data(), bytes.size()));
  return d;
}

// Seconds on the afx clock of every entry whose note starts with `note`.
std::vector<double> Times(test::SimScenario& s, const std::string& note) {
  std::vector<double> out;
  for (const auto& e : s.Receiver().GetTranscript().Entries())
    if (e.note.rfind(note, 0) == 0) out.push_back(static_cast<double>(e.timeNs) / 1e9);
  return out;
}

// How long the host left the line alone after the first reset request.
double QuietAfterReset(test::SimScenario& s) {
  const std::vector<double> resets = Times(s, "request report 0x58");
  if (resets.empty()) return -1;
  for (const auto& e : s.Receiver().GetTranscript().Entries())
    if (e.kind == sim::Transcript::Kind::HostToReceiver && e.timeNs / 1e9 > resets[0] + 0.1)
      return static_cast<double>(e.timeNs) / 1e9 - resets[0];
  return s.Seconds() - resets[0];
}

const std::vector<std::uint8_t> kClosePipe{0x02, 0x00, 0x84, 0x02, 0x02, 0x00, 0x88, 0x03};
}  // namespace

TEST(NewRadioScenario, WritesOverThePipeAndShowsTheSettingsAgain) {
  // USB link (receiver port 16): the port is closed over the wait and reopened after a change.
  for (const char* link : {"", "port.number = 15\n"}) {
    test::SimScenario s(std::string(kNewRadio) + link);
    int shown = 0;
    s.ui.onDialog = [&](CDialog& d) {
      ASSERT_EQ(d.TemplateId(), CFrequencyDialog2::IDD);
      if (++shown == 1) {
        EXPECT_EQ(d.FindControl(CFrequencyDialog2::kTransmitTable)->text, "450125");
        EXPECT_EQ(d.FindControl(CFrequencyDialog2::kTransmitPower)->text, "10");
        d.FindControl(CFrequencyDialog2::kTransmitTable)->text = "451000, 452,x";
        d.SendCommand(IDOK, BN_CLICKED);  // not a number: the dialog stays
        EXPECT_FALSE(d.IsEnded());
        d.FindControl(CFrequencyDialog2::kTransmitTable)->text = "451000, 452500";
        d.FindControl(CFrequencyDialog2::kTransmitPower)->text = "15";
        d.FindControl(CFrequencyDialog2::kChannelCode)->selection = 4;
      } else {
        EXPECT_EQ(d.FindControl(CFrequencyDialog2::kTransmitTable)->text, "451000, 452500") << "read back";
      }
      d.SendCommand(IDOK, BN_CLICKED);
    };
    CRadioCfgOperation op;
    EXPECT_EQ(s.Run(op), 1) << link;
    EXPECT_EQ(shown, 2) << link;
    ASSERT_EQ(s.ui.boxes.size(), 1u) << link;
    EXPECT_EQ(s.ui.boxes[0].text, FormatString(945, "x", 1u, CFrequencyDialog::kMaxKhz));
    const CPB2Dictionary radio = Settings(s);
    EXPECT_EQ(radio.GetTable(CPB2Dictionary::kTransmitTable), (std::vector<UINT>{451000000, 452500000})) << link;
    EXPECT_EQ(radio.GetTable(CPB2Dictionary::kReceiveTable), (std::vector<UINT>{450125000})) << link;
    EXPECT_EQ(radio.Get(CPB2Dictionary::kTransmitPower), 15u) << link;
    EXPECT_EQ(radio.Get(CPB2Dictionary::kChannelCode), 512u) << link;
    EXPECT_EQ(Times(s, "radio settings written").size(), 2u) << "OK without a change still writes";
    EXPECT_EQ(s.Receiver().ResetModes().size(), 2u) << link;
    EXPECT_FALSE(s.Asked(0x87)) << "the monitor is not needed";
    // 50 s, then the quiet before the next break.
    EXPECT_GE(QuietAfterReset(s), 50.0) << link;
    EXPECT_LT(QuietAfterReset(s), 50.5) << link;
    const std::vector<double> resets = Times(s, "request report 0x58");
    ASSERT_EQ(resets.size(), 2u);
    EXPECT_NEAR(s.Seconds() - resets[1], 30.0, 0.1) << link;
    // Over USB the port is closed right after each reset and, after the change, reopened 50 s on.
    const std::vector<double> closed = Times(s, "host port closed");
    const std::vector<double> opened = Times(s, "host port opened");
    if (*link) {
      ASSERT_EQ(closed.size(), 2u);
      ASSERT_EQ(opened.size(), 2u);
      EXPECT_NEAR(closed[0], resets[0], 0.1);
      EXPECT_NEAR(opened[1], resets[0] + 50.0, 0.1);
      EXPECT_NEAR(closed[1], resets[1], 0.1);
    } else {
      EXPECT_EQ(closed.size(), 1u);
      EXPECT_EQ(opened.size(), 1u);
    }
    EXPECT_EQ(s.window.LastStatus(), "The radio was configured  successfully.");
  }
}

TEST(NewRadioScenario, CancelAfterAChangeKeepsTheWrittenSettings) {
  test::SimScenario s(kNewRadio);
  int shown = 0;
  s.ui.onDialog = [&](CDialog& d) {
    if (++shown == 1) {
      d.FindControl(CFrequencyDialog2::kReceiveTable)->text = "449000";
      d.SendCommand(IDOK, BN_CLICKED);
    } else {
      d.FindControl(CFrequencyDialog2::kReceiveTable)->text = "448000";
      d.SendCommand(IDCANCEL, BN_CLICKED);
    }
  };
  CRadioCfgOperation op;
  EXPECT_EQ(s.Run(op), 2);
  EXPECT_EQ(shown, 2);
  EXPECT_EQ(Settings(s).GetTable(CPB2Dictionary::kReceiveTable), (std::vector<UINT>{449000000}));
  EXPECT_EQ(s.Receiver().ResetModes().size(), 1u) << "a cancel resets nothing";
  EXPECT_TRUE(s.HostSent(kClosePipe));
}

TEST(NewRadioScenario, ModesChooseTheDialog) {
  const struct {
    const char* profile;
    bool dialog;
    DWORD power, code;  // what the radio holds afterwards
  } cases[] = {
      {"radio.mode = 13\n", false, 10, 0},
      {"radio.mode = 17\n", false, 10, 0},
      {"radio.mode = 4\n", false, 10, 0},
      {"radio.mode = 16\n", true, 10, 0},
      {"radio.mode = 12\n", true, 10, 0},
      {"radio.mode = 12\nhw.flags = 0x02\n", true, 0, 768},  // receive only: power off, channel code 768
  };
  for (const auto& c : cases) {
    test::SimScenario s(std::string(kNewRadio) + c.profile);
    const auto before = s.Receiver().RadioSettings();
    std::string power;
    s.ui.onDialog = [&](CDialog& d) {
      power = d.FindControl(CFrequencyDialog2::kTransmitPower)->text;
      d.SendCommand(IDOK, BN_CLICKED);
    };
    CRadioCfgOperation op;
    EXPECT_EQ(s.Run(op), c.dialog ? 1 : 2) << c.profile;
    EXPECT_EQ(!power.empty(), c.dialog) << c.profile;
    if (c.dialog) {
      EXPECT_EQ(power, std::to_string(c.power)) << c.profile;
    } else {
      EXPECT_EQ(s.Receiver().RadioSettings(), before) << c.profile;
      EXPECT_TRUE(s.HostSent(kClosePipe)) << c.profile;
    }
    EXPECT_EQ(Settings(s).Get(CPB2Dictionary::kTransmitPower), c.power) << c.profile;
    EXPECT_EQ(Settings(s).Get(CPB2Dictionary::kChannelCode), c.code) << c.profile;
  }
}

TEST(NewRadioScenario, PipeFailuresAre707) {
  const struct {
    const char* profile;
    bool dialog;
    bool reset;  // the receiver is reset after a failed read
  } cases[] = {
      {"radio.pipe = nak\n", false, false},
      {"radio.pipe = silent\n", false, false},
      {"fault = silence n=1 type=0x77\n", false, true},          // no dictionary
      {"fault = corrupt-reply n=1 type=0x77\n", false, true},    // garbled
      {"fault = nak n=2 type=0x77\n", true, false},              // write refused
  };
  for (const auto& c : cases) {
    test::SimScenario s(std::string(kNewRadio) + c.profile);
    const auto before = s.Receiver().RadioSettings();
    bool shown = false;
    s.ui.onDialog = [&](CDialog& d) {
      shown = true;
      d.FindControl(CFrequencyDialog2::kTransmitPower)->text = "3";
      d.SendCommand(IDOK, BN_CLICKED);
    };
    CRadioCfgOperation op;
    EXPECT_EQ(s.Run(op), 0) << c.profile;
    EXPECT_EQ(shown, c.dialog) << c.profile;
    ASSERT_FALSE(s.ui.boxes.empty()) << c.profile;
    EXPECT_TRUE(Contains(s.ui.boxes.back().text, "[707]")) << c.profile << s.ui.boxes.back().text;
    EXPECT_EQ(s.Receiver().RadioSettings(), before) << c.profile;
    EXPECT_EQ(s.HostSent(kClosePipe), c.reset) << c.profile;
    EXPECT_EQ(s.Receiver().ResetModes().size(), c.reset ? 1u : 0u) << c.profile;
  }
}

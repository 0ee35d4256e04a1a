// Radio configuration against the virtual receiver.
#include <gtest/gtest.h>

#include "operations/ERODictionary.h"
#include "operations/FrequencyDialog.h"
#include "operations/FrequencyDialog2.h"
#include "operations/HoppingDialog.h"
#include "operations/PB2Dictionary.h"
#include "operations/RadioCfgOperation.h"
#include "support/SimScenario.h"

using test::Ok;
using test::Text;

namespace {
const char* kRadio = "hw.flags = 0x42\nradio.spacing = 2, 1, 5, 3\n";

CERODictionary Area(test::SimScenario& s) {
  CERODictionary d;
  const auto& area = s.Receiver().RadioConfig();
  EXPECT_TRUE(d.Load(area.data(), area.size()));
  return d;
}

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

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

TEST(RadioCfgScenario, WritesTheChangeAndShowsTheAreaAgain) {
  test::SimScenario s(kRadio);
  int shown = 0;
  std::vector<std::string> spacingRows;
  s.ui.onDialog = [&](CDialog& d) {
    ASSERT_EQ(d.TemplateId(), CFrequencyDialog::IDD);
    ++shown;
    if (shown == 1) {
      EXPECT_EQ(Text(d, CFrequencyDialog::kTransmitFrequency), "450125");
      EXPECT_EQ(Text(d, CFrequencyDialog::kTransmitPower), "10");
      spacingRows = d.FindControl(CFrequencyDialog::kChannelSpacing)->items;
      Text(d, CFrequencyDialog::kTransmitFrequency) = "451000";
      for (const char* power : {"", "21"}) {  // no number, out of range: the dialog stays
        Text(d, CFrequencyDialog::kTransmitPower) = power;
        Ok(d);
        EXPECT_FALSE(d.IsEnded()) << power;
      }
      Text(d, CFrequencyDialog::kTransmitPower) = "15";
      d.FindControl(CFrequencyDialog::kChannelSpacing)->selection = 2;
    } else {
      EXPECT_EQ(Text(d, CFrequencyDialog::kTransmitFrequency), "451000") << "the re-read area";
    }
    Ok(d);
  };
  EXPECT_EQ(s.Run<CRadioCfgOperation>(), 1);
  EXPECT_EQ(shown, 2);
  EXPECT_EQ(spacingRows, (std::vector<std::string>{"2", "1", "3"}));
  EXPECT_EQ(s.BoxTexts(), (std::vector<std::string>{" is not a whole number from 0 to 20.",
                                                     "21 is not a whole number from 0 to 20."}));
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
    EXPECT_EQ(s.Run<CRadioCfgOperation>(), 2);
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
    power = Text(d, CFrequencyDialog::kTransmitPower);
    Ok(d);
  };
  EXPECT_EQ(s.Run<CRadioCfgOperation>(), 1);
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
    EXPECT_EQ(Text(d, CHoppingDialog::kMode), "Radio mode 20");
    if (++shown == 1) {
      EXPECT_EQ(Text(d, CHoppingDialog::kNetwork), "7");
      Text(d, CHoppingDialog::kNetwork) = "65536";
      Ok(d);
      EXPECT_FALSE(d.IsEnded());
      Text(d, CHoppingDialog::kNetwork) = "300";
    }
    Ok(d);
  };
  EXPECT_EQ(s.Run<CRadioCfgOperation>(), 1);
  EXPECT_EQ(shown, 2);
  EXPECT_EQ(Area(s).GetSetting(), 300u);
}

TEST(RadioCfgScenario, MonitorIsRebootedFirst) {
  test::SimScenario s(std::string(kRadio) + "mode = monitor\n");
  s.ui.onDialog = [](CDialog& d) { Ok(d); };
  EXPECT_EQ(s.Run<CRadioCfgOperation>(), 1);
  EXPECT_TRUE(s.HasStatus("Rebooting the QZ7xx receiver..."));
  EXPECT_TRUE(s.Asked(0x4A));
}

TEST(RadioCfgScenario, Mode7KeepsItsTrailingBlock) {
  test::SimScenario s(std::string(kRadio) + "radio.mode = 7\n");
  const auto before = s.Receiver().RadioConfig();
  int shown = 0;
  s.ui.onDialog = [&](CDialog& d) {
    if (++shown == 1) Text(d, CFrequencyDialog::kReceiveFrequency) = "449000";
    Ok(d);
  };
  EXPECT_EQ(s.Run<CRadioCfgOperation>(), 1);
  const auto& after = s.Receiver().RadioConfig();
  ASSERT_EQ(after.size(), before.size());
  EXPECT_TRUE(std::equal(before.end() - 512, before.end(), after.end() - 512));
  EXPECT_EQ(Area(s).Get(CERODictionary::kReceiveFrequency), 449000000u);
}

// Failures carry their codes on either radio; the newer radio's settings are
// left as they were, and it is reset only after a failed read.
TEST(RadioCfgScenario, FailuresCarryTheirCodes) {
  const std::string old = "hw.flags = 0x42\n";
  const struct {
    std::string profile;
    const char* code;
    bool dialog;
    int resets;  // -1: the older radio
  } cases[] = {
      {old + "hw.flags = 0x20\n", "[820]", false, -1},                         // modem only
      {old + "hw.flags = 0x00\nradio.config_size = 0\n", "[820]", false, -1},  // nothing fitted
      {old + "radio.store_config = false\n", "[712]", true, -1},                // write lost
      {old + "radio.dictionary = false\n", "[710]", false, -1},                 // no settings
      {old + "radio.config_size = 512\n", "[817]", false, -1},                  // area of another size
      {old + "fault = nak n=1 type=0x4A\n", "[707]", false, -1},                // capability refused
      {old + "radio.pipe = nak\n", "[707]", true, -1},                          // pipe closed
      {old + "radio.accept_config = false\n", "[818]", true, -1},               // write refused
      {old + "product = QX1\n", "[709]", false, -1},                            // another family
      {kNewRadio + std::string("radio.pipe = nak\n"), "[707]", false, 0},
      {kNewRadio + std::string("radio.pipe = silent\n"), "[707]", false, 0},
      {kNewRadio + std::string("fault = silence n=1 type=0x77\n"), "[707]", false, 1},        // no dictionary
      {kNewRadio + std::string("fault = corrupt-reply n=1 type=0x77\n"), "[707]", false, 1},  // garbled
      {kNewRadio + std::string("fault = nak n=2 type=0x77\n"), "[707]", true, 0},             // write refused
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.profile);
    test::SimScenario s(c.profile);
    const auto before = s.Receiver().RadioSettings();
    bool shown = false;
    s.ui.onDialog = [&](CDialog& d) {
      shown = true;
      afx::Control* power = d.FindControl(CFrequencyDialog::kTransmitPower);
      (power ? power : d.FindControl(CFrequencyDialog2::kTransmitPower))->text = "3";
      Ok(d);
    };
    EXPECT_EQ(s.Run<CRadioCfgOperation>(), 0);
    EXPECT_EQ(shown, c.dialog);
    ASSERT_FALSE(s.ui.boxes.empty());
    EXPECT_TRUE(Contains(s.ui.boxes.back().text, c.code)) << s.ui.boxes.back().text;
    if (std::string(c.code) == "[820]") {
      EXPECT_FALSE(s.Asked(0x84)) << "no pipe without radio";
    }
    if (c.resets >= 0) {
      EXPECT_EQ(s.Receiver().RadioSettings(), before);
      EXPECT_EQ(s.HostSent(kClosePipe), c.resets == 1);
      EXPECT_EQ(s.Receiver().ResetModes().size(), static_cast<size_t>(c.resets));
    }
  }
}


TEST(NewRadioScenario, WritesOverThePipeAndShowsTheSettingsAgain) {
  // USB link (receiver port 16): the port is closed over the wait and reopened after a change.
  for (const char* link : {"", "port.number = 15\n"}) {
    test::SimScenario s(std::string(kNewRadio) + link);
    int shown = 0;
    s.ui.onDialog = [&](CDialog& d) {
      ASSERT_EQ(d.TemplateId(), CFrequencyDialog2::IDD);
      if (++shown == 1) {
        EXPECT_EQ(Text(d, CFrequencyDialog2::kTransmitTable), "450125");
        EXPECT_EQ(Text(d, CFrequencyDialog2::kTransmitPower), "10");
        Text(d, CFrequencyDialog2::kTransmitTable) = "451000, 452,x";
        Ok(d);  // not a number: the dialog stays
        EXPECT_FALSE(d.IsEnded());
        Text(d, CFrequencyDialog2::kTransmitTable) = "451000, 452500";
        Text(d, CFrequencyDialog2::kTransmitPower) = "15";
        d.FindControl(CFrequencyDialog2::kChannelCode)->selection = 4;
      } else {
        EXPECT_EQ(Text(d, CFrequencyDialog2::kTransmitTable), "451000, 452500") << "read back";
      }
      Ok(d);
    };
    EXPECT_EQ(s.Run<CRadioCfgOperation>(), 1) << link;
    EXPECT_EQ(shown, 2) << link;
    EXPECT_EQ(s.BoxTexts(), std::vector<std::string>{"x is not a whole number from 1 to 4294967."}) << link;
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
      Text(d, CFrequencyDialog2::kReceiveTable) = "449000";
      Ok(d);
    } else {
      Text(d, CFrequencyDialog2::kReceiveTable) = "448000";
      d.SendCommand(IDCANCEL, BN_CLICKED);
    }
  };
  EXPECT_EQ(s.Run<CRadioCfgOperation>(), 2);
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
      power = Text(d, CFrequencyDialog2::kTransmitPower);
      Ok(d);
    };
    EXPECT_EQ(s.Run<CRadioCfgOperation>(), c.dialog ? 1 : 2) << c.profile;
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

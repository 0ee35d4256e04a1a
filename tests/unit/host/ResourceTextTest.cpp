// What a person reads on the console: resource texts without their
// mnemonics, file filters as choices, inputs by their labels; and the rate
// and time left beside a transfer's bar.
#include "host/ResourceText.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "hostlib/TransferMeter.h"

TEST(ResourceTextTest, CaptionsFiltersAndLabelsReadAsAPersonReadsThem) {
  const std::pair<const char*, const char*> captions[] = {
      {"&Available Software", "Available Software"},
      {"Install static IP address && hostname from clone file", "Install static IP address & hostname from clone file"},
      {"&&&Add Entry", "&Add Entry"},
      {"Trailing &", "Trailing &"},
      {"Cancel", "Cancel"},
  };
  for (const auto& [caption, plain] : captions) EXPECT_EQ(ResourceText::Plain(caption), plain) << caption;

  struct Filter {
    const char* filter;
    std::vector<std::string> choices;  // label=patterns
  };
  const Filter filters[] = {
      {"IMG Files (*.img,*.timg)|*.img;*.timg|All files (*.*)|*.*||",
       {"IMG Files (*.img,*.timg)=*.img;*.timg", "All files (*.*)=*.*"}},
      {"XML File [*.xml]|*.xml|All Files [*.*]|*.*||", {"XML File [*.xml]=*.xml", "All Files [*.*]=*.*"}},
      {"Text|*.txt", {"Text=*.txt"}},
      {"Dangling", {"Dangling="}},
      {"", {}},
  };
  for (const Filter& f : filters) {
    std::vector<std::string> got;
    for (const auto& c : ResourceText::FilterChoices(f.filter)) got.push_back(c.label + "=" + c.patterns);
    EXPECT_EQ(got, f.choices) << f.filter;
  }

  // The register dialog's controls in tab order; a label belongs to the input after it.
  std::vector<afx::Control> controls;
  for (const auto& [kind, text] : std::vector<std::pair<std::string, std::string>>{
           {"groupbox", "Firmware Information"}, {"static", "&Description:"}, {"edit", ""}, {"static", "&Path:"},
           {"edit", ""}, {"button", "&Browse..."}, {"groupbox", "&Available Software"}, {"listbox", ""}}) {
    afx::Control c;
    c.kind = kind;
    c.text = text;
    controls.push_back(c);
  }
  const char* labels[] = {"", "", "Description", "", "Path", "", "", "Available Software"};
  for (size_t i = 0; i < controls.size(); ++i) {
    EXPECT_EQ(ResourceText::LabelOf(controls, i), labels[i]) << i;
    EXPECT_EQ(ResourceText::IsLabel(controls, i), i + 1 < controls.size() && *labels[i + 1] != '\0') << i;
  }
}

TEST(TransferMeterTest, RateAndTimeLeftComeFromTheLineAndTheBarsOwnPace) {
  struct Step {
    int percent;
    double seconds;
    std::uint64_t bytes;
    double rate, left;  // -1: not known
  };
  const Step steps[] = {
      {0, 0, 0, -1, -1},      // nothing yet
      {0, 20, 40, -1, -1},    // connecting: the bar stands, a few bytes cross
      {1, 21, 1040, 1040.0 / 21, -1},  // the first step starts the pace; the rate spans the sparse reports
      {11, 31, 11040, 1000, 89},       // 10 % in 10 s; 10000 bytes over the last 10 s
      {50, 70, 50040, 1000, 50},
      {50, 90, 50100, -1, 69.0 / 49 * 50},  // the receiver installs: no transfer on the line, the pace slows
      {20, 91, 50100, -1, -1},              // a new phase: the bar fell back
      {30, 101, 50100, -1, -1},
      {40, 111, 50100, -1, 60},
      {100, 120, 50100, -1, -1},
  };
  TransferMeter meter;
  for (const Step& s : steps) {
    SCOPED_TRACE(std::to_string(s.percent) + "% at " + std::to_string(s.seconds) + " s");
    const TransferRate r = meter.Update(s.percent, static_cast<std::int64_t>(s.seconds * 1e9), s.bytes);
    EXPECT_NEAR(r.bytesPerSecond, s.rate, 1e-6);
    EXPECT_NEAR(r.secondsLeft, s.left, 1e-6);
  }
}

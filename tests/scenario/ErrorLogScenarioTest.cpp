// "View error log" against the virtual receiver, in both of its modes.
#include <gtest/gtest.h>

#include "afx/Module.h"
#include "operations/ErrorLogDlg.h"
#include "operations/RetrieveErrorLogOperation.h"
#include "support/SimScenario.h"

namespace {

constexpr const char* kTwoEntries =
    "errorlog.entry = 0x10, 1, 2, 0x02440000, 0x20000000, 1, 0, 412, 2016, 3, 7, 3600000, 2000, 55, 0x2000FF00\n"
    "errorlog.entry = 0x70080001, 3, 4, 0x5, 0x6, 2, 0, 412, 2016, 3, 7, 7200000, 2000, 66, 0x2000FF00\n";

struct Seen {
  std::vector<UINT> dialogs;
  std::vector<std::string> lines;
  bool clearVisible = false;
};

void Watch(test::SimScenario& s, Seen& seen, std::function<void(CDialog&)> more = {}) {
  s.ui.onDialog = [&seen, more](CDialog& d) {
    seen.dialogs.push_back(d.TemplateId());
    if (d.TemplateId() == CErrorLogDlg::IDD) {
      seen.lines = d.FindControl(CErrorLogDlg::IDC_LIST)->items;
      seen.clearVisible = d.FindControl(CErrorLogDlg::IDC_CLEAR)->visible;
    }
    if (more) more(d);
  };
}

TEST(ErrorLogScenario, ApplicationListsHighestIndexFirstAndClearsInBothForms) {
  for (const char* form : {"true", "false"}) {
    SCOPED_TRACE(form);
    test::SimScenario s(std::string(kTwoEntries) + "errorlog.long_form = " + form + "\n");
    CRetrieveErrorLogOperation op;
    Seen seen;
    s.ui.answers = {IDYES};
    std::vector<std::string> after{"not cleared"};
    Watch(s, seen, [&after](CDialog& d) {
      d.SendCommand(CErrorLogDlg::IDC_COPY_ALL, BN_CLICKED);
      d.SendCommand(CErrorLogDlg::IDC_CLEAR, BN_CLICKED);
      after = d.FindControl(CErrorLogDlg::IDC_LIST)->items;
    });
    EXPECT_EQ(s.Run(op), 1);
    EXPECT_EQ(seen.dialogs, std::vector<UINT>{138});
    ASSERT_EQ(seen.lines.size(), 2u);
    EXPECT_EQ(seen.lines[0].rfind("Radio Error:\t0x70080001  At time: ", 0), 0u) << seen.lines[0];
    EXPECT_EQ(seen.lines[1].rfind("Startup Error:\t0x00000010  At time: ", 0), 0u) << seen.lines[1];
    EXPECT_TRUE(seen.clearVisible);
    // The long form carries the stack pointer; the short one does not.
    EXPECT_EQ(s.ui.clipboard.find("Stack Pointer: 0x2000FF00") != std::string::npos, std::string(form) == "true");
    EXPECT_NE(s.ui.clipboard.find("Software version 4.12 Software date: 3/7/2016"), std::string::npos);
    EXPECT_EQ(s.window.Text(), "Retrieve Error Log");
    EXPECT_EQ(s.window.LastStatus(), "The error log was retrieved successfully.");
    EXPECT_TRUE(after.empty());
    EXPECT_EQ(s.Receiver().ErrorLogCount(), 0u);
    EXPECT_EQ(s.BoxTexts(), std::vector<std::string>{"Clearing the error log will delete all the errors logged to "
                                                      "the QZ7xx.\nDo you wish to continue with the clear operation?"})
        << "only the question before clearing";
  }
}

TEST(ErrorLogScenario, EmptyLogIsAMessageNotADialog) {
  for (const char* mode : {"application", "monitor"}) {
    SCOPED_TRACE(mode);
    // In the monitor an image of empty and deleted slots counts as empty.
    auto profile = test::SimScenario::ParseProfile(std::string("mode = ") + mode +
                                                   "\nerrorlog.entry = 1,1,1,1,1,1,1,100,2020,1,1,0,100,0,0,0xF8\n");
    if (std::string(mode) == "application") profile.errorLog.clear();
    test::SimScenario s(profile);
    CRetrieveErrorLogOperation op;
    Seen seen;
    Watch(s, seen);
    EXPECT_EQ(s.Run(op), 1);
    EXPECT_TRUE(seen.dialogs.empty());
    ASSERT_EQ(s.ui.boxes.size(), 1u);
    EXPECT_EQ(s.ui.boxes[0].text, "There are no errors in the error log of the QZ7xx!");
    EXPECT_EQ(s.ui.boxes[0].caption, "Retrieve Error Log");
    EXPECT_EQ(s.ui.boxes[0].flags, MB_OK | MB_ICONEXCLAMATION | MB_SETFOREGROUND);
  }
}

TEST(ErrorLogScenario, MonitorReadsTheImageAndRebootsAfterwards) {
  for (const bool diagnostic : {false, true}) {
    for (const int version : {1, 2, 3}) {
      SCOPED_TRACE(version);
      test::SimScenario s(std::string("mode = monitor\n") + kTwoEntries +
                          "errorlog.entry = 0x99,1,1,1,1,3,1,100,2020,1,1,0,100,0,0,0xF8\n" +
                          "errorlog.image_version = " + std::to_string(version) + "\n");
      s.ui.ctrlAlt = diagnostic;
      CRetrieveErrorLogOperation op;
      Seen seen;
      Watch(s, seen);
      EXPECT_EQ(s.Run(op), 1);
      EXPECT_EQ(seen.dialogs, std::vector<UINT>{138});
      ASSERT_EQ(seen.lines.size(), diagnostic ? 3u : 2u);
      EXPECT_EQ(seen.lines[0].rfind("Startup Error:\t0x00000010", 0), 0u);
      if (diagnostic) {
        EXPECT_NE(seen.lines[2].find("  * DELETED *"), std::string::npos);
      }
      EXPECT_FALSE(seen.clearVisible);
      EXPECT_TRUE(s.HasStatus("Rebooting the QZ7xx receiver..."));
      s.Settle(20000);
      EXPECT_EQ(s.Receiver().Mode(), sim::ReceiverMode::Application);
    }
  }
}

TEST(ErrorLogScenario, FailuresNameTheirCode) {
  const char* message =
      "QZ7xx failure! [708] - There was an error communicating with the QZ7xx on COM7.\n\nRestart the QZ7xx and try "
      "again.";
  // The count goes unanswered; an entry is refused.
  for (const char* profile : {"fault = silence type=0x91 count=0\n", "fault = nak n=3 type=0x91\nerrorlog.long_form = false\n"}) {
    SCOPED_TRACE(profile);
    test::SimScenario s(std::string(kTwoEntries) + profile);
    EXPECT_EQ(s.Run<CRetrieveErrorLogOperation>(), 0);
    EXPECT_TRUE(s.OneBoxWith(message));
    EXPECT_EQ(s.window.LastStatus(), "There was a failure with the operation!");
  }
}

}  // namespace

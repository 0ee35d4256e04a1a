// The dispatcher and the operation base, with operations made for the test.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "afx/Exception.h"
#include "afx/Module.h"
#include "device/LSDeviceException.h"
#include "plugin/Dispatch.h"
#include "plugin/GarnexApp.h"
#include "plugin/Operation.h"
#include "plugin/Progress.h"
#include "plugin/ProgressPipe.h"
#include "support/RecordingWindow.h"
#include "support/ScriptedUi.h"

namespace {

class ScriptedOperation : public COperation {
 public:
  explicit ScriptedOperation(std::function<bool(OperationParams*)> run) : COperation(0), run_(std::move(run)) {}
  const char* GetName() const override { return "test"; }
  const char* GetDescription() const override { return "test operation"; }
  bool Run(OperationParams* params) override { return run_(params); }
  bool GetText(unsigned kind, char* buffer, unsigned length) override {
    if (kind == TEXT_SUCCESS) {
      CopyText(buffer, "It worked.", length);
      return true;
    }
    return COperation::GetText(kind, buffer, length);
  }

 private:
  std::function<bool(OperationParams*)> run_;
};

class SerialLikeException : public CException {
 public:
  BOOL GetErrorMessage(char* buffer, UINT maxLen, UINT* = nullptr) const override {
    std::snprintf(buffer, maxLen, "COM Failure! [301] on COM4");
    return TRUE;
  }
};

}  // namespace

TEST(DispatchTest, OutcomesOfARun) {
  AFX_MANAGE_STATE(AfxGetStaticModuleState());
  struct Case {
    const char* name;
    std::function<bool(OperationParams*)> run;
    int want;
    const char* wantStatus;  // nullptr: no status at all
    size_t wantBoxes;
  };
  const Case cases[] = {
      {"success", [](OperationParams*) { return true; }, 1, "It worked.", 0},
      {"refused", [](OperationParams*) { return false; }, 0, nullptr, 0},
      {"cancelled", [](OperationParams*) -> bool { AfxThrowUserException(); }, 2, "The operation was canceled.", 0},
      {"failure already shown", [](OperationParams*) -> bool { throw CLSDeviceException(800, 4, true); }, 0,
       "There was a failure with the operation!", 0},
      {"cancelled by the event",
       [](OperationParams* p) {
         SetEvent(p->cancelEvent);
         CheckCancel(*p);
         return true;
       },
       2, "The operation was canceled.", 0},
      {"device failure", [](OperationParams*) -> bool { throw SerialLikeException(); }, 0,
       "There was a failure with the operation!", 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScriptedUi ui;
    ScopedUi scope(ui);
    RecordingWindow window;
    afx::Event cancel;
    OperationParams params{4, 0, &window, &cancel};
    ScriptedOperation op(c.run);
    EXPECT_EQ(RunOperation(&op, &params), c.want);
    EXPECT_EQ(window.statuses, c.wantStatus ? std::vector<std::string>{c.wantStatus} : std::vector<std::string>{});
    ASSERT_EQ(ui.boxes.size(), c.wantBoxes);
    if (c.wantBoxes) {
      EXPECT_EQ(std::make_tuple(ui.boxes[0].text, ui.boxes[0].flags, ui.boxes[0].caption),
                std::make_tuple("DevQZ7xx Version: " + GetGarnexApp().Version() + "\n\nCOM Failure! [301] on COM4",
                                0x10030u, std::string(AfxGetStaticModuleState()->m_pszAppName)));
    }
  }
}

TEST(OperationBaseTest, GetTextKinds) {
  AFX_MANAGE_STATE(AfxGetStaticModuleState());
  ScriptedOperation op([](OperationParams*) { return true; });
  char buffer[128];
  for (unsigned kind : {0u, 2u, 4u}) {
    std::strcpy(buffer, "dirty");
    EXPECT_FALSE(op.COperation::GetText(kind, buffer, sizeof buffer)) << kind;
    EXPECT_STREQ(buffer, "") << kind;
  }
  std::memset(buffer, 0, sizeof buffer);
  EXPECT_TRUE(op.GetText(TEXT_CONNECT, buffer, sizeof buffer - 1));
  EXPECT_STREQ(buffer, "Connect the QZ7xx to COM%d of the PC using the DB9 cable.");
}

TEST(ProgressPipeTest, DropsUntilEnabledThenTruncates) {
  RecordingWindow window;
  OperationParams params{1, 0, &window, nullptr};
  CProgressPipe pipe(&params);
  pipe.ReportProgress(12.5);
  EXPECT_TRUE(window.progress.empty());
  pipe.Enable();
  pipe.ReportProgress(99.9);
  pipe.ReportProgress(0.4);
  EXPECT_EQ(window.progress, (std::vector<int>{99, 0}));
  EXPECT_EQ(pipe.Query(), 0);
}

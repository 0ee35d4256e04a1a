// A whole operation against the virtual receiver in virtual time: the
// plug-in's module state, a registry in a temporary folder, a scripted
// presenter, a recording host window and a receiver attached as a COM port.
#pragma once
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "afx/Clock.h"
#include "afx/Module.h"
#include "afx/Window.h"
#include "plugin/Dispatch.h"
#include "plugin/GarnexApp.h"
#include "sim/Profile.h"
#include "sim/SimAttach.h"
#include "support/RecordingWindow.h"
#include "support/ScriptedUi.h"
#include "support/TestRegistry.h"

namespace testsupport {

class SimReceiver {
 public:
  explicit SimReceiver(const std::string& profileText = "") {
    std::string error;
    EXPECT_TRUE(sim::Profile::Parse(profileText, &profile_, &error)) << error;
  }
  ~SimReceiver() {
    if (attachment_) sim::Detach(attachment_);
  }
  SimReceiver(const SimReceiver&) = delete;
  SimReceiver& operator=(const SimReceiver&) = delete;

  sim::Profile& Profile() { return profile_; }
  // Attaches the receiver (once) and runs `operation` through the dispatcher.
  int Run(COperation& operation) {
    if (!attachment_) {
      std::string error;
      attachment_ = sim::Attach(profile_, 3, &error);
      EXPECT_TRUE(attachment_) << error;
      if (!attachment_) return -1;
    }
    OperationParams params{attachment_->ComPort(), 0, &window, &cancel};
    return RunOperation(&operation, &params);
  }
  sim::VirtualReceiver& Receiver() { return attachment_->Receiver(); }
  int Com() const { return attachment_ ? attachment_->ComPort() : 0; }

  AFX_MAINTAIN_STATE keep{AfxGetStaticModuleState()};
  TestRegistry registry;
  afx::VirtualClock clock;
  afx::ScopedClock scopedClock{clock};
  ScriptedUi ui;
  ScopedUi scopedUi{ui};
  RecordingWindow window;
  afx::Event cancel;

 private:
  sim::Profile profile_;
  std::shared_ptr<sim::SimAttachment> attachment_;
};

}  // namespace testsupport

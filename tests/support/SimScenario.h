// A whole operation against the virtual receiver in virtual time: a
// receiver attached on a COM number, a temporary registry, a scripted UI and
// a recording host window. Build one per test.
#pragma once
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "afx/Clock.h"
#include "afx/Module.h"
#include "afx/Registry.h"
#include "afx/Window.h"
#include "plugin/Dispatch.h"
#include "plugin/GarnexApp.h"
#include "plugin/Operation.h"
#include "sim/SimAttach.h"
#include "support/RecordingWindow.h"
#include "support/ScriptedUi.h"
#include "support/TempDir.h"

namespace test {

class SimScenario {
 public:
  static constexpr int kCom = 7;

  explicit SimScenario(const std::string& profileText = "") {
    afx::SetRegistryPath(dir_.File("registry.reg"));
    sim::Profile profile;
    std::string error;
    if (!sim::Profile::Parse(profileText, &profile, &error)) throw std::runtime_error("profile: " + error);
    rx_ = sim::Attach(profile, kCom, &error);
    if (!rx_) throw std::runtime_error("attach: " + error);
    params = OperationParams{rx_->ComPort(), 0, &window, &cancel};
  }
  ~SimScenario() { sim::Detach(rx_); }
  SimScenario(const SimScenario&) = delete;
  SimScenario& operator=(const SimScenario&) = delete;

  int Run(COperation& operation) { return RunOperation(&operation, &params); }
  sim::VirtualReceiver& Receiver() { return rx_->Receiver(); }
  int Com() const { return rx_->ComPort(); }
  double Seconds() { return static_cast<double>(clock_.NowNs()) / 1e9; }
  void AdvanceMs(std::int64_t ms) { clock_.AdvanceMs(ms); }

  // The report types (or loader commands) the receiver was asked for, in order.
  std::vector<int> Requests(const char* family = "report") const {
    std::vector<int> out;
    const std::string prefix = std::string("request ") + family + " ";
    for (const auto& e : rx_->Receiver().GetTranscript().Entries())
      if (e.note.rfind(prefix, 0) == 0) out.push_back(std::stoi(e.note.substr(prefix.size()), nullptr, 0));
    return out;
  }
  bool Asked(int type, const char* family = "report") const {
    for (int t : Requests(family))
      if (t == type) return true;
    return false;
  }
  // Every byte the host wrote, run together.
  std::vector<std::uint8_t> HostBytes() const {
    std::vector<std::uint8_t> out;
    for (const auto& e : rx_->Receiver().GetTranscript().Entries())
      if (e.kind == sim::Transcript::Kind::HostToReceiver) out.insert(out.end(), e.bytes.begin(), e.bytes.end());
    return out;
  }
  bool HostSent(const std::vector<std::uint8_t>& frame) const {
    const auto bytes = HostBytes();
    return std::search(bytes.begin(), bytes.end(), frame.begin(), frame.end()) != bytes.end();
  }
  bool HasStatus(const std::string& text) const {
    for (const auto& s : window.statuses)
      if (s == text) return true;
    return false;
  }

 private:
  testsupport::TempDir dir_;
  afx::VirtualClock clock_;
  afx::ScopedClock scopedClock_{clock_};
  AFX_MAINTAIN_STATE state_{AfxGetStaticModuleState()};

 public:
  ScriptedUi ui;

 private:
  ScopedUi scopedUi_{ui};

 public:
  RecordingWindow window;
  afx::Event cancel;

 private:
  std::shared_ptr<sim::SimAttachment> rx_;

 public:
  OperationParams params{};
};

}  // namespace test

// A whole operation against the virtual receiver in virtual time: a
// receiver attached on a COM number, a temporary registry, a scripted UI and
// a recording host window. Build one per test, from profile text, or from a
// parsed profile where a test needs what the text cannot say.
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
#include "device/GarnexInterface.h"
#include "firmware/FirmwareEntryManager.h"
#include "plugin/Dispatch.h"
#include "plugin/GarnexApp.h"
#include "plugin/Operation.h"
#include "port/SerialInterface.h"
#include "sim/SimAttach.h"
#include "support/RecordingWindow.h"
#include "support/ScriptedUi.h"
#include "support/TestRegistry.h"

namespace test {

class SimScenario {
 public:
  static constexpr int kCom = 7;

  explicit SimScenario(const std::string& profileText = "") : SimScenario(ParseProfile(profileText)) {}
  explicit SimScenario(const sim::Profile& profile) {
    std::string error;
    rx_ = sim::Attach(profile, kCom, &error);
    if (!rx_) throw std::runtime_error("attach: " + error);
    params = OperationParams{rx_->ComPort(), 0, &window, &cancel};
  }
  ~SimScenario() { sim::Detach(rx_); }
  SimScenario(const SimScenario&) = delete;
  SimScenario& operator=(const SimScenario&) = delete;

  static sim::Profile ParseProfile(const std::string& text) {
    sim::Profile profile;
    std::string error;
    if (!sim::Profile::Parse(text, &profile, &error)) throw std::runtime_error("profile: " + error);
    return profile;
  }

  int Run(COperation& operation) { return RunOperation(&operation, &params); }
  template <class Operation>
  int Run() {
    Operation operation;
    return Run(operation);
  }
  sim::VirtualReceiver& Receiver() { return rx_->Receiver(); }
  int Com() const { return rx_->ComPort(); }
  double Seconds() { return static_cast<double>(clock_.NowNs()) / 1e9; }
  void AdvanceMs(std::int64_t ms) { clock_.AdvanceMs(ms); }
  // Lets `ms` of virtual time pass for the receiver too (a reboot, an activation).
  void Settle(std::int64_t ms) {
    clock_.AdvanceMs(ms);
    rx_->Receiver().RunUntil(clock_.NowNs());
  }
  // The temporary folder the registry lives in; tests put their files there.
  const testsupport::TempDir& Dir() const { return registry_.Dir(); }

  // Writes `bytes` to `fileName` in the test's folder and lists it in the
  // firmware catalogue as `description` for `device`; returns the path.
  std::string AddFirmware(const std::vector<std::uint8_t>& bytes, const std::string& fileName,
                          const char* description, const char* device) {
    const std::string path = registry_.Dir().Write(fileName, bytes);
    HKEY root = nullptr;
    EXPECT_EQ(afx::RegOpenKeyPath(std::string("HKEY_LOCAL_MACHINE\\") + FirmwareEntryManager::kRootPath,
                                  KEY_ALL_ACCESS, &root, true),
              ERROR_SUCCESS);
    RegCloseKey(root);
    FirmwareEntryManager catalogue;
    DWORD error = 0;
    EXPECT_TRUE(catalogue.AddFirmwareEntry(FirmwareEntry(description, device, path.c_str(), description, 1), error))
        << error;
    return path;
  }

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
    return std::find(window.statuses.begin(), window.statuses.end(), text) != window.statuses.end();
  }
  // The texts of the message boxes shown, in order.
  std::vector<std::string> BoxTexts() const {
    std::vector<std::string> out;
    for (const auto& b : ui.boxes) out.push_back(b.text);
    return out;
  }
  // Exactly one box was shown, and its text holds `part` (or starts with it).
  ::testing::AssertionResult OneBoxWith(const std::string& part, bool atStart = false) const {
    const bool ok = ui.boxes.size() == 1 && (atStart ? ui.boxes[0].text.rfind(part, 0) == 0
                                                     : ui.boxes[0].text.find(part) != std::string::npos);
    return (ok ? ::testing::AssertionSuccess() : ::testing::AssertionFailure())
           << "boxes " << ::testing::PrintToString(BoxTexts()) << ", wanted one with " << part;
  }

 private:
  testsupport::TestRegistry registry_;
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

// A port opened on a scenario's receiver at 9600, and the receiver interface over it.
struct Connection {
  explicit Connection(SimScenario& s) : device(&port, s.params) {
    port.Open(static_cast<UINT>(s.Com()), 1, 0, 0, CSerialInterface::kDefaultBaudIndex);
  }
  CSerialInterface port;
  CGarnexInterface device;
};

// A control's text in a dialog that has the control, and the OK button.
inline std::string& Text(CDialog& d, int id) { return d.FindControl(id)->text; }
inline void Ok(CDialog& d) { d.SendCommand(IDOK, BN_CLICKED); }

}  // namespace test

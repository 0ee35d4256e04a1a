// The progress window the plug-in reports to.
#pragma once
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

#include "afx/Window.h"
#include "hostlib/RunView.h"
#include "hostlib/TransferMeter.h"

class HostWindow : public afx::Window {
 public:
  explicit HostWindow(RunView& view) : view_(view) {}
  LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
  // Drains posted messages; true when UM_OPERATION_DONE was among them.
  bool TakeDone();
  // The last status text; safe to ask from another thread.
  std::string LastStatus() const;
  // Where the bytes that crossed the line so far are counted, for the rate beside the bar.
  void CountBytesWith(std::function<std::uint64_t()> bytes) { bytes_ = std::move(bytes); }

 private:
  void OnTextChanged(const std::string& text) override;

  RunView& view_;
  mutable std::mutex mutex_;
  std::string lastStatus_;
  std::function<std::uint64_t()> bytes_;
  TransferMeter meter_;
};

// The progress window the plug-in reports to.
#pragma once
#include "afx/Window.h"
#include "hostlib/RunView.h"

class HostWindow : public afx::Window {
 public:
  explicit HostWindow(RunView& view) : view_(view) {}
  LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
  // Drains posted messages; true when UM_OPERATION_DONE was among them.
  bool TakeDone();
  const std::string& LastStatus() const { return lastStatus_; }

 private:
  void OnTextChanged(const std::string& text) override;

  RunView& view_;
  std::string lastStatus_;
};

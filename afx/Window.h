// Host windows and kernel objects. A window is whatever the host creates to
// receive the plug-in's messages; SendMessage is a synchronous call into it,
// PostMessage queues a message that the host drains later.
#pragma once
#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>

#include "afx/WinTypes.h"

namespace afx {

class Window {
 public:
  virtual ~Window() = default;
  // Handles a sent message on the caller's thread.
  virtual LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam) = 0;
  // Takes the caption, then tells the subclass (OnTextChanged).
  void SetText(const std::string& text);
  const std::string& Text() const { return text_; }

  struct Posted {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
  };
  void Post(const Posted& m);
  // Takes the oldest posted message; false when none is queued.
  bool TakePosted(Posted* out);

 protected:
  // The caption is now `text` (Text() says so already).
  virtual void OnTextChanged(const std::string& text);

 private:
  std::mutex mutex_;
  std::deque<Posted> posted_;
  std::string text_;
};

// Base of everything a HANDLE can name.
class KernelObject {
 public:
  virtual ~KernelObject() = default;
  // Waits up to `ms` (INFINITE = no limit) on the machine's clock.
  virtual DWORD Wait(DWORD ms) = 0;
};

// A Win32-style event, manual- or auto-reset.
class Event : public KernelObject {
 public:
  explicit Event(bool manualReset = true, bool initialState = false)
      : manual_(manualReset), signalled_(initialState) {}
  void Set();
  void Reset();
  bool IsSet();
  DWORD Wait(DWORD ms) override;

 private:
  std::mutex mutex_;
  std::condition_variable cv_;
  bool manual_;
  bool signalled_;
};

}  // namespace afx

LRESULT SendMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
BOOL PostMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
BOOL SetWindowText(HWND window, const char* text);
DWORD WaitForSingleObject(HANDLE object, DWORD ms);
BOOL SetEvent(HANDLE event);
BOOL ResetEvent(HANDLE event);

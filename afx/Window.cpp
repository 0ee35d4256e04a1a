#include "afx/Window.h"

#include <chrono>

namespace afx {

void Window::SetText(const std::string& text) {
  text_ = text;
  OnTextChanged(text_);
}

void Window::OnTextChanged(const std::string&) {}

void Window::Post(const Posted& m) {
  std::lock_guard<std::mutex> lock(mutex_);
  posted_.push_back(m);
}

bool Window::TakePosted(Posted* out) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (posted_.empty()) return false;
  *out = posted_.front();
  posted_.pop_front();
  return true;
}

void Event::Set() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    signalled_ = true;
  }
  cv_.notify_all();
}

void Event::Reset() {
  std::lock_guard<std::mutex> lock(mutex_);
  signalled_ = false;
}

bool Event::IsSet() {
  std::lock_guard<std::mutex> lock(mutex_);
  return signalled_;
}

DWORD Event::Wait(DWORD ms) {
  std::unique_lock<std::mutex> lock(mutex_);
  // Cross-thread waits (cancel, port threads) are between real threads, so
  // they run on the machine's clock even when operations use virtual time.
  if (ms == INFINITE) {
    cv_.wait(lock, [this] { return signalled_; });
  } else if (ms == 0) {
    // A poll (every progress step checks for cancel): no timed wait to set up.
    if (!signalled_) return WAIT_TIMEOUT;
  } else if (!cv_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return signalled_; })) {
    return WAIT_TIMEOUT;
  }
  if (!manual_) signalled_ = false;
  return WAIT_OBJECT_0;
}

}  // namespace afx

LRESULT SendMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (window == nullptr) return 0;
  return window->OnMessage(message, wParam, lParam);
}

BOOL PostMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (window == nullptr) return FALSE;
  window->Post({message, wParam, lParam});
  return TRUE;
}

BOOL SetWindowText(HWND window, const char* text) {
  if (window == nullptr) return FALSE;
  window->SetText(text ? text : "");
  return TRUE;
}

DWORD WaitForSingleObject(HANDLE object, DWORD ms) {
  if (object == nullptr) return WAIT_FAILED;
  return object->Wait(ms);
}

BOOL SetEvent(HANDLE event) {
  auto* e = dynamic_cast<afx::Event*>(event);
  if (!e) return FALSE;
  e->Set();
  return TRUE;
}

BOOL ResetEvent(HANDLE event) {
  auto* e = dynamic_cast<afx::Event*>(event);
  if (!e) return FALSE;
  e->Reset();
  return TRUE;
}

// The base of every object that writes to the traffic log. Lines carry the
// time of day and the seconds since the hub started; level-2 and level-3
// lines and byte dumps are not even formatted unless some subscriber asked
// for them at the last emission.
#pragma once
#include <atomic>
#include <cstdarg>
#include <cstddef>

#include "afx/Printf.h"
#include "afx/WinTypes.h"
#include "port/LogHub.h"

class CLogNode : public CLogHub::Member {
 public:
  // A line, prefix included, longer than this is dropped whole.
  static constexpr std::size_t kMaxLine = 4094;
  static constexpr std::size_t kMaxLabel = 500;
  // A dump stops ("... ]") once its text passes this many characters.
  static constexpr std::size_t kMaxDump = 1000;

  explicit CLogNode(CLogHub* hub = nullptr);
  virtual ~CLogNode();
  CLogNode(const CLogNode&) = delete;
  CLogNode& operator=(const CLogNode&) = delete;

  // Leaves any previous hub and joins `hub`.
  void Attach(CLogHub* hub);
  void Detach();
  CLogHub* Hub() const { return m_hub.load(); }

  void Log0(const char* format, ...) AFX_PRINTF_FORMAT(2, 3);
  void Log1(const char* format, ...) AFX_PRINTF_FORMAT(2, 3);
  void Log2(const char* format, ...) AFX_PRINTF_FORMAT(2, 3);
  void Log3(const char* format, ...) AFX_PRINTF_FORMAT(2, 3);
  // Hex dump of `count` bytes at level 3.
  void LogBytes(const char* label, const BYTE* bytes, std::size_t count);

  // The hub goes away while this node is still attached: forget it.
  void HubGone(CLogHub* hub) override;

 private:
  void Emit(int level, const char* format, va_list args);

  std::atomic<CLogHub*> m_hub{nullptr};
};

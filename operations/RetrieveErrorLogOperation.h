// Retrieves, shows and clears the receiver's error log: entry by entry from
// a running application, or as the raw log area read through the monitor.
#pragma once
#include <vector>

#include "plugin/NamedOperation.h"

class CGarnexInterface;
class CErrorLogMgr;

class CRetrieveErrorLogOperation : public CNamedOperation {
 public:
  // The monitor hands out its memory map in one record of this size.
  static constexpr WORD kMemoryMapSize = 64;
  // The log area is read in pieces of this many bytes.
  static constexpr WORD kReadPiece = 220;
  // A log area larger than this is not a log area.
  static constexpr DWORD kMaxLogArea = 0x400000;

  CRetrieveErrorLogOperation();
  bool Run(OperationParams* params) override;
  bool GetText(unsigned kind, char* buffer, unsigned length) override;

  // Decodes the log area descriptor of a memory map: the first and the
  // last address of the log. False when the area is empty or too large.
  static bool LogArea(const std::vector<BYTE>& memoryMap, DWORD* start, DWORD* end);

 private:
  void ShowEmptyLog(const OperationParams& params) const;
  // Reads the log area out of the monitor and decodes it into `log`.
  void ReadLogImage(CGarnexInterface& device, CErrorLogMgr& log, const OperationParams& params) const;
};

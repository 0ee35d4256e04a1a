// Loads new receiver firmware from the firmware catalogue: an image container
// through the receiver's own update sequence, anything else (HEX, S-record,
// ELF) written from the monitor; then brings the receiver back and waits out
// the synchronisation of its radio's firmware.
#pragma once
#include "afx/String.h"
#include "operations/UpdatePage.h"
#include "plugin/NamedOperation.h"

class CBreakInfo;
class CGarnexInterface;
class CSerialInterface;

class CUpdateOperation : public CNamedOperation {
 public:
  CUpdateOperation();
  bool Run(OperationParams* params) override;
  bool GetText(unsigned kind, char* buffer, unsigned length) override;

  CUpdatePage& GetUpdatePage() { return m_page; }

  // The file-name stem of the monitor image of a receiver, lower case, ""
  // when the receiver is not listed. Product codes 0xFF and 0xFFFF mean
  // "look the model name up instead".
  static CString MonitorStem(WORD productCode, BYTE monitorCapability, const char* productName);
  // Whether `path` names the receiver's own monitor image by the HEX or
  // S-record route, which would overwrite the monitor with itself.
  static bool IsMonitorImagePath(const char* path, const CString& stem);

 private:
  // Waits for the receiver to bring its radio's firmware in line with the
  // new receiver firmware, showing how it goes. Never fails the update.
  void SynchroniseRadio(CSerialInterface& port, CGarnexInterface& device, const OperationParams& params);

  CUpdatePage m_page;
};

// Reads, edits and writes the configuration of the receiver's internal radio.
//
// The radio keeps its settings in a configuration area that the receiver's
// monitor reads and writes (a CERODictionary). A run identifies the
// application, checks the hardware flags, opens the pipe to the radio, asks
// it for its channel-spacing codes, takes the receiver into its monitor,
// reads the area, lets the user edit it, writes it, reads it back to verify
// and reboots. After a change the area is read again and shown once more, so
// the user sees what the radio now holds; the run ends when a dialog is left
// with OK and no change.
//
// The newer radio of the products on kNewRadioProducts keeps its settings
// itself: they are read and written over the pipe (a CPB2Dictionary), and
// the receiver is reset so that the radio restarts on them.
#pragma once
#include <vector>

#include "afx/WinTypes.h"
#include "plugin/NamedOperation.h"

class CGarnexInterface;
class CSerialInterface;

class CRadioCfgOperation : public CNamedOperation {
 public:
  // Size of the radio configuration area that the monitor hands out.
  static constexpr WORD kAreaSize = 1024;
  static constexpr BYTE kPipeType = 0x84;
  static constexpr BYTE kPipeRadio = 0x04;
  static constexpr BYTE kRadioType = 0x77;
  static constexpr BYTE kCapabilityQuery = '.';
  static constexpr BYTE kPipeClosed = 0x00;
  // The receiver port number of the receiver's USB link.
  static constexpr int kUsbReceiverPort = 16;
  static constexpr DWORD kRestartMs = 30000;
  static constexpr DWORD kChangedRestartMs = 50000;
  // Products whose radio keeps its settings itself.
  static constexpr const char* kNewRadioProducts[] = {"QZ770", "QZ772", "QZ774", "QZ776", "QZ788",
                                                      "QZ742", "QZ722", "QZ714", "QZ714S"};
  static bool IsNewRadio(const CString& productName);

  CRadioCfgOperation();
  bool Run(OperationParams* params) override;
  bool GetText(unsigned kind, char* buffer, unsigned length) override;

  // The channel-spacing codes of a capability answer: byte 3 counts the codes
  // from byte 6; once a code 1 has been seen, codes 5 are left out. Nothing
  // for an answer of 6 bytes or fewer; a count beyond the answer stops at its end.
  static std::vector<UINT> DecodeSpacingList(const BYTE* data, UINT size);

 private:
  // One round of the older radio: true when the user changed the configuration.
  bool ConfigureRadio(const OperationParams& params, CSerialInterface& port, CGarnexInterface& device);
  // One round of the newer radio: true when the user changed the configuration.
  bool ConfigureNewRadio(const OperationParams& params, CSerialInterface& port, CGarnexInterface& device);
  // Reboots the receiver after a round that writes nothing and ends the run as cancelled.
  [[noreturn]] static void Abandon(const OperationParams& params, CGarnexInterface& device);

  bool m_bModem = false;
  bool m_bTransmitter = false;
  bool m_bInternalRadio = false;
  int m_nReceiverPort = 0;
  CString m_strProductName;
  CString m_strSerialNumber;
  std::vector<UINT> m_spacing;
  // The newer radio's transmit and receive channel tables (Hz).
  std::vector<UINT> m_transmitTable;
  std::vector<UINT> m_receiveTable;
};

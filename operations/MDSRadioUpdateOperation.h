// Loads new software into the receiver's internal radio.
//
// The radio is reached through the receiver's pass-through pipe (report 0x84
// with the receiver's port number + 1 and 0x04, acknowledged); every radio
// request then travels as report 0x77 and is answered by a 0x77 frame that
// starts A0 <request>. The transfer:
//   'm'                          version query, before and after (A0 'm' n text 00 out-of-sync)
//   'U' size(4) crc32(4)         start; A0 'U' status (0 accepted)
//   'D' offset(4) bytes(1..200)  one chunk, in order; A0 'D' status
//   'E'                          end: the radio checks size and CRC and installs; A0 'E' status
//   'l'                          after the install the radio restarts and
//                                synchronises; polled until it reports state 4
// Any refusal or silence is CGarnexException 707; a radio that does not
// synchronise in time is 707 too. Afterwards the receiver is reset so that
// the pipe closes and the radio runs its new software with it.
#pragma once
#include <vector>

#include "afx/String.h"
#include "operations/UpdatePage.h"
#include "plugin/NamedOperation.h"

class CSerialInterface;
class IMDSProgressPipe;

class CMDSRadioUpdateOperation : public CNamedOperation {
 public:
  static constexpr BYTE kPipeType = 0x84;
  static constexpr BYTE kPipeRadio = 0x04;
  static constexpr BYTE kRadioType = 0x77;
  static constexpr DWORD kChunkSize = 200;
  static constexpr BYTE kSynchronised = 4;
  static constexpr int kSyncPolls = 60;
  static constexpr DWORD kSyncPollMs = 2000;

  CMDSRadioUpdateOperation();
  bool Run(OperationParams* params) override;
  bool GetText(unsigned kind, char* buffer, unsigned length) override;

  CUpdatePage& GetUpdatePage() { return m_page; }

  // CRC-32 (reflected, 0xEDB88320) as the radio checks it.
  static DWORD Crc32(const std::vector<BYTE>& data);

 private:
  // One radio request; the reply's data (after A0 and the request byte) or false.
  static bool Ask(CSerialInterface& port, const std::vector<BYTE>& request, std::vector<BYTE>* answer);
  static CString QueryVersion(CSerialInterface& port, DWORD com);
  void Transfer(CSerialInterface& port, DWORD com, const std::vector<BYTE>& image, IMDSProgressPipe& progress);
  static void AwaitSync(CSerialInterface& port, DWORD com, const OperationParams& params);

  CUpdatePage m_page;
};

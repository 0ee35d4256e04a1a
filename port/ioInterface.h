// The blocking byte port that packets and receiver interfaces talk through.
// Everything above the port layer sees only this interface, so that the
// same protocol code runs over a serial port, the virtual receiver or a test
// double.
#pragma once
#include <initializer_list>

#include "afx/WinTypes.h"

class CLogNode;

class CioInterface {
 public:
  // `log` is the operation's traffic-log object (not owned, may be null);
  // `kind` tells the implementation (1 = serial).
  explicit CioInterface(CLogNode* log = nullptr, BYTE kind = 0) : m_pLog(log), m_kind(kind) {}
  CioInterface(const CioInterface&) = delete;
  CioInterface& operator=(const CioInterface&) = delete;
  // Closes the port if it is open.
  virtual ~CioInterface() = default;

  // Writes one byte; throws like Write.
  virtual void WriteByte(BYTE value) = 0;
  // Writes all `count` bytes or throws CSerialComException 304.
  virtual void Write(const BYTE* buffer, DWORD count) = 0;
  // Reads one byte; true when exactly one byte came before the time-out.
  virtual bool ReadByte(BYTE* value) = 0;
  // Reads up to `count` bytes; 0 on time-out; throws CSerialComException 303
  // on a device error.
  virtual DWORD Read(BYTE* buffer, DWORD count) = 0;
  // Writes the pieces of one frame in order, as one Write each; throws like
  // Write. A port may hand them to its device as one write instead: the same
  // bytes in the same order, with one system call where there were several.
  struct Piece {
    const BYTE* data;
    DWORD count;
  };
  virtual void WriteFrame(std::initializer_list<Piece> pieces) {
    for (const Piece& p : pieces)
      if (p.count > 0) Write(p.data, p.count);
  }
  // Discards pending output.
  virtual void FlushOutput() = 0;
  // Discards buffered input.
  virtual void FlushInput() = 0;
  // Discards pending output and/or buffered input; nothing when both are false.
  virtual void Purge(bool output, bool input) = 0;

  // A hint: the caller acts on nothing until `bytes` more bytes have come
  // (or the line has gone quiet), so a port that is woken once per arriving
  // piece may wait for all of them at once. Reads return what they always do.
  virtual void ExpectInput(DWORD /*bytes*/) {}

  // The COM number that error messages name; 0 when the port has none.
  virtual UINT GetPortNumber() const { return 0; }

  CLogNode* GetLog() const { return m_pLog; }
  BYTE GetKind() const { return m_kind; }

  // Whoever shows the user a failure of this port notes it here. Until the
  // port works again, its later failures are the same failure (a vanished
  // device fails every call) and are raised as already shown.
  void NoteFailureShown() { m_bFailureShown = true; }
  bool FailureShown() const { return m_bFailureShown; }

 protected:
  void NoteWorking() { m_bFailureShown = false; }

  CLogNode* m_pLog;
  BYTE m_kind;

 private:
  bool m_bFailureShown = false;
};

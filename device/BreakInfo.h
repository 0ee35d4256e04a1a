// What the receiver says about itself when it gets a break (or the explicit
// request): one report frame of type 0x6E whose data is a text of
// ";"-separated fields with ","-separated items, for example
//   PRODUCT,QZ710;PORT,1,115200,...,8,1,N,R;PORTSTATUS,...;VERSION,4.62;COMM,...;SERIAL,...;REFVER,...
#pragma once
#include <optional>

#include "afx/String.h"
#include "afx/WinTypes.h"

class CioInterface;
class CSerialInterface;

class CBreakInfo {
 public:
  static constexpr BYTE kRequestType = 0x6F;
  static constexpr BYTE kReplyType = 0x6E;
  static constexpr DWORD kBreakMs = 350;
  // How long the receiver's port needs after a change of settings.
  static constexpr DWORD kSettlingMs = 8000;
  // How long one reply may take to arrive, in wall-clock seconds.
  static constexpr double kReplySeconds = 3.0;
  // The tokenizer looks at no more than this many characters of a field.
  static constexpr size_t kMaxFieldLength = 255;

  enum class ProductKind { Application, Monitor, Other };

  CBreakInfo() = default;
  // Parses `rawText` at once; IsValid() tells the result.
  explicit CBreakInfo(const char* rawText);

  // Identifies the receiver on `port`: moves the port to 9600 8N1, sends a
  // break (and the request if the break goes unanswered), parses the reply,
  // and follows the receiver's reported port settings, pausing 8 s for them
  // to settle unless `noWait` is set. `retry` allows three attempts instead
  // of one. Port failures in the last attempt reach the caller.
  bool RetrieveBreakInfo(CSerialInterface& port, bool retry, bool noWait);
  // Reads one 0x6E reply within 3 s; its data as text, or nothing.
  std::optional<CString> GetRawBreakData(CioInterface& port);
  // Parses one reply text into this record; false (record unchanged) when
  // the text lacks PRODUCT, PORT, VERSION or COMM.
  bool ParsePacketData(const char* text);
  // Writes the 6-byte request frame.
  void SendBreakRequest(CioInterface& port);
  // Sets the port to the reported settings, or 9600 8N1 when the record is not valid.
  void ApplyPortSettings(CSerialInterface& port) const;

  // Which mode a product name means: a supported application, its monitor, or neither.
  static ProductKind ClassifyProduct(const char* productName);
  ProductKind GetProductKind() const { return ClassifyProduct(m_strProductName); }
  bool IsApplication() const { return GetProductKind() == ProductKind::Application; }
  bool IsMonitor() const { return GetProductKind() == ProductKind::Monitor; }

  // Bits per second for a speed code; 9600 for a code outside the table.
  static DWORD BaudRateFromCode(int code);

  const CString& GetProductName() const { return m_strProductName; }
  const CString& GetVersionText() const { return m_strVersion; }
  const CString& GetRefVersionText() const { return m_strRefVersion; }
  const CString& GetSerialNumber() const { return m_strSerialNumber; }
  int GetPortNumber() const { return m_nPortNumber; }
  float GetVersion() const { return m_fVersion; }
  float GetRefVersion() const { return m_fRefVersion; }
  bool GetPortMode() const { return m_bPortMode != 0; }
  bool IsPortFixed() const { return m_bPortFixed != 0; }
  bool IsValid() const { return m_bValid != 0; }
  DWORD GetBaudRate() const { return BaudRateFromCode(m_nBaudCode); }
  int GetBaudCode() const { return m_nBaudCode; }
  int GetDataBitsCode() const { return m_nDataBitsCode; }
  int GetStopBitsCode() const { return m_nStopBitsCode; }
  int GetParityCode() const { return m_nParityCode; }

 private:
  int m_nPortNumber = -1;
  int m_nBaudCode = 6;
  int m_nDataBitsCode = 1;
  int m_nStopBitsCode = 0;
  int m_nParityCode = 0;
  BYTE m_bPortMode = 0;
  BYTE m_bPortFixed = 0;
  CString m_strProductName = "NoSuchProduct";
  CString m_strVersion;
  CString m_strRefVersion;
  CString m_strSerialNumber;
  float m_fVersion = 0;
  float m_fRefVersion = 0;
  BYTE m_bValid = 0;
};

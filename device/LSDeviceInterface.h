// The receiver interface every operation talks through: one receiver on a
// COM port the operation has already opened. It owns no port. It implements
// the monitor's request/reply primitives, the mode and speed switches, and
// (in LSDeviceInterfaceFlash.cpp) the flash programming loops; the platform
// class fills in the parts that depend on the board.
//
// Every primitive sends its request, waits for the reply (3 s unless noted)
// and throws CLSDeviceException 801 when none comes; a reply that is present
// but wrong throws the primitive's own code.
#pragma once
#include <memory>
#include <vector>

#include "afx/WinTypes.h"
#include "device/LSDeviceException.h"
#include "plugin/Exports.h"

class CLSInfo;
class CLSFlashFile;
class CSerialInterface;
class CTCFirmwareUpload;

class CLSDeviceInterface {
 public:
  using SectorList = std::vector<DWORD>;

  // The 13 bytes that make a running application restart.
  static constexpr BYTE kResetFrame[13] = {0x02, 0x00, 0x58, 0x07, 0xFF, 0x00, 'R', 'E', 'S', 'E', 'T', 0xE1, 0x03};
  static constexpr double kReplySeconds = 3.0;

  CLSDeviceInterface(CLSInfo* info, CSerialInterface* port, const OperationParams& params);
  CLSDeviceInterface(const CLSDeviceInterface&) = delete;
  CLSDeviceInterface& operator=(const CLSDeviceInterface&) = delete;
  // Leaves the port alone: it belongs to the operation.
  virtual ~CLSDeviceInterface();

  // Flash geometry of the board: region 0 is the flash base.
  virtual DWORD GetFlashAddress(int region) = 0;
  // How many thirds of the status polling an erase may take.
  virtual DWORD GetEraseLimit() = 0;
  virtual DWORD GetFlashEnd() = 0;
  virtual DWORD GetFlashStart() = 0;
  // Reads the product record (2 s pause, 5 s wait); 811 unless exactly `length` bytes come.
  virtual void RequestProductInfo(WORD length, BYTE* buffer);
  virtual CLSInfo* GetInfo() = 0;
  // Checks that `file` belongs to the connected receiver before anything is erased.
  virtual void ValidateFirmwareUpdate(CLSFlashFile& file) = 0;

  // Flash programming; progress runs over [from, to].
  virtual void EraseFlash(const SectorList& sectors, int from, int to);
  // Writes `length` bytes of `file` from position `fileBase` to flash at `targetBase`.
  virtual void ProgramImage(CLSFlashFile& file, DWORD fileBase, DWORD length, DWORD targetBase, int from, int to);
  // Writes the whole file; each block goes to its own address plus `offset`.
  virtual void ProgramFile(CLSFlashFile& file, DWORD offset, int from, int to);
  virtual void ProgramFlashBlock(DWORD address, const BYTE* data, WORD count);
  // Loads the auxiliary controller's firmware through the buffer and commits it.
  virtual void ProgramControllerNow(CLSFlashFile& file, DWORD ignored, int from, int to);
  virtual void ProgramControllerBuffer(WORD offset, const BYTE* data, WORD count);
  // Hands the image to the running application, which installs it itself when `install` is set.
  virtual void UploadFirmware(CLSFlashFile& file, DWORD ignored, int from, int to, bool install);
  virtual void UploadFirmwareBlocks(DWORD address, const BYTE* data, WORD count, bool install);

  // Leaves the monitor; 812 when the request goes unanswered.
  virtual void Reboot();
  // Restarts a running application; nothing is awaited.
  virtual void Reset();
  // The monitor's revision as two decimal digits per nibble: 0x12 gives 102.
  virtual void ReadLoaderRevision(int* revision);
  // Writes identity fields back after a serial-number change.
  virtual void WriteProductId(const char* text) = 0;
  // 814 unless the monitor accepts the record.
  virtual void SendProductId(const BYTE* record, UINT count);
  virtual void ProgramRam(DWORD address, const BYTE* data, WORD count);

  // 820 for a receiver without radio, 817 for any other wrong length.
  virtual void RetrieveRadioConfig(BYTE* buffer, WORD length);
  // 849 unless exactly `length` bytes come.
  virtual void RetrieveMemoryMap(BYTE* buffer, WORD length);
  // The radio may take a minute to store it; 818 when it refuses.
  virtual void SendRadioConfig(const BYTE* buffer, WORD length);
  virtual void ReadMemory(DWORD address, BYTE* buffer, WORD count);
  virtual void Execute(DWORD address);
  // Monitor mode: moves both ends to `baud`; 0, or a refusal, makes the PC
  // follow the receiver's own settings instead.
  virtual void SwitchBaud(DWORD baud);
  // Brings the receiver into its monitor and reads what the operations need.
  virtual void Connect(bool switchBaud) = 0;
  // Application mode: the same switch through the report protocol.
  virtual void SwitchBaudApplication(DWORD baud);
  // Takes a running application to 38400 baud and restarts it.
  virtual void ResetAt38400();
  // Modes 1 and 2 only; other values send nothing.
  virtual void SetAutoOn(BYTE mode);
  // False when the mode could not be read.
  virtual bool GetAutoOn(BYTE* mode);
  virtual bool IsLegacy() { return false; }
  // Identifies the receiver; false when none answered and no prompt was asked for.
  virtual bool DetectReceiver(bool promptWhenSilent) = 0;

  CSerialInterface* GetPort() const { return m_pPort; }
  const OperationParams& GetParams() const { return m_params; }
  bool IsConnected() const { return m_bConnected != 0; }
  float GetReceiverVersion() const { return m_fReceiverVersion; }
  // The COM number that exceptions name.
  DWORD ComNumber() const;

  // Bits per second to the port layer's speed code; -1 when the rate has none.
  static int BaudCodeFromRate(DWORD rate);

 protected:
  // Applies `baud` by code, or keeps the current rate for a rate without a code.
  void ApplyBaudCode(DWORD baud);
  // Re-reads the break info after a refused or skipped switch and follows the
  // receiver's settings; returns the rate in force.
  DWORD FollowReceiverSettings();
  void WriteResetFrame();

  CSerialInterface* m_pPort;
  OperationParams m_params;
  CLSInfo* m_pInfo;
  BYTE m_bConnected = 0;
  BYTE m_bFirstErase = 1;
  DWORD m_nTransferThread = 0;
  float m_fReceiverVersion = 0;
  std::unique_ptr<CTCFirmwareUpload> m_pUploadRequest;
  std::unique_ptr<CTCFirmwareUpload> m_pUploadReply;
};

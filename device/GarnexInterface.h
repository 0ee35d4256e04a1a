// The receiver interface of this board family: finds and recognises the
// receiver, takes it from its application into its monitor and back, learns
// its flash layout and moves the line to a faster rate. The firmware update
// sequences live in GarnexInterfaceUpdate.cpp.
//
// Expected call order: construct over an open port; DetectReceiver; then an
// application-mode request, or Connect followed by monitor requests; finally
// Reboot or Reset as the operation requires.
#pragma once
#include <array>
#include <vector>

#include "afx/String.h"
#include "device/GarnexException.h"
#include "device/GarnexInfo.h"
#include "device/LSDeviceInterface.h"

class CGarnexInterface : public CLSDeviceInterface {
 public:
  // The receiver's own port number when it is reached through its USB virtual serial port.
  static constexpr int kUsbPort = 15;
  static constexpr DWORD kDefaultFlashStart = 0x02400000;
  static constexpr DWORD kDefaultFlashEnd = 0x02440000;
  static constexpr DWORD kDefaultSectorSize = 0x10000;
  static constexpr DWORD kFlashLayoutSize = 68;
  static constexpr DWORD kHardwareInfoSize = 72;

  // The flash description as the monitor sends it, with its 32-bit fields in host order.
  struct FlashLayout {
    std::array<BYTE, kFlashLayoutSize> raw{};
    DWORD base = 0;
    CString chipName;
    DWORD applicationStart = 0;
    DWORD sectorCount[3] = {};
    DWORD sectorSize[3] = {};
    DWORD upperSectorSize = 0;
    // Decodes the first 68 bytes of `data`; false when there are fewer.
    bool Parse(const BYTE* data, DWORD size);
  };

  CGarnexInterface(CSerialInterface* port, const OperationParams& params);
  ~CGarnexInterface() override;

  DWORD GetFlashAddress(int region) override;
  DWORD GetEraseLimit() override { return 15; }
  DWORD GetFlashEnd() override { return m_nFlashEnd; }
  DWORD GetFlashStart() override { return m_nFlashStart; }
  CLSInfo* GetInfo() override { return &m_info; }
  void ValidateFirmwareUpdate(CLSFlashFile& file) override;
  // Sends the reboot request without waiting for an answer; a receiver on its
  // USB port gets its PC port closed and reopened around the restart.
  void Reboot() override;
  // Restarts the application when the port is open.
  void Reset() override;
  void WriteProductId(const char* text) override;
  void SendRadioConfig(const BYTE* buffer, WORD length) override;
  void Connect(bool switchBaud) override;
  bool IsLegacy() override { return false; }
  bool DetectReceiver(bool promptWhenSilent) override;

  // Restart with a mode 0..3 (other values do nothing), then wait for the
  // receiver to come back and identify it.
  virtual void ResetWithMode(int mode);
  // The radio configuration or the memory map as a record of `length` bytes.
  virtual std::vector<BYTE> RetrieveRadioConfigRecord(WORD length);
  virtual std::vector<BYTE> RetrieveMemoryMapRecord(WORD length);
  // ValidateFirmwareUpdate for a receiver that runs its application.
  virtual void ValidateFirmwareUpdateApplication(CLSFlashFile& file);

  void ReadProductInfo();
  // False when no 72-byte hardware description came in two tries.
  bool ReadHardwareInfo();
  // Falls back to the default layout and throws 801 when no description comes.
  void ReadFlashInfo();
  // Reboots an application into its monitor; true once the monitor answers,
  // false for a receiver of another family; 819 when it stays in its application.
  bool EnterMonitor();
  // Switches to the registry's "MaxBaud" (or follows the receiver without `switchBaud`).
  void SelectMaxBaud(bool switchBaud);
  // The sectors covering [start, end); empty with the default layout.
  void BuildSectorList(DWORD start, DWORD end, SectorList& sectors) const;
  // The sectors an application of `size` bytes needs from the application start.
  void BuildSectorListForSize(DWORD size, SectorList& sectors) const;
  // Silences the receiver's outputs at every usual rate when the registry asks for it.
  bool TurnOffOutputs();

  // Firmware update sequences.
  void UpdateFromImage(const char* path, DWORD ignored, bool* usedApplicationMode);
  void UpdateFromFile(const char* path, DWORD addressOffset);
  void UpdateController(const char* path);

  CGarnexInfo& GetGarnexInfo() { return m_info; }
  const CString& GetProductName() const { return m_strProductName; }
  const CString& GetVersionText() const { return m_strVersionText; }
  int GetReceiverPort() const { return m_nReceiverPort; }
  bool IsUsbLink() const { return m_nReceiverPort == kUsbPort; }
  bool IsCorval5() const { return m_bCorval5 != 0; }
  bool GetProductInfoFlag() const { return m_bProductInfoFlag != 0; }
  bool IsDefaultLayout() const { return m_bDefaultLayout != 0; }
  bool IsUpdating() const { return m_bUpdating != 0; }
  bool IsHostOrder() const { return m_bHostOrder != 0; }
  const FlashLayout& GetFlashLayout() const { return m_flashLayout; }
  const std::array<BYTE, kHardwareInfoSize>& GetHardwareInfo() const { return m_hardwareInfo; }
  float GetMonitorVersion() const { return m_fMonitorVersion; }
  float GetApplicationVersion() const { return m_fApplicationVersion; }
  float GetReferenceVersion() const { return m_fReferenceVersion; }

 protected:
  // Takes a flash description (the first 68 bytes of `data`) into the layout fields.
  void TakeFlashLayout(const BYTE* data, DWORD size);
  // Appends the sectors of [start, end) walking the described regions.
  void AppendRegionSectors(DWORD start, DWORD end, SectorList& sectors) const;
  // The wait after the reboot request that depends on the model.
  static DWORD ModelRestartMs(const char* productName);
  // Closes the PC port around a USB-link restart and opens it again at 9600 8N1.
  void ReopenUsbLink(int attempts);
  // After a failed update: restarts an application that had begun taking an image.
  void RecoverAfterFailure();

  CGarnexInfo m_info;
  int m_nReceiverPort = -1;
  DWORD m_nFlashStart = kDefaultFlashStart;
  DWORD m_nFlashEnd = kDefaultFlashEnd;
  BYTE m_bCorval5 = 0;
  BYTE m_bProductInfoFlag = 0;
  BYTE m_bDefaultLayout = 0;
  BYTE m_bUpdating = 0;
  BYTE m_bHostOrder = 0;
  // Set when the last break-info reply announced a port that comes back late after a restart.
  BYTE m_bSlowRestart = 0;
  FlashLayout m_flashLayout;
  CString m_strProductName;
  CString m_strVersionText;
  float m_fMonitorVersion = 0;
  float m_fApplicationVersion = 0;
  float m_fReferenceVersion = 0;
  std::array<BYTE, kHardwareInfoSize> m_hardwareInfo{};
};

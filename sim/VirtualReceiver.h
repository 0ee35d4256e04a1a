// The receiver at the far end of a SimLine: its application (report protocol)
// and its monitor (loader protocol), restarts between them, flash, error
// log, radio pipe, clone files, network settings and the application-mode
// upload. It runs in the afx clock's time but owns no thread: whoever holds
// the host end calls RunUntil(now) before looking at the line, and
// NextEventNs() says when something will next happen by itself.
#pragma once
#include <cstdint>
#include <functional>
#include <map>
#include <queue>
#include <string>
#include <vector>

#include "afx/SerialDevice.h"
#include "sim/FaultRules.h"
#include "sim/ImageVersion.h"
#include "sim/LoaderCodec.h"
#include "sim/Profile.h"
#include "sim/ReportCodec.h"
#include "sim/SimErrorLog.h"
#include "sim/SimFlash.h"
#include "sim/SimLine.h"
#include "sim/Transcript.h"

namespace sim {

enum class ReceiverMode { Application, Monitor, Restarting };

// The receiver's timers count nanoseconds; profiles give milliseconds.
constexpr std::int64_t kMs = 1'000'000;
constexpr std::uint8_t kUploadRequest = 0x9B;
constexpr std::uint8_t kUploadReply = 0x9F;

// The packet through which a running application states its identity for an
// application-mode update: upload request (type 0x9B) with the data 0x08 0x00,
// answered by an upload reply (0x9F, long form) laid out as kIdentity* below.
constexpr std::uint8_t kIdentityQuery = 0x08;
constexpr std::size_t kIdentityReplySize = 82;
// Offsets in the identity reply.
constexpr std::size_t kIdentityProductCode = 2;  // u8
constexpr std::size_t kIdentityCapability = 3;   // u8, monitor-capability byte
constexpr std::size_t kIdentityProductId = 4;    // u16, big-endian
constexpr std::size_t kIdentityInstalled = 6;    // u8 major, u8 minor
constexpr std::size_t kIdentityMonitor = 8;      // u8 major, u8 minor
constexpr std::size_t kIdentityProductName = 10; // 40 bytes, NUL-padded
constexpr std::size_t kIdentitySerial = 50;      // 32 bytes, NUL-padded

struct NetworkSettings {
  std::uint8_t dhcp = 0;
  std::uint8_t ip[4]{}, netmask[4]{}, broadcast[4]{}, gateway[4]{}, dns[4]{};
  std::uint16_t httpPort = 0;
  std::uint8_t httpExtra[2]{};
};

struct CloneActivation {
  std::string name;  // as sent, with ".xml"
  bool installIp = false, installWifi = false, resetFirst = false;
};

class VirtualReceiver {
 public:
  explicit VirtualReceiver(Profile profile = {});

  SimLine& Line() { return line_; }
  Transcript& GetTranscript() { return transcript_; }
  const Profile& GetProfile() const { return profile_; }

  // Lets everything that happens up to `nowNs` happen.
  void RunUntil(std::int64_t nowNs);
  // When the receiver will next do something on its own (INT64_MAX: never).
  std::int64_t NextEventNs() const;
  // When a pump in real time must next run the receiver: as NextEventNs, but
  // the bytes on their way in count once, when the last of them arrives.
  // RunUntil reads each byte at its own arrival time however late it runs, so
  // the receiver's times stay exact; only a reply to a request followed at
  // once by more input reaches the line when that input has arrived.
  std::int64_t NextWakeNs() const;

  // False while a USB link is away (restart) or a disconnect fault holds.
  bool LinkPresent() const { return linkPresent_; }
  // Changes whenever the link vanishes; a handle opened before is dead.
  std::uint64_t LinkGeneration() const { return linkGeneration_; }

  ReceiverMode Mode() const { return mode_; }
  const SimFlash& Flash() const { return flash_; }
  const SimFlash& Ram() const { return ram_; }
  // The bytes of the last application-mode upload, by address from 0.
  const std::vector<std::uint8_t>& UploadedImage() const { return upload_; }
  int Installs() const { return installs_; }
  const std::map<std::string, std::vector<std::uint8_t>>& CloneFiles() const { return cloneFiles_; }
  const std::vector<CloneActivation>& Activations() const { return activations_; }
  const std::vector<std::uint8_t>& RadioConfig() const { return radioConfig_; }
  // The settings dictionary the newer radio keeps itself (read and written over the pipe).
  const std::vector<std::uint8_t>& RadioSettings() const { return radioSettings_; }
  // The radio software installed through the pipe, and how often it was.
  const std::vector<std::uint8_t>& RadioFirmware() const { return radioFirmware_; }
  int RadioInstalls() const { return radioInstalls_; }
  const std::vector<std::uint8_t>& ControllerFirmware() const { return controllerFirmware_; }
  const std::vector<std::uint8_t>& ProductIdWritten() const { return productIdWritten_; }
  const NetworkSettings& Network() const { return network_; }
  bool OutputsOff() const { return outputsOff_; }
  const std::vector<int>& ResetModes() const { return resetModes_; }
  int Restarts() const { return restarts_; }
  std::uint8_t AutoOn() const { return autoOn_; }
  // The application's own port settings (set-comms changes them).
  const afx::LineSettings& ApplicationSettings() const { return appSettings_; }
  const afx::LineSettings& MonitorSettings() const { return monitorSettings_; }
  const FaultRules& Faults() const { return faults_; }
  std::size_t ErrorLogCount() const { return errorLog_.Count(); }

  // The 425-byte product record, the 68-byte flash and 72-byte hardware
  // descriptions, the memory map and the error-log image, as sent.
  std::vector<std::uint8_t> ProductRecord() const;
  std::vector<std::uint8_t> FlashDescription(bool hardware) const;
  std::vector<std::uint8_t> MemoryMap() const;
  std::vector<std::uint8_t> ErrorLogImage() const;

 private:
  struct Timer {
    std::int64_t at;
    std::uint64_t seq;
    std::uint64_t epoch;
    std::function<void()> action;
    bool operator>(const Timer& o) const { return at != o.at ? at > o.at : seq > o.seq; }
  };

  // The line, timers, replies, restarts and faults (VirtualReceiver.cpp).
  void After(std::int64_t atNs, std::function<void()> action, bool survivesRestart = false);
  void OnByte(std::uint8_t byte);
  void OnBreakEnd();
  void Note(const std::string& text);
  // Replies. `Reply*` apply the reply fault rules; they return when the last byte is out.
  std::int64_t SendRaw(const std::vector<std::uint8_t>& bytes, int type, const std::string& note);
  std::int64_t ReplyReport(std::uint8_t type, const std::vector<std::uint8_t>& data, bool longForm = false);
  std::int64_t ReplyLoader(std::uint8_t command, const std::vector<std::uint8_t>& data);
  std::int64_t Ack();
  std::int64_t Nak();
  afx::LineSettings ModeSettings() const;
  static afx::LineSettings Settings(std::uint32_t baud, int dataBits, char parity, int stopBits);
  void Restart(ReceiverMode target, std::uint32_t delayMs, std::int64_t fromNs);
  void Disconnect(std::uint32_t ms);
  void Cut(std::uint32_t ms);
  void WrongBaud(std::uint32_t baud, std::uint32_t ms);
  // Applies the request fault rules to a request of `type`; false when it is
  // not to be served (`refuse` answers a refused one).
  bool Admit(int type, const char* refusedNote, const std::function<void()>& refuse);

  // Identification (VirtualReceiverIdentity.cpp).
  void SendBreakInfo(bool atBreakSettings);
  std::vector<std::uint8_t> VersionText() const;
  std::vector<std::uint8_t> GpsTimeText() const;
  std::vector<std::uint8_t> Capability() const;
  // The running application's identity, the reply to kIdentityQuery.
  std::vector<std::uint8_t> IdentityReply() const;

  // The application's report requests (VirtualReceiverReports.cpp).
  void OnReport(const ReportFrame& frame);
  void SetComms(const std::vector<std::uint8_t>& d);
  void Ethernet(const std::vector<std::uint8_t>& d);
  void ResetRequest(const std::vector<std::uint8_t>& d);
  // The network settings a receiver of `profile` starts with and returns to.
  static NetworkSettings InitialNetwork(const Profile& profile);

  // The error log (VirtualReceiverErrorLog.cpp).
  void ErrorLogRequest(const std::vector<std::uint8_t>& d);
  void InstallErrorLogImage();

  // The radio (VirtualReceiverRadio.cpp).
  void RadioQuery(const std::vector<std::uint8_t>& d);
  // Radio software transfer through the pipe ('U' start, 'D' data, 'E' end).
  void RadioLoad(const std::vector<std::uint8_t>& d);
  void RadioSettingsWrite(const std::vector<std::uint8_t>& d);
  // The radio's configuration area and its own settings dictionary, as a
  // receiver of `profile` starts with them.
  static std::vector<std::uint8_t> RadioArea(const Profile& profile);
  static std::vector<std::uint8_t> InitialRadioSettings(const Profile& profile);

  // Clone files and application-mode uploads (VirtualReceiverTransfers.cpp).
  void Clone(const std::vector<std::uint8_t>& d);
  void Upload(const std::vector<std::uint8_t>& d);
  std::uint8_t InstallState();
  void FinishInstall();
  // The application now installed states `version`: the receiver reports it
  // from then on, unless its profile keeps the old one.
  void AdoptVersion(const ImageVersion& version);

  // The monitor's loader requests (VirtualReceiverMonitor.cpp).
  void OnLoader(const LoaderFrame& frame);
  // Keeps what programming puts where an application's identity block lies,
  // also when the flash keeps nothing.
  void NoteIdentity(std::uint32_t address, const std::uint8_t* data, std::size_t n);

  Profile profile_;
  Transcript transcript_;
  SimLine line_;
  FaultRules faults_;
  SimFlash flash_;
  SimFlash ram_;

  ReceiverMode mode_ = ReceiverMode::Application;
  std::int64_t now_ = 0;
  std::uint64_t epoch_ = 0;
  std::uint64_t timerSeq_ = 0;
  std::priority_queue<Timer, std::vector<Timer>, std::greater<Timer>> timers_;
  ReportCodec report_;
  LoaderCodec loader_;
  bool breakHeld_ = false;
  std::int64_t lastByteNs_ = 0;
  bool linkPresent_ = true;
  std::int64_t cutUntil_ = 0;        // the line carries nothing before this
  std::uint32_t wrongBaud_ = 0;      // the port runs at this speed ...
  std::int64_t wrongBaudUntil_ = 0;  // ... before this
  std::uint64_t linkGeneration_ = 0;
  int restarts_ = 0;

  afx::LineSettings appSettings_;
  afx::LineSettings monitorSettings_;

  // Application state.
  SimErrorLog errorLog_;
  bool pipeOpen_ = false;
  std::size_t syncIndex_ = 0;
  std::vector<std::uint8_t> radioSettings_;
  std::vector<std::uint8_t> radioFirmware_;
  std::vector<std::uint8_t> radioIncoming_;
  std::uint32_t radioExpectedSize_ = 0;
  std::uint32_t radioExpectedCrc_ = 0;
  bool radioLoading_ = false;
  int radioInstalls_ = 0;
  NetworkSettings network_;
  bool outputsOff_ = false;
  std::vector<int> resetModes_;
  std::string cloneName_;
  std::uint32_t cloneSize_ = 0;
  std::vector<std::uint8_t> cloneData_;
  bool cloneOpen_ = false;
  std::uint32_t cloneChunks_ = 0;  // chunks of the open transfer so far
  std::map<std::string, std::vector<std::uint8_t>> cloneFiles_;
  std::vector<CloneActivation> activations_;
  std::vector<std::uint8_t> upload_;
  bool uploadBusy_ = false;
  bool uploadInstallForm_ = false;
  std::int64_t installStartNs_ = -1;
  bool installFinished_ = false;
  int installs_ = 0;

  // Monitor state.
  std::int64_t eraseBusyUntil_ = 0;
  std::vector<std::uint8_t> radioConfig_;
  std::vector<std::uint8_t> controllerBuffer_;
  std::vector<std::uint8_t> controllerFirmware_;
  std::vector<std::uint8_t> productIdWritten_;
  std::uint8_t autoOn_ = 1;
  // The identity block of an image programmed from flash.app_start on, at
  // 0x43000 into it (or 0x3000 for one linked 0x40000 higher, or at its head
  // for a platform image), as programmed since the monitor last started the
  // application. The first window that holds a whole identity block gives
  // the version; image bytes in the others are no block.
  struct IdentityWindow {
    std::uint32_t address = 0;
    std::vector<std::uint8_t> bytes;
    std::vector<bool> programmed;
  };
  std::vector<IdentityWindow> identityWindows_;
};

}  // namespace sim

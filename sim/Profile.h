// What a virtual receiver is: identity, port, versions, hardware, flash
// layout, timings and faults. Read from a text file of "key = value" lines
// (docs/SIMULATOR.md); the defaults describe a receiver on which every
// operation succeeds.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace sim {

enum class FaultAction {
  DropReply,     // the n-th matching reply is not sent
  CorruptReply,  // the n-th matching reply is sent with a broken checksum
  Nak,           // the n-th matching request is refused (NAK, or status 0 in the monitor)
  Silence,       // from the n-th matching request on, `count` requests (0 = all) go unanswered
  Delay,         // matching replies leave `ms` later (n = 0: every one)
  DropByte,      // the n-th byte in direction `toHost` is lost
  CorruptByte,   // the n-th byte in direction `toHost` is inverted
  Disconnect,    // at the n-th matching request the link vanishes for `ms`
  Garbage,       // from the n-th byte in direction `toHost`, `count` bytes become noise drawn from `seed`
  DuplicateReply,  // the n-th matching reply is sent twice, back to back
  Reset,         // the n-th matching request restarts the receiver into its application, unanswered
  Cut,           // at the n-th matching request the line carries nothing either way for `ms`; the port stays
  WrongBaud,     // at the n-th matching request the receiver's port runs at `baud` for `ms`
};

struct FaultRule {
  FaultAction action = FaultAction::DropReply;
  std::uint32_t n = 1;       // 1-based; 0 = every match (Delay)
  std::uint32_t count = 1;   // Silence: how many requests; 0 = all from n on
  int type = -1;             // packet type or loader command to match; -1 = any
  std::uint32_t ms = 0;      // Delay, Disconnect
  bool toHost = true;        // DropByte, CorruptByte, Garbage: direction of the byte
  std::uint32_t at = 0;      // counting starts with the at-th request of any type (0: from the start)
  int bit = -1;              // CorruptByte: the one bit to flip; -1 inverts the whole byte
  std::uint32_t seed = 1;    // Garbage
  std::uint32_t baud = 0;    // WrongBaud
  int line = 0;              // where it came from, for messages
};

struct ErrorLogEntry {
  std::uint32_t number = 0;
  std::uint8_t id = 0;
  std::uint8_t vpc = 0;
  std::uint32_t pc = 0, da = 0, rr1 = 0, rr2 = 0;
  std::uint16_t version = 0;  // major * 100 + minor
  std::uint16_t year = 0;
  std::uint8_t month = 0, day = 0;
  std::uint32_t timeOfWeek = 0;  // ms
  std::uint16_t week = 0;
  std::uint32_t upTime = 0, stackPointer = 0;
  std::uint8_t state = 0xFC;     // 0xFC/0xF8 entry, 0xFE/0xFF empty slot (memory image only)
};

struct FlashRegion {
  std::uint32_t sectors = 0;
  std::uint32_t sectorSize = 0;
};

struct Profile {
  // Identity.
  std::string product = "QZ710";
  bool startInMonitor = false;
  std::string serial = "5012A00123";
  std::string owner1 = "Test bench";
  std::string owner2 = "Virtual receiver";
  std::string version = "4.10";         // break-info VERSION in the application
  std::string refver = "4.10";
  std::string monitorVersion = "3.21";  // break-info VERSION in the monitor
  std::uint8_t productCode = 0x64;
  std::uint16_t productId = 100;
  std::uint8_t capability = 1;          // monitor-capability byte, 0..3
  std::uint8_t board = 1;
  std::uint8_t monitorMajor = 3, monitorMinor = 21;
  std::uint8_t installedMajor = 4, installedMinor = 10;
  std::uint8_t dateMonth = 6;
  std::uint16_t dateYear = 2024;
  std::vector<std::pair<std::uint16_t, std::uint16_t>> features{{1, 1}};

  // The receiver's port.
  int port = 1;
  std::uint32_t baud = 9600;
  int dataBits = 8;
  char parity = 'N';
  int stopBits = 1;
  std::string portMode = "F";
  std::string portStatus = "AUTO";
  std::uint32_t monitorBaud = 9600;
  bool acceptSetComms = true;

  // Version numbers (5 characters each) and GPS time.
  std::string softwareField = "00410";
  std::string middleField = "00410";
  std::string bootField = "00321";
  int utcOffset = 18;

  // Hardware capability.
  std::uint8_t hwFlags = 0x02;
  int hwFlagsAt = 19;  // 19 or 45

  // Radio.
  enum class Pipe { Ack, Nak, Silent } radioPipe = Pipe::Ack;
  std::string radioVersion = "2.31";
  std::vector<std::uint8_t> radioSyncStates{4};
  std::uint8_t radioOutOfSync = 0;
  std::vector<std::uint8_t> radioSpacing{2, 1, 5, 3};
  std::uint32_t radioConfigSize = 1024;  // 0: no radio area
  bool radioAcceptConfig = true;
  bool radioStoreConfig = true;  // false: a write is acknowledged and lost
  bool radioDictionary = true;   // false: the area holds no valid settings
  std::uint8_t radioMode = 4;
  std::uint16_t radioSetting = 0;
  std::uint32_t radioTxHz = 450125000, radioRxHz = 450125000;
  std::uint16_t radioPower = 10;

  // Network.
  std::uint8_t dhcp = 0;
  std::uint8_t ip[4]{192, 168, 1, 10}, netmask[4]{255, 255, 255, 0}, broadcast[4]{192, 168, 1, 255},
      gateway[4]{192, 168, 1, 1}, dns[4]{192, 168, 1, 1};
  std::uint16_t httpPort = 80;
  std::uint8_t httpExtra[2]{0, 0};

  // Error log.
  std::vector<ErrorLogEntry> errorLog;
  bool errorLogLongForm = true;  // answers the indexed 0x0A form
  int errorLogImageVersion = 3;
  std::uint32_t errorLogBase = 0x02400000, errorLogOffset = 0x00180000, errorLogSectorSize = 0x10000;
  std::uint16_t errorLogSectors = 1;

  // Clone files.
  bool cloneAccept = true;
  std::uint32_t cloneRefuseChunk = 0;  // the n-th chunk is refused (0: none)
  std::vector<std::uint8_t> cloneActivation{1, 1, 0};
  std::uint32_t cloneIntervalMs = 1000;

  // Application-mode upload.
  bool uploadBusyFirst = false;
  std::vector<std::pair<std::uint8_t, std::uint32_t>> uploadStates{{1, 2000}, {2, 6000}, {3, 8000},
                                                                    {4, 2000}, {5, 2000}, {6, 0}};
  std::uint32_t uploadRebootMs = 5000;
  // True: an installed or programmed application does not change the
  // versions the receiver reports (a receiver whose update did not take).
  bool keepVersion = false;

  // Monitor.
  bool legacyErase = true;
  bool acceptSwitchBaud = true;
  bool hardwareInfo = true;
  std::uint32_t eraseMs = 1500;
  bool eraseFails = false;
  std::string chip = "Corval 4";
  std::uint32_t flashBase = 0x02400000;
  std::uint32_t appStart = 0x02440000;
  std::vector<FlashRegion> regions{{4, 0x4000}, {3, 0x10000}, {60, 0x10000}};
  std::uint32_t topSectorSize = 0x10000;
  // False: the flash notes erases and programmed byte counts but keeps no
  // programmed contents (those areas read as erased), so that a run with a
  // very large image costs the receiver no memory of its own.
  bool keepFlash = true;
  std::uint8_t controllerVersion = 0x12;
  std::uint8_t autoOn = 1;

  // Timing, in ms unless stated.
  std::uint32_t turnaroundUs = 2000;
  std::uint32_t appToMonitorMs = 8000;
  std::uint32_t monitorToAppMs = 6000;
  std::uint32_t resetMs = 10000;

  std::vector<FaultRule> faults;

  // The monitor's product name.
  std::string MonitorName() const { return product + "-MONITOR"; }

  // Parses profile text over the defaults. False with *error ("line N: ...") on
  // the first bad line; *profile is then left as it was.
  static bool Parse(const std::string& text, Profile* profile, std::string* error);
  // Reads and parses a file.
  static bool Load(const std::string& path, Profile* profile, std::string* error);
};

}  // namespace sim

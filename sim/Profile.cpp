#include "sim/Profile.h"

#include <cstdio>
#include <functional>
#include <map>
#include <sstream>

namespace sim {

namespace {

constexpr std::size_t kMaxText = 1 << 20;
constexpr std::size_t kMaxLine = 1024;
constexpr std::size_t kMaxEntries = 1000;
constexpr std::size_t kMaxFaults = 100;
constexpr std::size_t kMaxList = 64;

std::string Trim(const std::string& s) {
  const auto b = s.find_first_not_of(" \t\r");
  if (b == std::string::npos) return {};
  const auto e = s.find_last_not_of(" \t\r");
  return s.substr(b, e - b + 1);
}

std::vector<std::string> Split(const std::string& s, char sep) {
  std::vector<std::string> out;
  std::string item;
  std::istringstream in(s);
  while (std::getline(in, item, sep)) out.push_back(Trim(item));
  if (!s.empty() && s.back() == sep) out.emplace_back();
  return out;
}

// Decimal or 0x-hexadecimal, no sign, at most `max`.
bool Num(const std::string& text, std::uint64_t max, std::uint64_t* out, std::string* err) {
  std::string t = Trim(text);
  int base = 10;
  if (t.size() > 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X')) {
    base = 16;
    t = t.substr(2);
  }
  if (t.empty() || t.size() > 16) {
    *err = "expected a number, found \"" + text + "\"";
    return false;
  }
  std::uint64_t v = 0;
  for (char c : t) {
    int d = -1;
    if (c >= '0' && c <= '9') d = c - '0';
    else if (base == 16 && c >= 'a' && c <= 'f') d = c - 'a' + 10;
    else if (base == 16 && c >= 'A' && c <= 'F') d = c - 'A' + 10;
    if (d < 0) {
      *err = "expected a number, found \"" + text + "\"";
      return false;
    }
    v = v * static_cast<std::uint64_t>(base) + static_cast<std::uint64_t>(d);
    if (v > max) {
      *err = "number " + text + " is above " + std::to_string(max);
      return false;
    }
  }
  *out = v;
  return true;
}

template <typename T>
bool NumTo(const std::string& text, std::uint64_t min, std::uint64_t max, T* out, std::string* err) {
  std::uint64_t v = 0;
  if (!Num(text, max, &v, err)) return false;
  if (v < min) {
    *err = "number " + text + " is below " + std::to_string(min);
    return false;
  }
  *out = static_cast<T>(v);
  return true;
}

bool Bool(const std::string& text, bool* out, std::string* err) {
  const std::string t = Trim(text);
  if (t == "true" || t == "yes" || t == "1") *out = true;
  else if (t == "false" || t == "no" || t == "0") *out = false;
  else {
    *err = "expected true or false, found \"" + text + "\"";
    return false;
  }
  return true;
}

// Text that goes into the break-info line or a fixed record field: printable,
// without the line's separators.
bool Text(const std::string& text, std::size_t maxLen, std::string* out, std::string* err) {
  if (text.size() > maxLen) {
    *err = "text longer than " + std::to_string(maxLen) + " characters";
    return false;
  }
  for (unsigned char c : text)
    if (c < 0x20 || c > 0x7E || c == ';' || c == ',') {
      *err = "text may not hold ';', ',' or control characters";
      return false;
    }
  *out = text;
  return true;
}

bool Field5(const std::string& text, std::string* out, std::string* err) {
  if (text.size() != 5) {
    *err = "a version field has exactly 5 characters";
    return false;
  }
  return Text(text, 5, out, err);
}

template <typename T>
bool NumList(const std::string& text, std::uint64_t max, std::vector<T>* out, std::string* err, bool allowEmpty) {
  std::vector<T> list;
  if (!Trim(text).empty()) {
    for (const auto& item : Split(text, ',')) {
      if (list.size() >= kMaxList) {
        *err = "list longer than " + std::to_string(kMaxList) + " items";
        return false;
      }
      T v{};
      if (!NumTo(item, 0, max, &v, err)) return false;
      list.push_back(v);
    }
  }
  if (list.empty() && !allowEmpty) {
    *err = "list may not be empty";
    return false;
  }
  *out = std::move(list);
  return true;
}

bool Address(const std::string& text, std::uint8_t out[4], std::string* err) {
  const auto parts = Split(text, '.');
  if (parts.size() != 4) {
    *err = "expected a dotted address a.b.c.d, found \"" + text + "\"";
    return false;
  }
  std::uint8_t tmp[4];
  for (int i = 0; i < 4; ++i)
    if (!NumTo(parts[static_cast<std::size_t>(i)], 0, 255, &tmp[i], err)) return false;
  for (int i = 0; i < 4; ++i) out[i] = tmp[i];
  return true;
}

// "state:ms, state:ms, ..." or "id:value, ..."
template <typename A, typename B>
bool PairList(const std::string& text, std::uint64_t maxA, std::uint64_t maxB, std::size_t maxItems,
              std::vector<std::pair<A, B>>* out, std::string* err) {
  std::vector<std::pair<A, B>> list;
  if (!Trim(text).empty()) {
    for (const auto& item : Split(text, ',')) {
      const auto colon = item.find(':');
      if (colon == std::string::npos) {
        *err = "expected a:b pairs, found \"" + item + "\"";
        return false;
      }
      if (list.size() >= maxItems) {
        *err = "list longer than " + std::to_string(maxItems) + " items";
        return false;
      }
      A a{};
      B b{};
      if (!NumTo(item.substr(0, colon), 0, maxA, &a, err) || !NumTo(item.substr(colon + 1), 0, maxB, &b, err))
        return false;
      list.emplace_back(a, b);
    }
  }
  *out = std::move(list);
  return true;
}

bool Regions(const std::string& text, std::vector<FlashRegion>* out, std::string* err) {
  std::vector<FlashRegion> list;
  for (const auto& item : Split(text, ',')) {
    const auto x = item.find('*');
    if (x == std::string::npos) {
      *err = "expected count*size items, found \"" + item + "\"";
      return false;
    }
    FlashRegion r;
    if (!NumTo(item.substr(0, x), 0, 4096, &r.sectors, err) ||
        !NumTo(item.substr(x + 1), 256, 0x1000000, &r.sectorSize, err))
      return false;
    list.push_back(r);
  }
  if (list.size() != 3) {
    *err = "flash.regions lists exactly three regions";
    return false;
  }
  *out = std::move(list);
  return true;
}

bool Entry(const std::string& text, ErrorLogEntry* out, std::string* err) {
  const auto f = Split(text, ',');
  if (f.size() < 13 || f.size() > 16) {
    *err = "errorlog.entry takes 13 to 16 numbers";
    return false;
  }
  ErrorLogEntry e;
  if (!NumTo(f[0], 0, 0xFFFFFFFF, &e.number, err) || !NumTo(f[1], 0, 255, &e.id, err) ||
      !NumTo(f[2], 0, 255, &e.vpc, err) || !NumTo(f[3], 0, 0xFFFFFFFF, &e.pc, err) ||
      !NumTo(f[4], 0, 0xFFFFFFFF, &e.da, err) || !NumTo(f[5], 0, 0xFFFFFFFF, &e.rr1, err) ||
      !NumTo(f[6], 0, 0xFFFFFFFF, &e.rr2, err) || !NumTo(f[7], 0, 0xFFFF, &e.version, err) ||
      !NumTo(f[8], 0, 0xFFFF, &e.year, err) || !NumTo(f[9], 0, 255, &e.month, err) ||
      !NumTo(f[10], 0, 255, &e.day, err) || !NumTo(f[11], 0, 0xFFFFFFFF, &e.timeOfWeek, err) ||
      !NumTo(f[12], 0, 0xFFFF, &e.week, err))
    return false;
  if (f.size() > 13 && !NumTo(f[13], 0, 0xFFFFFFFF, &e.upTime, err)) return false;
  if (f.size() > 14 && !NumTo(f[14], 0, 0xFFFFFFFF, &e.stackPointer, err)) return false;
  if (f.size() > 15) {
    if (!NumTo(f[15], 0, 255, &e.state, err)) return false;
    if (e.state != 0xFC && e.state != 0xF8 && e.state != 0xFE && e.state != 0xFF) {
      *err = "an entry's state is 0xFC, 0xF8, 0xFE or 0xFF";
      return false;
    }
  }
  *out = e;
  return true;
}

bool Fault(const std::string& text, FaultRule* out, std::string* err) {
  std::istringstream in(text);
  std::string word;
  in >> word;
  static const std::map<std::string, FaultAction> actions{
      {"drop-reply", FaultAction::DropReply},   {"corrupt-reply", FaultAction::CorruptReply},
      {"nak", FaultAction::Nak},                {"silence", FaultAction::Silence},
      {"delay", FaultAction::Delay},            {"drop-byte", FaultAction::DropByte},
      {"corrupt-byte", FaultAction::CorruptByte}, {"disconnect", FaultAction::Disconnect},
      {"garbage", FaultAction::Garbage},        {"duplicate-reply", FaultAction::DuplicateReply},
      {"reset", FaultAction::Reset},            {"cut", FaultAction::Cut},
      {"wrong-baud", FaultAction::WrongBaud}};
  const auto a = actions.find(word);
  if (a == actions.end()) {
    *err = "unknown fault \"" + word + "\"";
    return false;
  }
  FaultRule r;
  r.action = a->second;
  if (r.action == FaultAction::Delay) r.n = 0;
  if (r.action == FaultAction::Disconnect || r.action == FaultAction::Cut || r.action == FaultAction::WrongBaud)
    r.ms = 15000;
  if (r.action == FaultAction::WrongBaud) r.baud = 19200;
  while (in >> word) {
    const auto eq = word.find('=');
    if (eq == std::string::npos) {
      *err = "expected name=value, found \"" + word + "\"";
      return false;
    }
    const std::string name = word.substr(0, eq), value = word.substr(eq + 1);
    if (name == "n") {
      if (!NumTo(value, 0, 0xFFFFFFFF, &r.n, err)) return false;
    } else if (name == "count") {
      if (!NumTo(value, 0, 0xFFFFFFFF, &r.count, err)) return false;
    } else if (name == "type") {
      if (!NumTo(value, 0, 255, &r.type, err)) return false;
    } else if (name == "ms") {
      if (!NumTo(value, 0, 3'600'000, &r.ms, err)) return false;
    } else if (name == "at") {
      if (!NumTo(value, 0, 0xFFFFFFFF, &r.at, err)) return false;
    } else if (name == "bit") {
      if (!NumTo(value, 0, 7, &r.bit, err)) return false;
    } else if (name == "seed") {
      if (!NumTo(value, 0, 0xFFFFFFFF, &r.seed, err)) return false;
    } else if (name == "baud") {
      if (!NumTo(value, 300, 921600, &r.baud, err)) return false;
    } else if (name == "dir") {
      if (value == "to-host") r.toHost = true;
      else if (value == "to-receiver") r.toHost = false;
      else {
        *err = "dir is to-host or to-receiver";
        return false;
      }
    } else {
      *err = "unknown fault setting \"" + name + "\"";
      return false;
    }
  }
  if (r.n == 0 && r.action != FaultAction::Delay) {
    *err = "n=0 (every match) is only for delay";
    return false;
  }
  *out = r;
  return true;
}

using Setter = std::function<bool(const std::string& value, Profile& p, std::string* err)>;

const std::map<std::string, Setter>& Setters() {
  static const std::map<std::string, Setter> setters{
      {"product", [](auto& v, Profile& p, auto* e) { return Text(v, 31, &p.product, e) && (!p.product.empty() || (*e = "product may not be empty", false)); }},
      {"mode", [](auto& v, Profile& p, auto* e) {
         if (v == "application") p.startInMonitor = false;
         else if (v == "monitor") p.startInMonitor = true;
         else return (*e = "mode is application or monitor", false);
         return true;
       }},
      {"serial", [](auto& v, Profile& p, auto* e) { return Text(v, 31, &p.serial, e); }},
      {"owner1", [](auto& v, Profile& p, auto* e) { return Text(v, 35, &p.owner1, e); }},
      {"owner2", [](auto& v, Profile& p, auto* e) { return Text(v, 35, &p.owner2, e); }},
      {"version", [](auto& v, Profile& p, auto* e) { return Text(v, 15, &p.version, e); }},
      {"refver", [](auto& v, Profile& p, auto* e) { return Text(v, 15, &p.refver, e); }},
      {"monitor.version", [](auto& v, Profile& p, auto* e) { return Text(v, 15, &p.monitorVersion, e); }},
      {"product.code", [](auto& v, Profile& p, auto* e) { return NumTo(v, 0, 255, &p.productCode, e); }},
      {"product.id", [](auto& v, Profile& p, auto* e) { return NumTo(v, 0, 0xFFFF, &p.productId, e); }},
      {"product.capability", [](auto& v, Profile& p, auto* e) { return NumTo(v, 0, 3, &p.capability, e); }},
      {"product.board", [](auto& v, Profile& p, auto* e) { return NumTo(v, 0, 255, &p.board, e); }},
      {"product.monitor", [](auto& v, Profile& p, auto* e) {
         std::vector<std::uint8_t> l;
         if (!NumList(v, 255, &l, e, false)) return false;
         if (l.size() != 2) return (*e = "product.monitor is major,minor", false);
         p.monitorMajor = l[0];
         p.monitorMinor = l[1];
         return true;
       }},
      {"product.installed", [](auto& v, Profile& p, auto* e) {
         std::vector<std::uint8_t> l;
         if (!NumList(v, 255, &l, e, false)) return false;
         if (l.size() != 2) return (*e = "product.installed is major,minor", false);
         p.installedMajor = l[0];
         p.installedMinor = l[1];
         return true;
       }},
      {"product.date", [](auto& v, Profile& p, auto* e) {
         std::vector<std::uint16_t> l;
         if (!NumList(v, 0xFFFF, &l, e, false)) return false;
         if (l.size() != 2 || l[0] > 255) return (*e = "product.date is month,year", false);
         p.dateMonth = static_cast<std::uint8_t>(l[0]);
         p.dateYear = l[1];
         return true;
       }},
      {"product.features", [](auto& v, Profile& p, auto* e) { return PairList(v, 0xFFFF, 0xFFFF, 32, &p.features, e); }},
      {"port.number", [](auto& v, Profile& p, auto* e) { return NumTo(v, 0, 255, &p.port, e); }},
      {"port.baud", [](auto& v, Profile& p, auto* e) { return NumTo(v, 300, 921600, &p.baud, e); }},
      {"port.data_bits", [](auto& v, Profile& p, auto* e) { return NumTo(v, 7, 8, &p.dataBits, e); }},
      {"port.stop_bits", [](auto& v, Profile& p, auto* e) {
         if (!NumTo(v, 1, 2, &p.stopBits, e)) return false;
         return true;
       }},
      {"port.parity", [](auto& v, Profile& p, auto* e) {
         if (v.size() != 1 || std::string("NOEMS").find(v[0]) == std::string::npos)
           return (*e = "port.parity is one of N O E M S", false);
         p.parity = v[0];
         return true;
       }},
      {"port.mode", [](auto& v, Profile& p, auto* e) { return Text(v, 15, &p.portMode, e) && (!p.portMode.empty() || (*e = "port.mode may not be empty", false)); }},
      {"port.status", [](auto& v, Profile& p, auto* e) { return Text(v, 15, &p.portStatus, e) && (!p.portStatus.empty() || (*e = "port.status may not be empty", false)); }},
      {"port.accept_set_comms", [](auto& v, Profile& p, auto* e) { return Bool(v, &p.acceptSetComms, e); }},
      {"monitor.baud", [](auto& v, Profile& p, auto* e) { return NumTo(v, 300, 921600, &p.monitorBaud, e); }},
      {"versions.software", [](auto& v, Profile& p, auto* e) { return Field5(v, &p.softwareField, e); }},
      {"versions.middle", [](auto& v, Profile& p, auto* e) { return Field5(v, &p.middleField, e); }},
      {"versions.boot", [](auto& v, Profile& p, auto* e) { return Field5(v, &p.bootField, e); }},
      {"gps.utc_offset", [](auto& v, Profile& p, auto* e) { return NumTo(v, 0, 99, &p.utcOffset, e); }},
      {"hw.flags", [](auto& v, Profile& p, auto* e) { return NumTo(v, 0, 255, &p.hwFlags, e); }},
      {"hw.flags_at", [](auto& v, Profile& p, auto* e) {
         if (!NumTo(v, 19, 45, &p.hwFlagsAt, e)) return false;
         if (p.hwFlagsAt != 19 && p.hwFlagsAt != 45) return (*e = "hw.flags_at is 19 or 45", false);
         return true;
       }},
      {"radio.pipe", [](auto& v, Profile& p, auto* e) {
         if (v == "ack") p.radioPipe = Profile::Pipe::Ack;
         else if (v == "nak") p.radioPipe = Profile::Pipe::Nak;
         else if (v == "silent") p.radioPipe = Profile::Pipe::Silent;
         else return (*e = "radio.pipe is ack, nak or silent", false);
         return true;
       }},
      {"radio.version", [](auto& v, Profile& p, auto* e) { return Text(v, 40, &p.radioVersion, e); }},
      {"radio.sync_states", [](auto& v, Profile& p, auto* e) { return NumList(v, 255, &p.radioSyncStates, e, false); }},
      {"radio.out_of_sync", [](auto& v, Profile& p, auto* e) { return NumTo(v, 0, 1, &p.radioOutOfSync, e); }},
      {"radio.spacing", [](auto& v, Profile& p, auto* e) { return NumList(v, 255, &p.radioSpacing, e, true); }},
      {"radio.config_size", [](auto& v, Profile& p, auto* e) { return NumTo(v, 0, 2055, &p.radioConfigSize, e); }},
      {"radio.accept_config", [](auto& v, Profile& p, auto* e) { return Bool(v, &p.radioAcceptConfig, e); }},
      {"radio.store_config", [](auto& v, Profile& p, auto* e) { return Bool(v, &p.radioStoreConfig, e); }},
      {"radio.dictionary", [](auto& v, Profile& p, auto* e) { return Bool(v, &p.radioDictionary, e); }},
      {"radio.mode", [](auto& v, Profile& p, auto* e) { return NumTo(v, 0, 255, &p.radioMode, e); }},
      {"radio.setting", [](auto& v, Profile& p, auto* e) { return NumTo(v, 0, 0xFFFF, &p.radioSetting, e); }},
      {"radio.tx_hz", [](auto& v, Profile& p, auto* e) { return NumTo(v, 0, 0xFFFFFFFFu, &p.radioTxHz, e); }},
      {"radio.rx_hz", [](auto& v, Profile& p, auto* e) { return NumTo(v, 0, 0xFFFFFFFFu, &p.radioRxHz, e); }},
      {"radio.power", [](auto& v, Profile& p, auto* e) { return NumTo(v, 0, 0xFFFF, &p.radioPower, e); }},
      {"net.dhcp", [](auto& v, Profile& p, auto* e) { return NumTo(v, 0, 1, &p.dhcp, e); }},
      {"net.ip", [](auto& v, Profile& p, auto* e) { return Address(v, p.ip, e); }},
      {"net.netmask", [](auto& v, Profile& p, auto* e) { return Address(v, p.netmask, e); }},
      {"net.broadcast", [](auto& v, Profile& p, auto* e) { return Address(v, p.broadcast, e); }},
      {"net.gateway", [](auto& v, Profile& p, auto* e) { return Address(v, p.gateway, e); }},
      {"net.dns", [](auto& v, Profile& p, auto* e) { return Address(v, p.dns, e); }},
      {"net.http_port", [](auto& v, Profile& p, auto* e) { return NumTo(v, 0, 0xFFFF, &p.httpPort, e); }},
      {"net.http_extra", [](auto& v, Profile& p, auto* e) {
         std::vector<std::uint8_t> l;
         if (!NumList(v, 255, &l, e, false)) return false;
         if (l.size() != 2) return (*e = "net.http_extra is two bytes", false);
         p.httpExtra[0] = l[0];
         p.httpExtra[1] = l[1];
         return true;
       }},
      {"errorlog.entry", [](auto& v, Profile& p, auto* e) {
         if (p.errorLog.size() >= kMaxEntries) return (*e = "more than 1000 error-log entries", false);
         ErrorLogEntry entry;
         if (!Entry(v, &entry, e)) return false;
         p.errorLog.push_back(entry);
         return true;
       }},
      {"errorlog.long_form", [](auto& v, Profile& p, auto* e) { return Bool(v, &p.errorLogLongForm, e); }},
      {"errorlog.image_version", [](auto& v, Profile& p, auto* e) { return NumTo(v, 1, 3, &p.errorLogImageVersion, e); }},
      {"errorlog.base", [](auto& v, Profile& p, auto* e) { return NumTo(v, 0, 0xFFFFFFFF, &p.errorLogBase, e); }},
      {"errorlog.offset", [](auto& v, Profile& p, auto* e) { return NumTo(v, 0, 0xFFFFFFFF, &p.errorLogOffset, e); }},
      {"errorlog.sector_size", [](auto& v, Profile& p, auto* e) { return NumTo(v, 128, 0x100000, &p.errorLogSectorSize, e); }},
      {"errorlog.sectors", [](auto& v, Profile& p, auto* e) { return NumTo(v, 1, 16, &p.errorLogSectors, e); }},
      {"clone.accept", [](auto& v, Profile& p, auto* e) { return Bool(v, &p.cloneAccept, e); }},
      {"clone.activation", [](auto& v, Profile& p, auto* e) { return NumList(v, 255, &p.cloneActivation, e, false); }},
      {"clone.interval_ms", [](auto& v, Profile& p, auto* e) { return NumTo(v, 1, 60000, &p.cloneIntervalMs, e); }},
      {"clone.refuse_chunk", [](auto& v, Profile& p, auto* e) { return NumTo(v, 0, 1u << 24, &p.cloneRefuseChunk, e); }},
      {"upload.busy_first", [](auto& v, Profile& p, auto* e) { return Bool(v, &p.uploadBusyFirst, e); }},
      {"upload.states", [](auto& v, Profile& p, auto* e) {
         if (!PairList(v, 255, 3'600'000, kMaxList, &p.uploadStates, e)) return false;
         if (p.uploadStates.empty()) return (*e = "upload.states may not be empty", false);
         return true;
       }},
      {"upload.reboot_ms", [](auto& v, Profile& p, auto* e) { return NumTo(v, 0, 600000, &p.uploadRebootMs, e); }},
      {"update.keep_version", [](auto& v, Profile& p, auto* e) { return Bool(v, &p.keepVersion, e); }},
      {"monitor.legacy_erase", [](auto& v, Profile& p, auto* e) { return Bool(v, &p.legacyErase, e); }},
      {"monitor.switch_baud", [](auto& v, Profile& p, auto* e) {
         if (v == "accept") p.acceptSwitchBaud = true;
         else if (v == "refuse") p.acceptSwitchBaud = false;
         else return (*e = "monitor.switch_baud is accept or refuse", false);
         return true;
       }},
      {"monitor.hardware_info", [](auto& v, Profile& p, auto* e) { return Bool(v, &p.hardwareInfo, e); }},
      {"monitor.erase_ms", [](auto& v, Profile& p, auto* e) { return NumTo(v, 0, 600000, &p.eraseMs, e); }},
      {"monitor.erase_fails", [](auto& v, Profile& p, auto* e) { return Bool(v, &p.eraseFails, e); }},
      {"monitor.chip", [](auto& v, Profile& p, auto* e) { return Text(v, 15, &p.chip, e); }},
      {"flash.base", [](auto& v, Profile& p, auto* e) { return NumTo(v, 0, 0xFFFFFFFF, &p.flashBase, e); }},
      {"flash.app_start", [](auto& v, Profile& p, auto* e) { return NumTo(v, 0, 0xFFFFFFFF, &p.appStart, e); }},
      {"flash.regions", [](auto& v, Profile& p, auto* e) { return Regions(v, &p.regions, e); }},
      {"flash.keep", [](auto& v, Profile& p, auto* e) { return Bool(v, &p.keepFlash, e); }},
      {"flash.top_sector", [](auto& v, Profile& p, auto* e) { return NumTo(v, 256, 0x1000000, &p.topSectorSize, e); }},
      {"controller.version", [](auto& v, Profile& p, auto* e) { return NumTo(v, 0, 255, &p.controllerVersion, e); }},
      {"monitor.auto_on", [](auto& v, Profile& p, auto* e) { return NumTo(v, 1, 2, &p.autoOn, e); }},
      {"timing.turnaround_us", [](auto& v, Profile& p, auto* e) { return NumTo(v, 0, 10'000'000, &p.turnaroundUs, e); }},
      {"timing.app_to_monitor_ms", [](auto& v, Profile& p, auto* e) { return NumTo(v, 0, 600000, &p.appToMonitorMs, e); }},
      {"timing.monitor_to_app_ms", [](auto& v, Profile& p, auto* e) { return NumTo(v, 0, 600000, &p.monitorToAppMs, e); }},
      {"timing.reset_ms", [](auto& v, Profile& p, auto* e) { return NumTo(v, 0, 600000, &p.resetMs, e); }},
      {"fault", [](auto& v, Profile& p, auto* e) {
         if (p.faults.size() >= kMaxFaults) return (*e = "more than 100 fault rules", false);
         FaultRule r;
         if (!Fault(v, &r, e)) return false;
         p.faults.push_back(r);
         return true;
       }},
  };
  return setters;
}

}  // namespace

bool Profile::Parse(const std::string& text, Profile* profile, std::string* error) {
  std::string ignored;
  if (!error) error = &ignored;
  if (text.size() > kMaxText) {
    *error = "profile larger than 1 MB";
    return false;
  }
  Profile p = *profile;
  std::size_t pos = 0;
  int lineNo = 0;
  while (pos < text.size()) {
    std::size_t nl = text.find('\n', pos);
    if (nl == std::string::npos) nl = text.size();
    const std::string raw = text.substr(pos, nl - pos);
    pos = nl + 1;
    ++lineNo;
    auto fail = [&](const std::string& what) {
      *error = "line " + std::to_string(lineNo) + ": " + what;
      return false;
    };
    if (raw.size() > kMaxLine) return fail("line longer than 1024 characters");
    std::string line = raw;
    const auto hash = line.find('#');
    if (hash != std::string::npos) line.resize(hash);
    line = Trim(line);
    if (line.empty()) continue;
    const auto eq = line.find('=');
    if (eq == std::string::npos) return fail("expected key = value, found \"" + line + "\"");
    const std::string key = Trim(line.substr(0, eq));
    const std::string value = Trim(line.substr(eq + 1));
    const auto setter = Setters().find(key);
    if (setter == Setters().end()) return fail("unknown key \"" + key + "\"");
    std::string what;
    if (!setter->second(value, p, &what)) return fail(key + ": " + what);
    if (key == "fault") p.faults.back().line = lineNo;
  }
  *profile = std::move(p);
  return true;
}

bool Profile::Load(const std::string& path, Profile* profile, std::string* error) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) {
    *error = path + ": cannot be opened";
    return false;
  }
  std::string text;
  char buffer[4096];
  std::size_t n = 0;
  while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) {
    text.append(buffer, n);
    if (text.size() > kMaxText) break;
  }
  std::fclose(f);
  std::string what;
  if (!Parse(text, profile, &what)) {
    *error = path + " " + what;
    return false;
  }
  return true;
}

}  // namespace sim

#include "device/BreakInfo.h"

#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <string_view>
#include <vector>

#include "afx/Clock.h"
#include "afx/Trace.h"
#include "device/ModelTable.h"
#include "port/SerialComException.h"
#include "port/SerialInterface.h"

namespace {

struct SpeedText {
  const char* text;
  int code;
};
constexpr SpeedText kSpeedTexts[] = {{"460800", 16}, {"230400", 15}, {"115200", 12}, {"57600", 11},
                                     {"38400", 9},   {"19200", 8},   {"14400", 7},   {"9600", 6},
                                     {"4800", 5},    {"2400", 4},    {"1200", 3}};

// The non-empty ","-separated items of a field, looking at no more than
// kMaxFieldLength characters of it.
std::vector<std::string> Items(std::string_view field) {
  field = field.substr(0, CBreakInfo::kMaxFieldLength);
  std::vector<std::string> items;
  size_t pos = 0;
  while (pos <= field.size()) {
    size_t comma = field.find(',', pos);
    if (comma == std::string_view::npos) comma = field.size();
    if (comma > pos) items.emplace_back(field.substr(pos, comma - pos));
    pos = comma + 1;
  }
  return items;
}

// Item `n` (1-based, counting non-empty items), or nothing when there are fewer.
std::optional<std::string> Item(const std::vector<std::string>& items, size_t n) {
  if (n < 1 || n > items.size()) return std::nullopt;
  return items[n - 1];
}

// The text between `first` and `last`; empty when they are out of order.
std::string_view Between(std::string_view text, size_t first, size_t last) {
  if (first >= text.size() || last <= first) return {};
  return text.substr(first, std::min(last, text.size()) - first);
}

// atoi without its undefined overflow: clamps to the int range.
int ToInt(const std::string& s) {
  const long v = std::strtol(s.c_str(), nullptr, 10);
  if (v > INT_MAX) return INT_MAX;
  if (v < INT_MIN) return INT_MIN;
  return static_cast<int>(v);
}

float ToFloat(const std::string& s) { return static_cast<float>(std::strtod(s.c_str(), nullptr)); }

// From `name` ("SERIAL") to the next ";" after it, or to the end.
std::string_view TrailingField(std::string_view text, std::string_view name) {
  const size_t at = text.find(name);
  if (at == std::string_view::npos) return {};
  const size_t start = at + 1;  // past the ";"
  const size_t end = text.find(';', start);
  return Between(text, start, end == std::string_view::npos ? text.size() : end);
}

}  // namespace

CBreakInfo::CBreakInfo(const char* rawText) { m_bValid = ParsePacketData(rawText) ? 1 : 0; }

DWORD CBreakInfo::BaudRateFromCode(int code) {
  DWORD rate = 0;
  return CSerialInterface::BaudRateFromIndex(code, &rate) ? rate : 9600;
}

CBreakInfo::ProductKind CBreakInfo::ClassifyProduct(const char* productName) {
  if (productName == nullptr) return ProductKind::Other;
  if (CModelTable::IsApplicationModel(productName)) return ProductKind::Application;
  if (CModelTable::IsMonitorModel(productName)) return ProductKind::Monitor;
  return ProductKind::Other;
}

bool CBreakInfo::ParsePacketData(const char* rawText) {
  if (rawText == nullptr) return false;
  const std::string_view text(rawText);
  // Parsed into a copy, so that a reply that does not parse leaves this record as it was.
  CBreakInfo parsed = *this;

  const size_t portAt = text.find(";PORT");
  if (text.rfind("PRODUCT", 0) != 0 || portAt == std::string_view::npos || portAt < 1) return false;
  if (auto name = Item(Items(text.substr(0, portAt)), 2)) parsed.m_strProductName = *name;

  const size_t statusAt = text.find(";PORTSTATUS");
  const size_t versionAt = text.find(";VERSION");
  const size_t portEnd = statusAt != std::string_view::npos ? statusAt : versionAt;
  if (portEnd == std::string_view::npos || versionAt == std::string_view::npos) return false;

  const std::vector<std::string> port = Items(Between(text, portAt + 1, portEnd));
  if (auto item = Item(port, 2)) parsed.m_nPortNumber = ToInt(*item);
  if (auto item = Item(port, 3)) {
    for (const SpeedText& s : kSpeedTexts) {
      if (*item == s.text) {
        parsed.m_nBaudCode = s.code;
        break;
      }
    }
  }
  if (auto item = Item(port, 5)) {
    if (*item == "7") parsed.m_nDataBitsCode = 0;
    else if (*item == "8") parsed.m_nDataBitsCode = 1;
  }
  if (auto item = Item(port, 6)) {
    if (*item == "1") parsed.m_nStopBitsCode = 0;
    else if (*item == "2") parsed.m_nStopBitsCode = 2;
  }
  if (auto item = Item(port, 7)) {
    static constexpr char kParity[] = "NOEMS";
    if (item->size() == 1) {
      if (const char* p = std::strchr(kParity, (*item)[0]); p != nullptr && *p != '\0')
        parsed.m_nParityCode = static_cast<int>(p - kParity);
    }
  }
  const auto mode = Item(port, 8);
  parsed.m_bPortMode = mode && ((*mode)[0] == 'T' || (*mode)[0] == 'W');

  // Without a PORTSTATUS field this range runs backwards and is empty.
  const std::vector<std::string> status = Items(Between(text, portEnd + 1, versionAt));
  const auto fixed = Item(status, 2);
  parsed.m_bPortFixed = fixed && *fixed == "FIX";

  const size_t commAt = text.find(";COMM");
  if (commAt == std::string_view::npos) return false;
  const std::vector<std::string> version = Items(Between(text, versionAt + 1, commAt));
  if (auto item = Item(version, 2)) {
    parsed.m_strVersion = *item;
    parsed.m_fVersion = ToFloat(*item);
  }

  if (auto item = Item(Items(TrailingField(text, ";SERIAL")), 2)) parsed.m_strSerialNumber = *item;
  if (auto item = Item(Items(TrailingField(text, ";REFVER")), 2)) {
    parsed.m_strRefVersion = *item;
    parsed.m_fRefVersion = ToFloat(*item);
  }
  *this = parsed;
  return true;
}

std::optional<CString> CBreakInfo::GetRawBreakData(CioInterface& port) {
  int state = 0;
  BYTE checksum = 0;
  size_t length = 0;
  size_t index = 0;
  std::vector<char> buffer;
  const std::time_t start = AfxTime();
  while (std::difftime(AfxTime(), start) < kReplySeconds) {
    BYTE b = 0;
    if (!port.ReadByte(&b)) return std::nullopt;
    switch (state) {
      case 0:  // start
        if (b == 0x02) {
          checksum = 0;
          buffer.clear();
          state = 1;
        }
        break;
      case 1:  // status
        checksum = static_cast<BYTE>(checksum + b);
        state = 2;
        break;
      case 2:  // type
        if (b == kReplyType) {
          checksum = static_cast<BYTE>(checksum + b);
          state = 3;
        } else {
          state = 0;
        }
        break;
      case 3:  // length
        if (b == 0) {
          state = 5;
        } else {
          length = b;
          checksum = static_cast<BYTE>(checksum + b);
          buffer.assign(length + 1, '\0');
          index = 0;
          state = 4;
        }
        break;
      case 4:  // data
        buffer[index++] = static_cast<char>(b);
        checksum = static_cast<BYTE>(checksum + b);
        if (index == length) state = 5;
        break;
      case 5:  // checksum
        state = b == checksum ? 6 : 0;
        break;
      case 6:  // end
        if (b == 0x03) return CString(buffer.empty() ? "" : buffer.data());
        state = 0;
        break;
    }
  }
  return std::nullopt;
}

void CBreakInfo::SendBreakRequest(CioInterface& port) {
  static constexpr BYTE kRequest[] = {0x02, 0x00, kRequestType, 0x00, kRequestType, 0x03};
  port.Write(kRequest, sizeof kRequest);
}

void CBreakInfo::ApplyPortSettings(CSerialInterface& port) const {
  if (m_bValid) {
    port.SetBaudIndex(m_nBaudCode);
    port.SetDataBits(m_nDataBitsCode);
    port.SetParity(m_nParityCode);
    port.SetStopBits(m_nStopBitsCode);
  } else {
    port.SetBaudIndex(6);
    port.SetDataBits(1);
    port.SetParity(0);
    port.SetStopBits(0);
  }
}

bool CBreakInfo::RetrieveBreakInfo(CSerialInterface& port, bool retry, bool noWait) {
  m_bValid = 0;
  port.SetBaudIndex(6);
  port.SetDataBits(1);
  port.SetParity(0);
  port.SetStopBits(0);

  const int attempts = retry ? 3 : 1;
  std::optional<CString> reply;
  for (int attempt = 1; attempt <= attempts && !reply; ++attempt) {
    try {
      port.SendBreak(kBreakMs);
      reply = GetRawBreakData(port);
      if (!reply) {
        SendBreakRequest(port);
        reply = GetRawBreakData(port);
      }
    } catch (const CSerialComException& e) {
      if (attempt == attempts) throw;
      TRACE("RetrieveBreakInfo: attempt %d: port failure %u ignored\n", attempt, e.GetErrorCode());
    }
  }
  if (reply) {
    TRACE("break info: %s\n", reply->c_str());
    m_bValid = ParsePacketData(reply->c_str()) ? 1 : 0;
    if (m_bValid && !m_bPortMode) {
      ApplyPortSettings(port);
      if (!noWait) Sleep(kSettlingMs);
    }
  }
  return m_bValid != 0;
}

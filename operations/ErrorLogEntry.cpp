#include "operations/ErrorLogEntry.h"

#include <cstdint>
#include <cstring>

#include "afx/Format.h"
#include "device/ByteReader.h"

namespace {

constexpr int kAbsent = -1;

// Where each field lies in each of the five layouts (byte offsets from the
// first data byte of a reply or from the state byte of an image record).
struct FieldMap {
  int number, id, vpc, pc, da, rr1, rr2, version, year, month, day, timeOfWeek, week;
  int upTime, stackPointer, trace, userDataLength, userData;
  size_t size;
};

constexpr FieldMap kShortReplyMap{4, 8, 9, 10, 14, 18, 22, 26, 28, 30, 31, 32, 36,
                                  kAbsent, kAbsent, kAbsent, kAbsent, kAbsent, 38};
constexpr FieldMap kLongReplyMap{5, 31, 32, 9, 13, 17, 21, 25, 27, 29, 30, 33, 37, 39, 43, 47, 87, 89, 129};
constexpr FieldMap kImageV1Map{4, 36, 37, 8, 12, 16, 20, 24, 26, 28, 29, 30, 34,
                               kAbsent, kAbsent, kAbsent, kAbsent, kAbsent, 40};
constexpr FieldMap kImageV2Map{1, 27, 28, 5, 9, 13, 17, 21, 23, 25, 26, 29, 33,
                               kAbsent, kAbsent, kAbsent, kAbsent, kAbsent, 35};
constexpr FieldMap kImageV3Map{1, 27, 28, 5, 9, 13, 17, 21, 23, 25, 26, 29, 33, 35, 39, 43, 83, 85, 125};

const FieldMap& MapFor(CErrorLogEntry::Layout layout) {
  switch (layout) {
    case CErrorLogEntry::Layout::ShortReply: return kShortReplyMap;
    case CErrorLogEntry::Layout::LongReply: return kLongReplyMap;
    case CErrorLogEntry::Layout::ImageV1: return kImageV1Map;
    case CErrorLogEntry::Layout::ImageV2: return kImageV2Map;
    case CErrorLogEntry::Layout::ImageV3: break;
  }
  return kImageV3Map;
}

// Reads multi-byte fields big-endian, or as they lie when the data already
// is in host order. Offsets come from the maps above and are checked by the
// caller against the layout's size.
class FieldReader {
 public:
  FieldReader(const BYTE* data, size_t size, bool hostOrder) : reader_(data, size), data_(data), host_(hostOrder) {}
  BYTE U8(int at) const {
    std::uint8_t v = 0;
    reader_.U8(static_cast<size_t>(at), v);
    return v;
  }
  WORD U16(int at) const {
    std::uint16_t v = 0;
    if (host_) {
      if (reader_.Has(static_cast<size_t>(at), 2)) std::memcpy(&v, data_ + at, 2);
    } else {
      reader_.U16BE(static_cast<size_t>(at), v);
    }
    return v;
  }
  DWORD U32(int at) const {
    std::uint32_t v = 0;
    if (host_) {
      if (reader_.Has(static_cast<size_t>(at), 4)) std::memcpy(&v, data_ + at, 4);
    } else {
      reader_.U32BE(static_cast<size_t>(at), v);
    }
    return v;
  }
  void Bytes(int at, BYTE* out, size_t count) const { reader_.Bytes(static_cast<size_t>(at), out, count); }

 private:
  CByteReader reader_;
  const BYTE* data_;
  bool host_;
};

constexpr std::int64_t kMsPerDay = 86'400'000;
constexpr std::int64_t kMsPerHour = 3'600'000;
constexpr std::int64_t kMsPerMinute = 60'000;

// Days since 1970-01-01 of a civil date, and back (proleptic Gregorian).
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void CivilFromDays(std::int64_t z, std::int64_t& y, unsigned& m, unsigned& d) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  y = static_cast<std::int64_t>(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = doy - (153 * mp + 2) / 5 + 1;
  m = mp < 10 ? mp + 3 : mp - 9;
  y += m <= 2;
}

}  // namespace

CErrorLogEntry::CErrorLogEntry(WORD format, BYTE hostOrder)
    : m_nNumber(0xFFFFFFFF),
      m_nID(0xFF),
      m_nVPC(0xFF),
      m_nPC(0xFFFFFFFF),
      m_nDA(0xFFFFFFFF),
      m_nRR1(0xFFFFFFFF),
      m_nRR2(0xFFFFFFFF),
      m_nSoftwareVersion(0xFFFF),
      m_nSoftwareYear(0xFFFF),
      m_nSoftwareMonth(0xFF),
      m_nSoftwareDay(0xFF),
      m_nTimeOfWeek(0xFFFFFFFF),
      m_nWeek(0xFFFF),
      m_nUpTime(0xFFFFFFFF),
      m_nStackPointer(0xFFFFFFFF),
      m_nUserDataLength(0xFFFF),
      m_nState(kStateErased),
      m_nFormat(format),
      m_bHostOrder(hostOrder) {
  std::memset(m_trace, 0xFF, sizeof m_trace);
  std::memset(m_userData, 0xFF, sizeof m_userData);
}

size_t CErrorLogEntry::RecordSize(int imageVersion) {
  switch (imageVersion) {
    case 1: return kImageV1Map.size;
    case 2: return kImageV2Map.size;
    case 3: return kImageV3Map.size;
    default: return 0;
  }
}

bool CErrorLogEntry::Decode(Layout layout, const BYTE* data, size_t length) {
  const FieldMap& map = MapFor(layout);
  if (data == nullptr || length < map.size) return false;
  const FieldReader r(data, length, m_bHostOrder != 0);
  m_nNumber = r.U32(map.number);
  m_nID = r.U8(map.id);
  m_nVPC = r.U8(map.vpc);
  m_nPC = r.U32(map.pc);
  m_nDA = r.U32(map.da);
  m_nRR1 = r.U32(map.rr1);
  m_nRR2 = r.U32(map.rr2);
  m_nSoftwareVersion = r.U16(map.version);
  m_nSoftwareYear = r.U16(map.year);
  m_nSoftwareMonth = r.U8(map.month);
  m_nSoftwareDay = r.U8(map.day);
  m_nTimeOfWeek = r.U32(map.timeOfWeek);
  m_nWeek = r.U16(map.week);
  if (map.upTime != kAbsent) {
    m_nUpTime = r.U32(map.upTime);
    m_nStackPointer = r.U32(map.stackPointer);
    for (int i = 0; i < kTraceCount; ++i) m_trace[i] = r.U32(map.trace + 4 * i);
    m_nUserDataLength = r.U16(map.userDataLength);
    r.Bytes(map.userData, m_userData, kUserDataSize);
  }
  return true;
}

bool CErrorLogEntry::DecodeReply(const BYTE* data, size_t length) {
  if (data == nullptr || length < 2 || data[0] != 0xFF) return false;
  if (data[1] == kShortReplyKind && length == kShortReplySize) {
    if (!Decode(Layout::ShortReply, data, length)) return false;
    m_nFormat = kShortFormat;
  } else if (data[1] == kLongReplyKind && length == kLongReplySize) {
    if (!Decode(Layout::LongReply, data, length)) return false;
    m_nFormat = kLongFormat;
  } else {
    return false;
  }
  m_nState = kStateValid;
  return true;
}

bool CErrorLogEntry::DecodeRecord(const BYTE* record, size_t length, int imageVersion) {
  Layout layout;
  switch (imageVersion) {
    case 1: layout = Layout::ImageV1; break;
    case 2: layout = Layout::ImageV2; break;
    case 3: layout = Layout::ImageV3; break;
    default: return false;
  }
  if (!Decode(layout, record, length)) return false;
  m_nState = record[0];
  return true;
}

CString CErrorLogEntry::GetTypeText() const {
  switch (m_nRR1) {
    case 1: return "Startup Error";
    case 2: return "Radio Error";
    case 3: return "Runtime Warning";
    default: return "Runtime Error";
  }
}

bool CErrorLogEntry::GetUtcTime(SYSTEMTIME* out) const {
  if (m_nWeek == 0xFFFF || m_nTimeOfWeek == 0xFFFFFFFF) return false;
  const std::int64_t t = static_cast<std::int64_t>(m_nTimeOfWeek) + static_cast<std::int64_t>(m_nUtcOffset) * 1000;
  const std::int64_t dayNumber = static_cast<std::int64_t>(m_nWeek) * 7 + t / kMsPerDay;
  const std::int64_t msOfDay = t % kMsPerDay;
  std::int64_t year = 0;
  unsigned month = 0, day = 0;
  const std::int64_t days = DaysFromCivil(1980, 1, 6) + dayNumber;
  CivilFromDays(days, year, month, day);
  if (out) {
    out->wYear = static_cast<WORD>(year);
    out->wMonth = static_cast<WORD>(month);
    // 1970-01-01 was a Thursday.
    out->wDayOfWeek = static_cast<WORD>(((days % 7) + 11) % 7);
    out->wDay = static_cast<WORD>(day);
    out->wHour = static_cast<WORD>(msOfDay / kMsPerHour);
    out->wMinute = static_cast<WORD>(msOfDay % kMsPerHour / kMsPerMinute);
    out->wSecond = static_cast<WORD>(msOfDay % kMsPerMinute / 1000);
    out->wMilliseconds = static_cast<WORD>(msOfDay % 1000);
  }
  return true;
}

CString CErrorLogEntry::FormatTime(const char* unavailable) const {
  SYSTEMTIME st{};
  if (!GetUtcTime(&st)) return unavailable;
  // The short date and the long time, as the desktop shows them by default.
  return FormatText("%d/%d/%d %d:%02d:%02d", st.wMonth, st.wDay, st.wYear, st.wHour, st.wMinute, st.wSecond);
}

CString CErrorLogEntry::GetSummary() const {
  const CString number = FormatString(201, m_nNumber);
  SYSTEMTIME st{};
  if (!GetUtcTime(&st)) return FormatText("%s:\t%s  At time: Not Available", GetTypeText(), number);
  return FormatText("%s:\t%s  At time: %s UTC", GetTypeText(), number, FormatTime(""));
}

int CErrorLogEntry::GetTraceLength() const {
  int n = 0;
  while (n < kTraceCount && m_trace[n] != 0) ++n;
  return n;
}

int CErrorLogEntry::GetUserDataShown() const {
  return m_nUserDataLength < kUserDataSize ? m_nUserDataLength : kUserDataSize;
}

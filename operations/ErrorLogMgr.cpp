#include "operations/ErrorLogMgr.h"

#include <cstring>

#include "device/BreakInfo.h"
#include "device/ByteReader.h"
#include "device/GarnexException.h"
#include "device/GarnexInterface.h"
#include "port/SerialInterface.h"
#include "protocol/TCErrorLog.h"
#include "protocol/TCRetrieveGPSTime.h"

int CErrorLogMgr::GetValidCount() const {
  int n = 0;
  for (const auto& e : m_entries) n += e->IsValid() ? 1 : 0;
  return n;
}

int CErrorLogMgr::GetShownCount(bool diagnostic) const {
  int n = 0;
  for (const auto& e : m_entries) n += (e->IsValid() || (diagnostic && e->IsDeleted())) ? 1 : 0;
  return n;
}

CErrorLogEntry* CErrorLogMgr::GetAt(int index) const {
  if (index < 0 || index >= GetCount()) return nullptr;
  return m_entries[static_cast<size_t>(index)].get();
}

void CErrorLogMgr::Clear() { m_entries.clear(); }

bool CErrorLogMgr::RetrieveFromReceiver(CGarnexInterface& device) {
  CSerialInterface& port = *device.GetPort();
  const DWORD com = device.ComNumber();

  BYTE utcOffset = 0;
  {
    CTCRetrieveGPSTime time;
    long offset = 0;
    if (time.SendPacket(port) && time.ReceiveReply(port) && time.GetUTCOffset(&offset) && offset >= 0 &&
        offset <= 0xFF)
      utcOffset = static_cast<BYTE>(offset);
  }

  Clear();
  WORD count = 0;
  {
    CTCErrorLog request;
    request.SetEntryCountRequest();
    if (!request.SendRequest(port) || !request.ReceiveReply(port)) throw CGarnexException(708, com);
    if (!request.GetEntryCount(&count)) throw CGarnexException(707, com);
  }
  if (count == 0) {
    m_bRetrieved = true;
    return true;
  }

  CBreakInfo info;
  if (!info.RetrieveBreakInfo(port, true, false)) throw CGarnexException(701, com);

  // Receivers that know the second form answer it with the long record;
  // the others stay quiet and every entry is read with the first form.
  bool longForm = false;
  {
    port.DiscardStaleInput();
    CTCErrorLog probe;
    probe.SetReadEntryLongRequest(static_cast<WORD>(count - 1));
    longForm = probe.SendRequest(port) && probe.ReceiveReply(port);
  }

  for (int index = count - 1; index >= 0; --index) {
    // Entry replies carry no index: one that came twice or after its time-out
    // would be listed in the place of the next entry.
    port.DiscardStaleInput();
    CTCErrorLog request;
    if (longForm) request.SetReadEntryLongRequest(static_cast<WORD>(index));
    else request.SetReadEntryRequest(static_cast<WORD>(index));
    if (!request.SendRequest(port) || !request.ReceiveReply(port)) throw CGarnexException(708, com);
    auto entry = std::make_unique<CErrorLogEntry>(CErrorLogEntry::kShortFormat, 0);
    entry->m_nUtcOffset = utcOffset;
    if (!entry->DecodeReply(request.GetDataPtr(), request.GetDataSize())) throw CGarnexException(707, com);
    m_entries.push_back(std::move(entry));
  }
  m_bRetrieved = true;
  return true;
}

bool CErrorLogMgr::DecodeImage(const BYTE* buffer, size_t length, bool hostOrder) {
  const CByteReader reader(buffer, length);
  std::uint32_t magic = 0;
  std::uint16_t version = 0;
  if (!reader.U32BE(0, magic) || !reader.U16BE(4, version)) throw CGarnexException(kBadImage, 0);
  if (hostOrder) {
    std::memcpy(&magic, buffer, 4);
    std::memcpy(&version, buffer + 4, 2);
  }
  const size_t recordSize = CErrorLogEntry::RecordSize(version);
  if (magic != kImageMagic || recordSize == 0) throw CGarnexException(kBadImage, 0);

  const WORD format = version == 3 ? CErrorLogEntry::kLongFormat : CErrorLogEntry::kShortFormat;
  const size_t records = length / recordSize > 0 ? length / recordSize - 1 : 0;
  for (size_t k = 1; k <= records; ++k) {
    const BYTE* record = buffer + k * recordSize;
    auto entry = std::make_unique<CErrorLogEntry>(format, hostOrder ? 1 : 0);
    switch (record[0]) {
      case CErrorLogEntry::kStateValid:
      case CErrorLogEntry::kStateDeleted:
        entry->DecodeRecord(record, recordSize, version);
        break;
      case CErrorLogEntry::kStateEmpty:
      case CErrorLogEntry::kStateErased:
        entry->m_nState = record[0];
        break;
      default:
        return false;
    }
    m_entries.push_back(std::move(entry));
  }
  return true;
}

void CErrorLogMgr::ClearOnReceiver(CGarnexInterface& device) {
  CSerialInterface& port = *device.GetPort();
  const DWORD com = device.ComNumber();
  CBreakInfo info;
  if (!info.RetrieveBreakInfo(port, true, false)) throw CGarnexException(701, com);
  if (!info.IsApplication()) throw CGarnexException(709, com);
  CTCErrorLog request;
  request.SetClearRequest();
  if (!request.SendRequest(port)) throw CGarnexException(708, com);
  CTCPacket ack(0);
  if (!ack.ReceivePacket(port, 3.0)) throw CGarnexException(708, com);
  if (!ack.AckReceived()) throw CGarnexException(707, com);
}

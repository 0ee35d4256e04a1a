#include "port/SerialInterface.h"

#include <vector>

#include "afx/Clock.h"
#include "afx/Format.h"
#include "afx/Trace.h"

namespace {

// 256000 stands before 230400: the order of the receiver's speed codes.
constexpr DWORD kBaudRates[CSerialInterface::kBaudCount] = {110,   300,   600,    1200,   2400,   4800,
                                                            9600,  14400, 19200,  38400,  56000,  57600,
                                                            115200, 128000, 256000, 230400, 460800};
constexpr BYTE kDataBits[] = {7, 8};
constexpr int kParityCount = 5;
constexpr int kStopBitsCount = 3;

template <typename T, size_t N>
bool Lookup(const T (&table)[N], int index, T* out) {
  if (index < 0 || static_cast<size_t>(index) >= N) return false;
  *out = table[index];
  return true;
}

constexpr DWORD kPurgeOutput = afx::PURGE_TXABORT | afx::PURGE_TXCLEAR;
constexpr DWORD kPurgeInput = afx::PURGE_RXABORT | afx::PURGE_RXCLEAR;

}  // namespace

bool CSerialInterface::BaudRateFromIndex(int index, DWORD* rate) { return Lookup(kBaudRates, index, rate); }
bool CSerialInterface::DataBitsFromIndex(int index, BYTE* bits) { return Lookup(kDataBits, index, bits); }
bool CSerialInterface::ParityFromIndex(int index, BYTE* parity) {
  if (index < 0 || index >= kParityCount) return false;
  *parity = static_cast<BYTE>(index);
  return true;
}
bool CSerialInterface::StopBitsFromIndex(int index, BYTE* stopBits) {
  if (index < 0 || index >= kStopBitsCount) return false;
  *stopBits = static_cast<BYTE>(index);
  return true;
}

CSerialInterface::CSerialInterface(CLogNode* log) : CioInterface(log, 1) {}

CSerialInterface::~CSerialInterface() {
  if (m_bOpen) Close();
}

CString CSerialInterface::GetDeviceName() const { return FormatText("COM%d", m_nPort); }

DWORD CSerialInterface::DeviceError(DWORD fallback) const {
  const DWORD error = m_device ? m_device->LastError() : 0;
  return error != 0 ? error : fallback;
}

void CSerialInterface::Fail(DWORD code, UINT port, DWORD fallback) {
  const DWORD error = DeviceError(fallback);
  const bool shown = FailureShown();
  Close();
  throw CSerialComException(code, port, error, shown);
}

void CSerialInterface::Open(UINT port, int dataBitsIndex, int stopBitsIndex, int parityIndex, int baudIndex) {
  Close();
  const CString path = FormatText("\\\\.\\COM%d", port);
  DWORD error = 0;
  std::unique_ptr<afx::SerialDevice> device = afx::OpenSerialDevice(path, &error);
  if (!device)
    throw CSerialComException(CSerialComException::kOpen, port, error ? error : ERROR_FILE_NOT_FOUND, FailureShown());
  m_device = std::move(device);
  m_strDevicePath = path;
  SetUp(port, dataBitsIndex, stopBitsIndex, parityIndex, baudIndex);
  NoteWorking();
}

void CSerialInterface::Attach(std::unique_ptr<afx::SerialDevice> device, UINT port, int dataBitsIndex,
                              int stopBitsIndex, int parityIndex, int baudIndex) {
  Close();
  if (!device) throw CSerialComException(CSerialComException::kOpen, port, ERROR_INVALID_HANDLE, FailureShown());
  m_device = std::move(device);
  m_strDevicePath = FormatText("\\\\.\\COM%d", port);
  SetUp(port, dataBitsIndex, stopBitsIndex, parityIndex, baudIndex);
  NoteWorking();
}

void CSerialInterface::SetUp(UINT port, int dataBitsIndex, int stopBitsIndex, int parityIndex, int baudIndex) {
  afx::LineSettings settings;
  settings.dtrControl = 0;
  settings.rtsControl = 0;
  if (!BaudRateFromIndex(baudIndex, &settings.baudRate) || !DataBitsFromIndex(dataBitsIndex, &settings.byteSize) ||
      !ParityFromIndex(parityIndex, &settings.parity) || !StopBitsFromIndex(stopBitsIndex, &settings.stopBits))
    Fail(CSerialComException::kOpen, port, ERROR_INVALID_PARAMETER);

  // The fastest speed the port can run, for callers that raise the rate later.
  m_nHighestBaudRate = 38400;
  for (DWORD rate : {460800u, 230400u, 115200u}) {
    if (m_device->IsSpeedSupported(rate)) {
      m_nHighestBaudRate = rate;
      break;
    }
  }

  if (!m_device->SetLineSettings(settings)) Fail(CSerialComException::kOpen, port);

  m_nPort = port;
  m_nBaudRate = settings.baudRate;
  m_nDataBits = settings.byteSize;
  m_nParity = settings.parity;
  m_nStopBits = settings.stopBits;
  m_bOpen = 1;

  SetFlowControl(0);
  Purge(true, true);

  afx::COMMTIMEOUTS timeouts;
  timeouts.ReadIntervalTimeout = afx::MAXDWORD;
  timeouts.ReadTotalTimeoutMultiplier = afx::MAXDWORD;
  timeouts.ReadTotalTimeoutConstant = kReadTimeoutMs;
  timeouts.WriteTotalTimeoutMultiplier = 19200 / m_nBaudRate;
  timeouts.WriteTotalTimeoutConstant = kWriteTimeoutMs;
  if (!m_device->SetTimeouts(timeouts)) Fail(CSerialComException::kOpen, port);

  Purge(true, true);
  TRACE("COM%u open (%s) at %u baud\n", port, m_device->Path().c_str(), static_cast<unsigned>(m_nBaudRate));
}

void CSerialInterface::Close() {
  if (m_device && m_bOpen) {
    m_device->Purge(kPurgeOutput | kPurgeInput);
  }
  if (m_device) m_device->Close();
  m_device.reset();
  m_nPort = 0;
  m_bOpen = 0;
}

void CSerialInterface::WriteByte(BYTE value) { Write(&value, 1); }

void CSerialInterface::Write(const BYTE* buffer, DWORD count) {
  if (!m_device) throw CSerialComException(CSerialComException::kWrite, m_nPort, ERROR_INVALID_HANDLE, FailureShown());
  DWORD written = 0;
  if (!m_device->Write(buffer, count, &written) || written < count)
    throw CSerialComException(CSerialComException::kWrite, m_nPort, DeviceError(ERROR_TIMEOUT), FailureShown());
  NoteWorking();
}

void CSerialInterface::WriteFrame(std::initializer_list<Piece> pieces) {
  m_frame.clear();
  for (const Piece& p : pieces) m_frame.insert(m_frame.end(), p.data, p.data + p.count);
  Write(m_frame.data(), static_cast<DWORD>(m_frame.size()));
}

void CSerialInterface::WaitBeforeNextRead(DWORD ms) {
  const std::int64_t until = afx::GetClock().NowNs() + static_cast<std::int64_t>(ms) * 1'000'000;
  if (m_device)
    m_device->DeferInput(until);
  else
    afx::GetClock().SleepUntilNs(until);
}

bool CSerialInterface::ReadByte(BYTE* value) { return Read(value, 1) == 1; }

DWORD CSerialInterface::Read(BYTE* buffer, DWORD count) {
  if (!m_device) throw CSerialComException(CSerialComException::kRead, m_nPort, ERROR_INVALID_HANDLE, FailureShown());
  DWORD got = 0;
  if (!m_device->Read(buffer, count, &got)) {
    const DWORD error = DeviceError(ERROR_GEN_FAILURE);
    DWORD errors = 0;
    m_device->ClearError(&errors);
    throw CSerialComException(CSerialComException::kRead, m_nPort, error, FailureShown());
  }
  if (got > 0) NoteWorking();
  if (got < count) {
    DWORD errors = 0;
    m_device->ClearError(&errors);
    // A short read that returned buffered bytes without waiting ends with a
    // purge of both directions, as the port always has; one that waited and
    // timed out only clears the error state.
    if (got > 0) Purge(true, true);
  }
  return got;
}

void CSerialInterface::FlushOutput() { Purge(true, false); }
void CSerialInterface::FlushInput() { Purge(false, true); }

void CSerialInterface::Purge(bool output, bool input) {
  if (!m_device || (!output && !input)) return;
  m_device->Purge((output ? kPurgeOutput : 0) | (input ? kPurgeInput : 0));
}

void CSerialInterface::DiscardStaleInput() {
  afx::COMMTIMEOUTS saved;
  if (!m_device || !m_device->GetTimeouts(&saved)) return;
  afx::COMMTIMEOUTS quiet = saved;
  quiet.ReadIntervalTimeout = afx::MAXDWORD;
  quiet.ReadTotalTimeoutMultiplier = afx::MAXDWORD;
  quiet.ReadTotalTimeoutConstant = kQuietMs;
  m_device->SetTimeouts(quiet);
  afx::Clock& clock = afx::GetClock();
  const std::int64_t limit = clock.NowNs() + static_cast<std::int64_t>(kStaleLimitMs) * 1'000'000;
  BYTE discarded[256];
  DWORD got = 0;
  while (m_device->Read(discarded, sizeof discarded, &got) && got > 0 && clock.NowNs() < limit) {
  }
  m_device->SetTimeouts(saved);
  Purge(false, true);
}

void CSerialInterface::SetTimeouts(DWORD readMs, DWORD writeMs) {
  afx::COMMTIMEOUTS timeouts;
  if (!m_device || !m_device->GetTimeouts(&timeouts)) Fail(CSerialComException::kOpen, m_nPort);
  if (readMs != kKeepTimeout) timeouts.ReadTotalTimeoutConstant = readMs;
  if (writeMs != kKeepTimeout) timeouts.WriteTotalTimeoutConstant = writeMs;
  if (!m_device->SetTimeouts(timeouts)) Fail(CSerialComException::kOpen, m_nPort);
  Purge(true, true);
}

bool CSerialInterface::GetTimeouts(afx::COMMTIMEOUTS* timeouts) const {
  return m_device && timeouts && m_device->GetTimeouts(timeouts);
}

template <typename Change>
void CSerialInterface::ChangeLineSettings(Change change) {
  afx::LineSettings settings;
  if (!m_device || !m_device->GetLineSettings(&settings)) Fail(CSerialComException::kLineSettings, m_nPort);
  change(settings);
  if (!m_device->SetLineSettings(settings)) Fail(CSerialComException::kLineSettings, m_nPort);
}

void CSerialInterface::SetBaudIndex(int index) {
  DWORD rate = 0;
  if (!BaudRateFromIndex(index, &rate)) Fail(CSerialComException::kLineSettings, m_nPort, ERROR_INVALID_PARAMETER);
  SetBaudRate(rate);
}

void CSerialInterface::SetBaudRate(DWORD rate) {
  if (rate == 0) Fail(CSerialComException::kLineSettings, m_nPort, ERROR_INVALID_PARAMETER);
  Purge(true, true);
  ChangeLineSettings([rate](afx::LineSettings& s) { s.baudRate = rate; });
  if (rate != m_nBaudRate) TRACE("COM%u: %u baud\n", m_nPort, static_cast<unsigned>(rate));
  m_nBaudRate = rate;
}

void CSerialInterface::SetParity(int index) {
  BYTE parity = 0;
  if (!ParityFromIndex(index, &parity)) Fail(CSerialComException::kLineSettings, m_nPort, ERROR_INVALID_PARAMETER);
  ChangeLineSettings([parity](afx::LineSettings& s) { s.parity = parity; });
  m_nParity = parity;
}

void CSerialInterface::SetDataBits(int index) {
  BYTE bits = 0;
  if (!DataBitsFromIndex(index, &bits)) Fail(CSerialComException::kLineSettings, m_nPort, ERROR_INVALID_PARAMETER);
  ChangeLineSettings([bits](afx::LineSettings& s) { s.byteSize = bits; });
  m_nDataBits = bits;
}

void CSerialInterface::SetStopBits(int index) {
  BYTE stopBits = 0;
  if (!StopBitsFromIndex(index, &stopBits))
    Fail(CSerialComException::kLineSettings, m_nPort, ERROR_INVALID_PARAMETER);
  ChangeLineSettings([stopBits](afx::LineSettings& s) { s.stopBits = stopBits; });
  m_nStopBits = stopBits;
}

void CSerialInterface::SetFlowControl(BYTE flags) {
  ChangeLineSettings([flags](afx::LineSettings& s) {
    const bool dsr = flags & 0x01;
    const bool cts = flags & 0x02;
    const bool xonXoff = flags & 0x04;
    s.outxDsrFlow = dsr;
    s.dtrControl = dsr ? 2 : 0;  // handshake : disabled
    s.outxCtsFlow = cts;
    s.rtsControl = cts ? 2 : 1;  // handshake : enabled
    s.outX = xonXoff;
    s.inX = xonXoff;
    s.xonChar = 0x11;
    s.xoffChar = 0x13;
    s.xonLim = 0;
    s.xoffLim = 0;
  });
  m_nFlowControl = flags;
}

void CSerialInterface::SendBreak(DWORD ms) {
  TRACE("COM%u: break\n", m_nPort);
  Sleep(ms);
  if (m_device && !m_device->SetBreak(true)) TRACE("CSerialInterface::SendBreak: COM%u cannot raise a break\n", m_nPort);
  Sleep(ms);
  if (m_device) m_device->SetBreak(false);
}

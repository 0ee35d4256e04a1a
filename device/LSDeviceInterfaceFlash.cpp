// Flash programming through the monitor, controller loading, and the
// application-mode upload.
//
// Convention of every loop here: a port failure inside a request loop, or a
// file failure inside a file-reading loop, is shown to the user at once and
// replaced by a silent CLSDeviceException (809 for the port, 800 for the
// file), so that the outer handlers report each failure exactly once.
#include <algorithm>
#include <functional>
#include <thread>

#include "afx/Clock.h"
#include "afx/Trace.h"
#include "device/LSDeviceInterface.h"
#include "firmware/LSFlashFile.h"
#include "firmware/LSFlashFileException.h"
#include "plugin/Progress.h"
#include "port/SerialComException.h"
#include "port/SerialInterface.h"
#include "protocol/LSEraseEnquirePacket.h"
#include "protocol/LSEraseFlashPacket.h"
#include "protocol/LSProgramFlashPacket.h"
#include "protocol/LSProgramRamPacket.h"
#include "protocol/LSProgramTICFWBufPacket.h"
#include "protocol/LSProgramTICFWNowPacket.h"
#include "protocol/TCFirmwareUpload.h"

namespace {

constexpr int kSends = 6;
constexpr int kHandshakeTries = 9;
constexpr UINT kControllerChunk = 1500;
// The loader's erase status byte.
constexpr BYTE kEraseDone = 1;
constexpr BYTE kEraseFailed = 2;
// The result byte of an upload reply.
constexpr size_t kUploadResult = 2;
constexpr size_t kUploadState = 3;
constexpr BYTE kBlockAgain = 1;
constexpr BYTE kBlockFailed = 3;

DWORD CurrentThreadId() { return static_cast<DWORD>(std::hash<std::thread::id>{}(std::this_thread::get_id())); }

// Reports progress only when the integer percentage grows, and checks for
// cancel each time it does.
class ProgressStep {
 public:
  ProgressStep(const OperationParams& params, int start) : params_(params), last_(start) {}
  void Report(int percent) {
    if (percent <= last_) return;
    last_ = percent;
    SetProgress(params_, percent);
    CheckCancel(params_);
  }

 private:
  const OperationParams& params_;
  int last_;
};

// The first data byte of a reply; `fallback` when the reply carried none.
BYTE FirstByte(const CPacket& packet, BYTE fallback) {
  return packet.GetDataSize() > 0 ? packet.GetData()[0] : fallback;
}

BYTE ByteAt(const CPacket& packet, size_t index, BYTE fallback) {
  return packet.GetDataSize() > index ? packet.GetData()[index] : fallback;
}

}  // namespace

void CLSDeviceInterface::EraseFlash(const SectorList& sectors, int from, int to) {
  SetProgress(m_params, from);
  if (sectors.empty()) return;
  const float step = static_cast<float>(to - from) / static_cast<float>(sectors.size());
  CSerialInterface& port = *m_pPort;
  for (size_t index = 0; index < sectors.size(); ++index) {
    const DWORD sector = sectors[index];
    bool extended = m_bFirstErase == 0;
    for (;;) {
      CLSEraseFlashPacket request(sector, extended);
      if (!request.SendPacket(port)) throw CLSDeviceException(809, ComNumber(), true);
      CLSPacket reply(extended ? CLSEraseFlashPacket::kAlternateCommand : CLSEraseFlashPacket::kCommand);
      if (reply.ReceivePacket(port, kReplySeconds)) break;
      if (extended) {
        TRACE("Error CLSDeviceException 10\n");
        throw CLSDeviceException(801, ComNumber());
      }
      // A loader that ignores the legacy erase speaks only the extended set;
      // the object keeps using it from here on.
      m_bFirstErase = 0;
      extended = true;
    }
    for (DWORD poll = 1;; ++poll) {
      CLSEraseEnquirePacket enquiry(extended);
      if (!enquiry.SendPacket(port)) throw CLSDeviceException(809, ComNumber(), true);
      CLSPacket reply(extended ? CLSEraseEnquirePacket::kAlternateCommand : CLSEraseEnquirePacket::kCommand);
      if (!reply.ReceivePacket(port, kReplySeconds)) {
        TRACE("Error CLSDeviceException 11\n");
        throw CLSDeviceException(801, ComNumber());
      }
      const BYTE status = FirstByte(reply, 0);
      if (status == kEraseFailed) throw CLSDeviceException(802, ComNumber());
      if (GetEraseLimit() < poll / 3) throw CLSDeviceException(803, ComNumber());
      const bool erased = status == kEraseDone;
      if (erased) CheckCancel(m_params);
      // The loader needs the line quiet for a while after each enquiry.
      Sleep(333);
      Sleep(666);
      if (erased) break;
    }
    SetProgress(m_params, from + static_cast<int>(step * static_cast<float>(index + 1)));
  }
}

void CLSDeviceInterface::ProgramFlashBlock(DWORD address, const BYTE* data, WORD count) {
  const bool extended = m_bFirstErase == 0;
  CLSProgramFlashPacket request(address, data, count, extended);
  CLSPacket reply(extended ? CLSProgramFlashPacket::kAlternateCommand : CLSProgramFlashPacket::kCommand);
  try {
    for (int send = 1; send <= kSends; ++send) {
      if (!request.SendPacket(*m_pPort)) throw CLSDeviceException(809, ComNumber(), true);
      if (!reply.ReceivePacket(*m_pPort, kReplySeconds)) continue;
      if (FirstByte(reply, 1) == 0) {
        TRACE("Error CLSDeviceException 12\n");
        throw CLSDeviceException(813, ComNumber());
      }
      return;
    }
  } catch (const CSerialComException& e) {
    e.ReportError();
    throw CLSDeviceException(809, ComNumber(), true);
  }
  TRACE("Error CLSDeviceException 13\n");
  throw CLSDeviceException(801, ComNumber());
}

void CLSDeviceInterface::ProgramImage(CLSFlashFile& file, DWORD fileBase, DWORD length, DWORD targetBase, int from,
                                      int to) {
  FlashBlock block{};
  const unsigned span = static_cast<unsigned>(to - from);
  SetProgress(m_params, from);
  ProgressStep progress(m_params, from);
  try {
    file.Seek(fileBase, CFile::begin);
    m_nTransferThread = CurrentThreadId();
    DWORD total = 0;
    while (total < length && file.ReadNextBlock(block)) {
      WORD count = block.count;
      if (total + count > length) count = static_cast<WORD>(length - total);
      total += count;
      ProgramFlashBlock(block.address - fileBase + targetBase, block.data, count);
      progress.Report(static_cast<int>(span * total / length + static_cast<unsigned>(from)));
    }
  } catch (const CLSFlashFileException& e) {
    e.ReportError();
    throw CLSDeviceException(800, ComNumber(), true);
  } catch (const CFileException& e) {
    e.ReportError();
    throw CLSDeviceException(800, ComNumber(), true);
  }
  SetProgress(m_params, to);
}

void CLSDeviceInterface::ProgramFile(CLSFlashFile& file, DWORD offset, int from, int to) {
  FlashBlock block{};
  const std::uint64_t span = static_cast<std::uint64_t>(to - from);
  SetProgress(m_params, from);
  ProgressStep progress(m_params, from);
  try {
    file.Rewind();
    m_nTransferThread = CurrentThreadId();
    const std::uint64_t length = file.GetLength();
    while (file.ReadNextBlock(block)) {
      ProgramFlashBlock(block.address + offset, block.data, block.count);
      if (length > 0) progress.Report(from + static_cast<int>(span * file.GetPosition() / length));
    }
  } catch (const CLSFlashFileException& e) {
    e.ReportError();
    throw CLSDeviceException(800, ComNumber(), true);
  } catch (const CFileException& e) {
    e.ReportError();
    throw CLSDeviceException(800, ComNumber(), true);
  }
  SetProgress(m_params, to);
}

void CLSDeviceInterface::ProgramRam(DWORD address, const BYTE* data, WORD count) {
  CLSProgramRamPacket packet(address, data, count);
  if (!packet.SendPacket(*m_pPort)) throw CLSDeviceException(809, ComNumber(), true);
  if (!packet.ReceivePacket(*m_pPort, kReplySeconds)) {
    TRACE("Error CLSDeviceException 14\n");
    throw CLSDeviceException(801, ComNumber());
  }
}

namespace {

// Up to six sends of `request`, each awaiting `reply`: status 0 is 813, no
// reply after the last send 801, a port failure is shown and becomes a silent 809.
void SendWithRetries(CLSPacket& request, CLSPacket& reply, CSerialInterface& port, DWORD com) {
  try {
    for (int send = 1; send <= kSends; ++send) {
      if (!request.SendPacket(port)) throw CLSDeviceException(809, com, true);
      if (!reply.ReceivePacket(port, CLSDeviceInterface::kReplySeconds)) continue;
      if (FirstByte(reply, 1) == 0) throw CLSDeviceException(813, com);
      return;
    }
  } catch (const CSerialComException& e) {
    e.ReportError();
    throw CLSDeviceException(809, com, true);
  }
  TRACE("Error CLSDeviceException 15\n");
  throw CLSDeviceException(801, com);
}

}  // namespace

void CLSDeviceInterface::ProgramControllerBuffer(WORD offset, const BYTE* data, WORD count) {
  CLSProgramTICFWBufPacket request(offset, data, count);
  CLSPacket reply(CLSProgramTICFWBufPacket::kCommand);
  SendWithRetries(request, reply, *m_pPort, ComNumber());
}

void CLSDeviceInterface::ProgramControllerNow(CLSFlashFile& file, DWORD, int from, int to) {
  const std::uint64_t span = static_cast<std::uint64_t>(to - from);
  SetProgress(m_params, from);
  ProgressStep progress(m_params, from);
  try {
    file.Rewind();
    m_nTransferThread = CurrentThreadId();
    const std::uint64_t length = file.GetLength();
    BYTE chunk[kControllerChunk];
    WORD offset = 0;
    for (;;) {
      const UINT n = file.Read(chunk, kControllerChunk);
      if (n == 0) break;
      ProgramControllerBuffer(offset, chunk, static_cast<WORD>(n));
      if (length > 0) progress.Report(from + static_cast<int>(span * file.GetPosition() / length));
      if (n < kControllerChunk) break;
      offset = static_cast<WORD>(offset + n);
    }
  } catch (const CLSFlashFileException& e) {
    e.ReportError();
    throw CLSDeviceException(800, ComNumber(), true);
  } catch (const CFileException& e) {
    e.ReportError();
    throw CLSDeviceException(800, ComNumber(), true);
  }
  // The controller finishes storing the last chunk before it takes the commit.
  Sleep(500);
  CLSProgramTICFWNowPacket commit;
  CLSPacket reply(CLSProgramTICFWNowPacket::kCommand);
  SendWithRetries(commit, reply, *m_pPort, ComNumber());
  SetProgress(m_params, to);
}

namespace {

// Sends `request` and waits for the upload reply.
bool UploadExchange(CTCFirmwareUpload& request, CTCFirmwareUpload& reply, CSerialInterface& port, DWORD com) {
  if (!request.SendLongPacket(port)) throw CLSDeviceException(809, com, true);
  return reply.ReceiveLongReplyTo(request, port, CLSDeviceInterface::kReplySeconds);
}

}  // namespace

void CLSDeviceInterface::UploadFirmwareBlocks(DWORD address, const BYTE* data, WORD count, bool install) {
  CTCFirmwareUpload& request = *m_pUploadRequest;
  CTCFirmwareUpload& reply = *m_pUploadReply;
  request.SetDataBlock(install, address, data, count);
  try {
    for (int send = 1; send <= kSends; ++send) {
      if (!request.SendLongPacket(*m_pPort)) throw CLSDeviceException(809, ComNumber(), true);
      // The application needs a moment between taking a block and answering it.
      m_pPort->WaitBeforeNextRead(2);
      if (!reply.ReceiveLongReplyTo(request, *m_pPort, kReplySeconds)) continue;
      const BYTE result = ByteAt(reply, kUploadResult, 0);
      if (result == kBlockAgain) {
        if (send == kSends) throw CLSDeviceException(813, ComNumber());
        continue;
      }
      if (result == kBlockFailed) throw CLSDeviceException(813, ComNumber());
      return;
    }
  } catch (const CSerialComException& e) {
    e.ReportError();
    throw CLSDeviceException(809, ComNumber(), true);
  }
  TRACE("Error CLSDeviceException 16\n");
  throw CLSDeviceException(801, ComNumber());
}

void CLSDeviceInterface::UploadFirmware(CLSFlashFile& file, DWORD, int from, int to, bool install) {
  FlashBlock block{};
  const std::uint64_t span = static_cast<std::uint64_t>(to - from);
  // With install the second half of the bar belongs to the receiver's own install.
  SetProgress(m_params, install ? from / 2 : from);
  file.Rewind();
  m_nTransferThread = CurrentThreadId();
  m_pUploadRequest = std::make_unique<CTCFirmwareUpload>();
  m_pUploadReply = std::make_unique<CTCFirmwareUpload>();
  // The pair lives only while the upload runs, whichever way it ends.
  struct Release {
    CLSDeviceInterface& self;
    ~Release() {
      self.m_pUploadRequest.reset();
      self.m_pUploadReply.reset();
    }
  } release{*this};
  CTCFirmwareUpload& request = *m_pUploadRequest;
  CTCFirmwareUpload& reply = *m_pUploadReply;
  CSerialInterface& port = *m_pPort;
  const DWORD com = ComNumber();

  // Handshake: an application still holding a stale upload is told to start
  // over until it says it is ready; only silence uses up a try.
  try {
    request.SetStatusQuery();
    int tries = kHandshakeTries;
    for (;;) {
      if (!UploadExchange(request, reply, port, com)) {
        if (--tries == 0) {
          TRACE("Error CLSDeviceException 17\n");
          throw CLSDeviceException(801, com);
        }
        continue;
      }
      if (ByteAt(reply, kUploadResult, 1) == 0) break;
      request.SetAbandonRequest();
    }
  } catch (const CSerialComException& e) {
    e.ReportError();
    throw CLSDeviceException(809, com, true);
  }

  ProgressStep progress(m_params, install ? from / 2 : from);
  try {
    const std::uint64_t length = file.GetLength();
    while (file.ReadNextBlock(block)) {
      UploadFirmwareBlocks(block.address, block.data, block.count, install);
      if (length == 0) continue;
      const int p = from + static_cast<int>(span * file.GetPosition() / length);
      progress.Report(install ? p / 2 : p);
    }
  } catch (const CLSFlashFileException& e) {
    e.ReportError();
    throw CLSDeviceException(800, com, true);
  } catch (const CFileException& e) {
    e.ReportError();
    throw CLSDeviceException(800, com, true);
  }

  if (!install) {
    SetStatus(m_params, 4082);
  } else {
    try {
      int value = 50;
      for (bool waiting = true; waiting;) {
        request.SetStatusQuery();
        const bool answered = UploadExchange(request, reply, port, com);
        // No cancel point here: the receiver is copying the image into its
        // flash, and a reset now could leave it with neither image.
        Sleep(2000);
        if (!answered) continue;
        const BYTE state = ByteAt(reply, kUploadState, 0xFF);
        switch (state) {
          case 0:
            SetStatus(m_params, 4076);
            waiting = false;
            break;
          case 1:
          case 2:
            SetStatus(m_params, 4076 + state);
            break;
          case 3:
          case 4:
          case 5: {
            static constexpr int kCeiling[] = {80, 98, 99};
            SetStatus(m_params, 4076 + state);
            value = std::min(value + 1, kCeiling[state - 3]);
            SetProgress(m_params, value);
            break;
          }
          case 6:
            SetStatus(m_params, 4082);
            SetProgress(m_params, 100);
            waiting = false;
            break;
          case 7:
            SetStatus(m_params, 4083);
            TRACE("Error CLSDeviceException 18\n");
            throw CLSDeviceException(801, com);
          default:
            break;
        }
      }
    } catch (const CSerialComException& e) {
      e.ReportError();
      throw CLSDeviceException(809, com, true);
    }
    // A cancel asked for during the install is honoured once it is over.
    CheckCancel(m_params);
  }
  SetProgress(m_params, to);
}

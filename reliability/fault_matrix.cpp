// The fault matrix: every fault of the line and the receiver, injected at
// every phase of the operations that write to a receiver, many times with
// different seeds, against the in-process virtual receiver in virtual time.
//
// Each run first needs to know where its phase lies. A clean run of the same
// operation (same profile, no fault) is recorded once per phase and link; the
// receiver's transcript numbers the requests it saw, so a fault rule anchored
// with `at=K` hits exactly the K-th request, its frame or its reply, in the
// faulted run, which is identical to the clean one up to that point.
//
// A run passes when it ends as the system prescribes: success without a
// message box, or a failure (or the cancel that follows a message the run
// showed itself) with exactly one message box; within its time budget; with
// the port closed and nothing holding the receiver; and, when it reports
// success, with the receiver holding exactly what was sent.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "afx/Clock.h"
#include "afx/Module.h"
#include "afx/PropertySheet.h"
#include "afx/Registry.h"
#include "afx/Window.h"
#include "firmware/FirmwareEntryManager.h"
#include "operations/ErrorLogDlg.h"
#include "operations/RetrieveErrorLogOperation.h"
#include "operations/UpdateOperation.h"
#include "operations/UploadCloneFileOperation.h"
#include "plugin/Dispatch.h"
#include "plugin/GarnexApp.h"
#include "sim/ImageWriter.h"
#include "sim/SimAttach.h"
#include "support/RecordingWindow.h"
#include "support/ScriptedUi.h"
#include "support/TempDir.h"

namespace {

constexpr int kCom = 7;
constexpr std::uint32_t kMonitorBase = 0x02400000;
constexpr std::uint32_t kAppBase = 0x02440000;
constexpr std::int64_t kNsPerSecond = 1'000'000'000;

// ------------------------------------------------------------------ the work

enum class Work { UpdateMonitor, UpdateApplication, Clone, ErrorLog };

// The receiver as the operations find it: a QZ710 without a radio, whose
// application is 3.50 (programmed from the monitor) or 4.10 (installs the
// container itself).
std::string BaseProfile(Work work) {
  std::string p = "product.features = 1:0\nproduct.code = 100\nproduct.id = 100\nradio.pipe = nak\n";
  if (work == Work::UpdateMonitor) p += "version = 3.50\nproduct.installed = 3,50\n";
  if (work == Work::ErrorLog)
    for (int i = 0; i < 6; ++i)
      p += "errorlog.entry = " + std::to_string(0x10 + i) + ", 1, 2, 0x02440000, 0x20000000, " +
           std::to_string(1 + i % 3) + ", 0, 412, 2016, 3, 7, " + std::to_string(3600000 * (i + 1)) + ", 2000, 55\n";
  return p;
}

struct Image {
  std::vector<std::uint8_t> monitor, application, file;
};

// A container with the receiver's current monitor (3.21) and a 4.20
// application of 16 blocks, so that first, middle and last blocks differ.
const Image& TheImage() {
  static const Image image = [] {
    Image m;
    m.monitor.resize(6 * 1024);
    for (std::size_t i = 0; i < m.monitor.size(); ++i) m.monitor[i] = static_cast<std::uint8_t>(i * 7 + 3);
    sim::IdentityBlock id;
    id.name = "KELVOR ";
    id.version = 420;
    id.imageSize = 16 * 1024;
    m.application = sim::ImageWriter::Identity(id);
    while (m.application.size() < id.imageSize)
      m.application.push_back(static_cast<std::uint8_t>(m.application.size() * 13 % 251));
    m.file = sim::ImageWriter::Timg({{0, 3, 21, kMonitorBase, m.monitor}, {2, 4, 20, kAppBase, m.application}});
    return m;
  }();
  return image;
}

std::vector<std::uint8_t> CloneContent() {
  std::vector<std::uint8_t> d(1500);
  for (std::size_t i = 0; i < d.size(); ++i) d[i] = static_cast<std::uint8_t>("<clone/>"[i % 8]);
  return d;
}

// Moves virtual time like VirtualClock, and notices a run that outlives its
// budget: the receiver is pulled away so that the run ends, and a run that
// still does not end is stopped by an exception.
struct RunawayRun {};
class BudgetClock : public afx::VirtualClock {
 public:
  std::int64_t capNs = INT64_MAX;
  std::function<void()> onOverrun;
  bool overran = false;
  void SleepUntilNs(std::int64_t deadlineNs) override {
    if (deadlineNs > capNs && !overran) {
      overran = true;
      if (onOverrun) onOverrun();
    }
    if (overran && deadlineNs > capNs + 3600 * kNsPerSecond) throw RunawayRun{};
    afx::VirtualClock::SleepUntilNs(deadlineNs);
  }
};

struct RunRecord {
  int result = -1;
  std::vector<ScriptedUi::Box> boxes;
  double seconds = 0;
  bool overran = false;
  bool runaway = false;
  bool portOpen = false;
  long holders = 0;      // owners of the receiver besides the runner, after the run
  bool delivered = false;  // the receiver holds exactly what was sent
  std::vector<std::string> lines;  // error log: what the viewer listed
  std::vector<sim::Transcript::Entry> transcript;
};

// A user who goes ahead with whatever is asked: Yes to the questions, OK to
// the warning about logged files that an application-mode update shows.
struct GoAheadUi : ScriptedUi {
  GoAheadUi() { answers.assign(8, IDYES); }
  int MessageBox(HWND owner, const std::string& text, const std::string& caption, UINT flags) override {
    const int answer = ScriptedUi::MessageBox(owner, text, caption, flags);
    return (flags & 0xF) == MB_OKCANCEL ? IDOK : answer;
  }
};

// The warning about logged files, which is no report either.
bool IsDataLoggingWarning(const ScriptedUi::Box& b) { return b.text == AfxLoadString(1302); }

// One operation against a fresh receiver, registry and presenter.
RunRecord RunOnce(Work work, const std::string& profileText, double budgetSeconds,
                  const std::vector<std::string>* expectedLines) {
  RunRecord rec;
  testsupport::TempDir dir;
  afx::SetRegistryPath(dir.File("registry.reg"));
  BudgetClock clock;
  clock.capNs = static_cast<std::int64_t>(budgetSeconds * kNsPerSecond);
  afx::ScopedClock scopedClock(clock);
  GoAheadUi ui;
  ScopedUi scopedUi(ui);
  RecordingWindow window;
  afx::Event cancel;

  sim::Profile profile;
  std::string error;
  if (!sim::Profile::Parse(profileText, &profile, &error)) throw std::runtime_error("profile: " + error);
  std::shared_ptr<sim::SimAttachment> rx = sim::Attach(profile, kCom, &error);
  if (!rx) throw std::runtime_error("attach: " + error);
  clock.onOverrun = [rx] { sim::Detach(rx); };
  OperationParams params{rx->ComPort(), 0, &window, &cancel};

  std::vector<std::string> lines;
  try {
    if (work == Work::UpdateMonitor || work == Work::UpdateApplication) {
      const std::string path = dir.Write("fw_v420.timg", TheImage().file);
      HKEY root = nullptr;
      afx::RegOpenKeyPath(std::string("HKEY_LOCAL_MACHINE\\") + FirmwareEntryManager::kRootPath, KEY_ALL_ACCESS,
                          &root, true);
      RegCloseKey(root);
      FirmwareEntryManager catalogue;
      DWORD regError = 0;
      catalogue.AddFirmwareEntry(FirmwareEntry("Version 4.20", "QZ710", path.c_str(), "Version 4.20", 1), regError);
      CUpdateOperation op;
      CPropertySheet sheet;
      sheet.AddPage(&op.GetUpdatePage());
      sheet.ActivatePage(0);
      sheet.NextFrom(0);
      rec.result = RunOperation(&op, &params);
    } else if (work == Work::Clone) {
      CUploadCloneFileOperation op;
      op.GetPage().m_strPath = dir.Write("site.xml", CloneContent());
      op.GetPage().m_bInstall = FALSE;
      rec.result = RunOperation(&op, &params);
    } else {
      CRetrieveErrorLogOperation op;
      ui.onDialog = [&lines](CDialog& d) {
        if (d.TemplateId() == CErrorLogDlg::IDD) lines = d.FindControl(CErrorLogDlg::IDC_LIST)->items;
      };
      rec.result = RunOperation(&op, &params);
    }
  } catch (const RunawayRun&) {
    rec.runaway = true;
  }

  rec.seconds = static_cast<double>(clock.NowNs()) / kNsPerSecond;
  rec.overran = clock.overran;
  for (const auto& b : ui.boxes)
    if (!IsDataLoggingWarning(b)) rec.boxes.push_back(b);
  rec.portOpen = rx->IsOpen();
  sim::VirtualReceiver& r = rx->Receiver();
  switch (work) {
    case Work::UpdateMonitor:
      rec.delivered = r.Flash().Read(kAppBase, TheImage().application.size()) == TheImage().application;
      break;
    case Work::UpdateApplication:
      rec.delivered = r.Flash().Read(kAppBase, TheImage().application.size()) == TheImage().application &&
                      r.Flash().Read(kMonitorBase, TheImage().monitor.size()) == TheImage().monitor;
      break;
    case Work::Clone: {
      const auto& files = r.CloneFiles();
      rec.delivered = files.count("site") == 1 && files.at("site") == CloneContent();
      break;
    }
    case Work::ErrorLog:
      rec.delivered = expectedLines ? lines == *expectedLines : !lines.empty();
      break;
  }
  rec.transcript = r.GetTranscript().Entries();
  clock.onOverrun = nullptr;
  sim::Detach(rx);
  rec.holders = rx.use_count() - 1;
  rec.lines = std::move(lines);
  return rec;
}

// ------------------------------------------------------------- the exchanges

// One request the receiver saw, counted from 1 as the fault rules count them,
// with the bytes the host sent since the request before it and the bytes the
// receiver sent before the next one.
struct Exchange {
  std::uint32_t index = 0;
  std::string note;
  std::size_t requestBytes = 0;
  std::size_t replyBytes = 0;
};

std::vector<Exchange> Exchanges(const std::vector<sim::Transcript::Entry>& transcript) {
  std::vector<Exchange> out;
  std::size_t hostBytes = 0, rxBytes = 0;
  for (const auto& e : transcript) {
    if (e.kind == sim::Transcript::Kind::HostToReceiver) hostBytes += e.bytes.size();
    if (e.kind == sim::Transcript::Kind::ReceiverToHost) rxBytes += e.bytes.size();
    if (e.kind == sim::Transcript::Kind::Event && e.note.rfind("request ", 0) == 0) {
      if (!out.empty()) out.back().replyBytes = rxBytes;
      out.push_back({static_cast<std::uint32_t>(out.size() + 1), e.note, hostBytes, 0});
      hostBytes = rxBytes = 0;
    }
  }
  if (!out.empty()) out.back().replyBytes = rxBytes;
  return out;
}

bool IsBreak(const Exchange& x) {
  return x.note == "request break" || x.note.rfind("request break-info", 0) == 0 ||
         x.note.rfind("request report 0x6F ", 0) == 0;
}
bool IsReport(const Exchange& x, const char* type) {
  return x.note.rfind(std::string("request report ") + type + " ", 0) == 0;
}
bool IsLoader(const Exchange& x, std::initializer_list<int> commands) {
  if (x.note.rfind("request loader ", 0) != 0) return false;
  const int c = std::stoi(x.note.substr(15));
  return std::find(commands.begin(), commands.end(), c) != commands.end();
}

// ------------------------------------------------------------------ the matrix

struct Phase {
  const char* key;
  const char* title;
  Work work;
  // The exchanges of this phase, in a clean run's list.
  std::function<std::vector<Exchange>(const std::vector<Exchange>&)> pick;
};

std::vector<Exchange> Where(const std::vector<Exchange>& all, const std::function<bool(const Exchange&)>& keep) {
  std::vector<Exchange> out;
  for (const Exchange& x : all)
    if (keep(x)) out.push_back(x);
  return out;
}

std::vector<Exchange> Blocks(const std::vector<Exchange>& all) {
  return Where(all, [](const Exchange& x) { return IsLoader(x, {3, 23}); });
}

const std::vector<Phase>& Phases() {
  static const std::vector<Phase> phases = {
      {"identification", "identification", Work::UpdateMonitor,
       [](const std::vector<Exchange>& all) {
         std::vector<Exchange> out;
         for (const Exchange& x : all) {
           if (!IsBreak(x)) break;
           out.push_back(x);
         }
         return out;
       }},
      {"app-exchange", "application-mode exchange", Work::UpdateApplication,
       [](const std::vector<Exchange>& all) {
         // What the application is asked before the upload: its identity (the
         // first upload request), its versions, the new speed.
         std::vector<Exchange> out;
         bool identity = false;
         for (const Exchange& x : all) {
           if (IsBreak(x) || x.note.rfind("request report ", 0) != 0) continue;
           if (IsReport(x, "0x9B")) {
             if (identity) break;
             identity = true;
           }
           out.push_back(x);
         }
         return out;
       }},
      {"reboot", "reboot into the monitor", Work::UpdateMonitor,
       [](const std::vector<Exchange>& all) {
         // From the restart request until the monitor is connected: its
         // identification, speed, product record and hardware description.
         std::vector<Exchange> out;
         bool in = false;
         for (const Exchange& x : all) {
           if (IsReport(x, "0x87")) in = true;
           if (in && IsLoader(x, {1, 21})) break;
           if (in) out.push_back(x);
         }
         return out;
       }},
      {"erase", "erase", Work::UpdateMonitor,
       [](const std::vector<Exchange>& all) { return Where(all, [](const Exchange& x) { return IsLoader(x, {1, 2, 21, 22}); }); }},
      {"first-block", "first block", Work::UpdateMonitor,
       [](const std::vector<Exchange>& all) {
         const auto b = Blocks(all);
         return b.empty() ? b : std::vector<Exchange>{b.front()};
       }},
      {"middle-block", "middle block", Work::UpdateMonitor,
       [](const std::vector<Exchange>& all) {
         const auto b = Blocks(all);
         return b.empty() ? b : std::vector<Exchange>{b[b.size() / 2]};
       }},
      {"last-block", "last block", Work::UpdateMonitor,
       [](const std::vector<Exchange>& all) {
         const auto b = Blocks(all);
         return b.empty() ? b : std::vector<Exchange>{b.back()};
       }},
      {"app-upload", "application-mode upload", Work::UpdateApplication,
       [](const std::vector<Exchange>& all) {
         // Every upload request after the identity query: handshake, blocks, install states.
         auto out = Where(all, [](const Exchange& x) { return IsReport(x, "0x9B"); });
         if (!out.empty()) out.erase(out.begin());
         return out;
       }},
      {"clone", "clone transfer", Work::Clone,
       [](const std::vector<Exchange>& all) { return Where(all, [](const Exchange& x) { return IsReport(x, "0xB9"); }); }},
      {"error-log", "error-log read", Work::ErrorLog,
       [](const std::vector<Exchange>& all) { return Where(all, [](const Exchange& x) { return IsReport(x, "0x91"); }); }},
  };
  return phases;
}

enum class FaultKind {
  DroppedByte, FlippedBit, Garbage, WrongBaud, Duplicate, LateReply, Silence, Disconnect, Reset, UsbVanish
};

struct Fault {
  const char* key;
  const char* title;
  FaultKind kind;
};

const std::vector<Fault>& Faults() {
  static const std::vector<Fault> faults = {
      {"dropped-byte", "dropped byte", FaultKind::DroppedByte},
      {"flipped-bit", "flipped bit", FaultKind::FlippedBit},
      {"garbage", "garbage burst", FaultKind::Garbage},
      {"wrong-baud", "wrong baud rate", FaultKind::WrongBaud},
      {"duplicate", "duplicated frame", FaultKind::Duplicate},
      {"late-reply", "reply past its time-out", FaultKind::LateReply},
      {"silence", "silence", FaultKind::Silence},
      {"disconnect", "disconnect", FaultKind::Disconnect},
      {"reset", "receiver reset", FaultKind::Reset},
      {"usb-vanish", "USB device vanishes", FaultKind::UsbVanish},
  };
  return faults;
}

// Uniform in [lo, hi], from the generator's raw output so that the same seed
// draws the same numbers with every standard library.
std::uint32_t Draw(std::mt19937& g, std::uint32_t lo, std::uint32_t hi) {
  return lo + static_cast<std::uint32_t>(g() % (static_cast<std::uint64_t>(hi) - lo + 1));
}

struct Injection {
  std::string rule;        // the profile line
  std::uint32_t holdMs = 0;  // how long the fault itself lasts
  bool lasting = false;    // the receiver does not come back by itself within the run
};

// The fault rule for one run: which exchange of the phase, which byte, how long.
Injection Inject(FaultKind kind, const std::vector<Exchange>& targets, std::mt19937& g) {
  const bool replyFault = kind == FaultKind::Duplicate || kind == FaultKind::LateReply;
  std::vector<Exchange> pool;
  for (const Exchange& x : targets)
    if (!replyFault || x.replyBytes > 0) pool.push_back(x);
  if (pool.empty()) pool = targets;
  const Exchange x = pool[Draw(g, 0, static_cast<std::uint32_t>(pool.size() - 1))];
  const std::string at = " at=" + std::to_string(x.index) + " n=1";
  Injection in;
  switch (kind) {
    case FaultKind::DroppedByte:
    case FaultKind::FlippedBit:
    case FaultKind::Garbage: {
      // A byte of the request's frame (counted from the request before it)
      // or of its reply.
      bool toHost = x.replyBytes > 0 && (x.requestBytes == 0 || Draw(g, 0, 1) == 1);
      const std::size_t span = toHost ? x.replyBytes : x.requestBytes;
      const std::string anchor = toHost ? " at=" + std::to_string(x.index)
                                        : (x.index > 1 ? " at=" + std::to_string(x.index - 1) : std::string());
      const std::uint32_t n = Draw(g, 1, static_cast<std::uint32_t>(std::max<std::size_t>(span, 1)));
      const char* action = kind == FaultKind::DroppedByte ? "drop-byte" : kind == FaultKind::FlippedBit ? "corrupt-byte" : "garbage";
      in.rule = std::string(action) + anchor + " n=" + std::to_string(n) + (toHost ? " dir=to-host" : " dir=to-receiver");
      if (kind == FaultKind::FlippedBit) in.rule += " bit=" + std::to_string(Draw(g, 0, 7));
      if (kind == FaultKind::Garbage)
        in.rule += " count=" + std::to_string(Draw(g, 2, 24)) + " seed=" + std::to_string(g());
      break;
    }
    case FaultKind::WrongBaud: {
      // Speeds the system itself never uses, so the fault is always a mismatch.
      static const std::uint32_t speeds[] = {4800, 14400, 19200, 57600};
      in.holdMs = Draw(g, 500, 20000);
      in.rule = "wrong-baud" + at + " baud=" + std::to_string(speeds[Draw(g, 0, 3)]) + " ms=" + std::to_string(in.holdMs);
      break;
    }
    case FaultKind::Duplicate:
      in.rule = "duplicate-reply" + at;
      break;
    case FaultKind::LateReply:
      // Every reply in these phases is awaited for 3.0 s at most.
      in.holdMs = Draw(g, 3100, 12000);
      in.rule = "delay" + at + " ms=" + std::to_string(in.holdMs);
      break;
    case FaultKind::Silence: {
      const std::uint32_t count = Draw(g, 0, 4);  // 0: the receiver never answers again
      in.lasting = count == 0;
      in.rule = "silence" + at + " count=" + std::to_string(count);
      break;
    }
    case FaultKind::Disconnect:
      in.holdMs = Draw(g, 200, 30000);
      in.rule = "cut" + at + " ms=" + std::to_string(in.holdMs);
      break;
    case FaultKind::Reset:
      in.holdMs = 10000;  // the profile's restart time
      in.lasting = true;  // it comes back in its application, whatever it was doing
      in.rule = "reset" + at;
      break;
    case FaultKind::UsbVanish:
      in.holdMs = Draw(g, 200, 30000);
      in.rule = "disconnect" + at + " ms=" + std::to_string(in.holdMs);
      in.lasting = true;  // the port's handle is dead for good
      break;
  }
  return in;
}

// What a clean run of a phase's operation looks like on one link.
struct Reference {
  double seconds = 0;
  long holders = 0;
  std::vector<Exchange> exchanges;
  std::vector<std::string> lines;  // error log: what the viewer listed
};

using References = std::map<std::pair<Work, bool>, Reference>;

const Reference& Clean(References& cache, Work work, bool usb) {
  const auto key = std::make_pair(work, usb);
  auto it = cache.find(key);
  if (it != cache.end()) return it->second;
  const std::string profile = BaseProfile(work) + (usb ? "port.number = 15\n" : "");
  RunRecord rec = RunOnce(work, profile, 1e6, nullptr);
  Reference ref;
  ref.seconds = rec.seconds;
  ref.holders = rec.holders;
  ref.lines = rec.lines;
  ref.exchanges = Exchanges(rec.transcript);
  if (rec.result != 1 || !rec.boxes.empty() || !rec.delivered || rec.portOpen)
    throw std::runtime_error("the clean run of a phase does not succeed");
  return cache.emplace(key, std::move(ref)).first->second;
}

// ------------------------------------------------------------------- verdicts

struct Verdict {
  bool pass = true;
  bool recovered = false;
  bool asked = false;  // the monitor question came up (and was answered Yes)
  int code = 0;        // of the failure shown
  std::string why;
};

// The one message box a failed run shows: a failure message with its code,
// either the failing step's own report or the dispatcher's (headed with the
// library's version). The code goes into the cell's summary.
int FailureCode(const std::string& text) {
  std::string body = text;
  if (body.rfind("DevQZ7xx Version: ", 0) == 0) {
    const auto gap = body.find("\n\n");
    body = gap == std::string::npos ? std::string() : body.substr(gap + 2);
  }
  for (const char* heading :
       {"Device failure! [", "COM Failure! [", "QZ7xx failure! [", "File failure! [", "Incorrect hardware! ["}) {
    if (body.rfind(heading, 0) != 0) continue;
    const std::size_t at = std::strlen(heading);
    const int code = std::atoi(body.c_str() + at);
    return code > 0 && body.find(']', at) != std::string::npos ? code : 0;
  }
  // The clone upload's own failures carry no code in their text.
  for (int code = 838; code <= 848; ++code)
    if (body == AfxLoadString(static_cast<UINT>(code + 300))) return code;
  return 0;
}

// The monitor warning that ends a failed monitor install as a cancel.
bool IsMonitorWarning(const ScriptedUi::Box& b) { return b.text == AfxLoadString(4086); }
// The question whether to install the monitor the image needs.
bool IsMonitorQuestion(const ScriptedUi::Box& b) { return b.text == AfxLoadString(4085); }

Verdict Judge(const RunRecord& rec, double budgetSeconds, long holders, bool mustRecover) {
  Verdict v;
  auto fail = [&v](const std::string& why) {
    if (v.pass) v.why = why;
    v.pass = false;
  };
  if (rec.runaway) fail("never ended");
  if (rec.overran) fail("outlived its budget");
  if (rec.portOpen) fail("port left open");
  if (rec.holders != holders) fail("port object leaked");
  // A question the system asks on its way (the user says Yes) is no failure report.
  std::vector<ScriptedUi::Box> reports;
  for (const auto& b : rec.boxes)
    if (!IsMonitorQuestion(b)) reports.push_back(b);
  v.asked = reports.size() != rec.boxes.size();
  auto texts = [&reports] {
    std::string t;
    for (const auto& b : reports) t += " | " + b.text.substr(0, 70);
    std::replace(t.begin(), t.end(), '\n', ' ');
    std::replace(t.begin(), t.end(), '\r', ' ');
    return t;
  };
  if (rec.result == 1) {
    v.recovered = true;
    if (!reports.empty()) fail("success with a message box" + texts());
    if (!rec.delivered) fail("success, but the receiver does not hold what was sent");
  } else if (rec.result == 0 || rec.result == 2) {
    if (reports.size() != 1) fail("ended as " + std::to_string(rec.result) + " with " + std::to_string(reports.size()) + " message boxes" + texts());
    else if (rec.result == 2 && !IsMonitorWarning(reports[0])) fail("cancelled after" + texts());
    else if (rec.result == 0 && (v.code = FailureCode(reports[0].text)) == 0) fail("failure message without a code" + texts());
    if (rec.result == 2) v.code = 4086;
  } else {
    fail("ended as " + std::to_string(rec.result));
  }
  if (mustRecover && rec.result != 1) fail("gave up where its retries outlast the fault");
  if (rec.seconds > budgetSeconds) fail("took " + std::to_string(rec.seconds) + " s");
  return v;
}

// ------------------------------------------------------------------- findings

// Runs that break the general pass criterion although the system does there
// exactly what its own rules say, each recognised by its cell and the start of
// its reason. The table shows them as such, with the rule; they fail the exit
// status only under --strict, so that a short run in the build notices
// anything new.
struct Known {
  const char* phase;
  const char* fault;
  const char* why;
  const char* finding;
};

const std::vector<Known>& KnownFindings() {
  static const std::vector<Known> known = {
      {"app-upload", "silence", "outlived its budget",
       "the install wait polls until the receiver reports a final state, and a missing status reply makes no "
       "difference to it: a receiver that falls silent while it installs is waited for until the user cancels"},
      {"app-upload", "reset", "success, but the receiver does not hold",
       "install state 0 (\"Idle\") ends the install wait as a success, and a receiver that restarted while it "
       "installed answers 0; its flash holds its old image whole (no mixture), and the next identification shows "
       "the old version"},
      {"app-upload", "usb-vanish", "ended as 0 with 3 message boxes",
       "a port error while sending is shown by the send itself, and a long report packet's receive resends its "
       "request twice: the first send, the two resends and the upload step each show the dead port"},
      {"app-exchange", "usb-vanish", "ended as 0 with 3 message boxes",
       "the same for the identity query (a long report packet): each of its two resends shows the dead port, "
       "then the failed step shows its own message"},
      {"error-log", "duplicate", "success, but the receiver does not hold",
       "an entry reply carries no index, and a reply is matched to its request by its type alone: a duplicated "
       "reply is taken for the next entry's, and every entry after it is listed one place off"},
      {"error-log", "late-reply", "success, but the receiver does not hold",
       "the same for a reply that comes after its time-out: it is taken for the next request's"},
  };
  return known;
}

const Known* FindKnown(const Phase& p, const Fault& f, const std::string& why) {
  for (const Known& k : KnownFindings())
    if (p.key == std::string(k.phase) && f.key == std::string(k.fault) && why.rfind(k.why, 0) == 0) return &k;
  return nullptr;
}

// ------------------------------------------------------------------- running

struct Options {
  int runs = 100;
  std::uint32_t seed = 1;
  std::string writeDoc;
  std::vector<std::pair<std::string, std::string>> cells;  // phase:fault, "*" for any
  bool verbose = false;
  bool listExchanges = false;
  bool strict = false;
};

bool Selected(const Options& o, const Phase& p, const Fault& f) {
  if (o.cells.empty()) return true;
  for (const auto& [phase, fault] : o.cells)
    if ((phase == "*" || phase == p.key) && (fault == "*" || fault == f.key)) return true;
  return false;
}

struct Cell {
  bool applicable = true;
  std::string reason;  // when not applicable
  int runs = 0, passed = 0, recovered = 0, failedCleanly = 0, asked = 0;
  int unknown = 0;  // violations that are not a known finding
  std::vector<const Known*> findings;
  std::map<int, int> codes;  // failure code shown -> runs
  std::vector<std::string> failures;  // the first few, with their seed
};

std::uint32_t RunSeed(std::uint32_t seed, std::size_t phase, std::size_t fault, int run) {
  std::seed_seq seq{seed, static_cast<std::uint32_t>(phase), static_cast<std::uint32_t>(fault),
                    static_cast<std::uint32_t>(run)};
  std::uint32_t out = 0;
  seq.generate(&out, &out + 1);
  return out;
}

Cell RunCell(const Options& o, References& clean, std::size_t pi, std::size_t fi) {
  const Phase& phase = Phases()[pi];
  const Fault& fault = Faults()[fi];
  const bool usb = fault.kind == FaultKind::UsbVanish;
  Cell cell;
  const Reference& ref = Clean(clean, phase.work, usb);
  const std::vector<Exchange> targets = phase.pick(ref.exchanges);
  if (targets.empty()) {
    cell.applicable = false;
    cell.reason = usb ? "no such exchange over the USB link" : "no such exchange";
    return cell;
  }
  for (int run = 0; run < o.runs; ++run) {
    const std::uint32_t runSeed = RunSeed(o.seed, pi, fi, run);
    std::mt19937 g(runSeed);
    const Injection in = Inject(fault.kind, targets, g);
    // The run may do its work twice (an erase tried again, a reconnection),
    // wait out the fault, and spend twenty 3-s time-outs on retries.
    const double budget = 2 * ref.seconds + in.holdMs / 1000.0 + 60.0;
    const std::string profile = BaseProfile(phase.work) + (usb ? "port.number = 15\n" : "") + "fault = " + in.rule + "\n";
    const RunRecord rec = RunOnce(phase.work, profile, budget, &ref.lines);
    // A block is sent up to 6 times, each reply awaited 3 s, and the
    // upload's handshake and install wait go on longer: a passing fault
    // there (a lost or late frame, up to 4 unanswered requests, an outage
    // of at most 20 s) must be ridden out.
    const bool retried = phase.work == Work::UpdateMonitor ? std::string(phase.key).find("block") != std::string::npos
                                                            : std::string(phase.key) == "app-upload";
    const Verdict v = Judge(rec, budget, ref.holders, retried && !in.lasting && in.holdMs <= 20000);
    ++cell.runs;
    if (v.pass) {
      ++cell.passed;
      if (v.recovered) ++cell.recovered;
      else ++cell.failedCleanly;
      if (v.asked) ++cell.asked;
      if (!v.recovered) ++cell.codes[v.code];
    } else {
      const Known* k = FindKnown(phase, fault, v.why);
      if (!k) ++cell.unknown;
      else if (std::find(cell.findings.begin(), cell.findings.end(), k) == cell.findings.end()) cell.findings.push_back(k);
      if (cell.failures.size() < 3)
        cell.failures.push_back("run " + std::to_string(run) + " (" + in.rule + "): " + v.why.substr(0, 200));
    }
    if (o.verbose)
      std::fprintf(stderr, "%s %s run %d [%s] result %d %.1f s: %s%s\n", phase.key, fault.key, run, in.rule.c_str(),
                   rec.result, rec.seconds, v.pass ? "pass" : "FAIL ", v.why.c_str());
  }
  return cell;
}

std::string Table(const Options& o, const std::vector<std::vector<std::optional<Cell>>>& cells, int* violations) {
  std::ostringstream t;
  std::vector<std::string> notes;
  int failingCells = 0;
  t << "| phase \\ fault |";
  for (const Fault& f : Faults()) t << ' ' << f.title << " |";
  t << "\n|---|";
  for (std::size_t i = 0; i < Faults().size(); ++i) t << "---|";
  t << '\n';
  *violations = 0;
  for (std::size_t pi = 0; pi < Phases().size(); ++pi) {
    t << "| " << Phases()[pi].title << " |";
    for (std::size_t fi = 0; fi < Faults().size(); ++fi) {
      const auto& c = cells[pi][fi];
      if (!c) {
        t << " – |";
      } else if (!c->applicable) {
        t << " n/a (" << c->reason << ") |";
      } else if (c->passed == c->runs) {
        t << " pass " << c->passed << "/" << c->runs << ": " << c->recovered << " ok";
        if (c->asked) t << " (" << c->asked << " asked)";
        if (c->failedCleanly) {
          t << ", " << c->failedCleanly << " fail (";
          const char* sep = "";
          for (const auto& [code, n] : c->codes) {
            t << sep << code << (n == c->failedCleanly ? "" : "×" + std::to_string(n));
            sep = " ";
          }
          t << ")";
        }
        t << " |";
      } else {
        *violations += o.strict ? c->runs - c->passed : c->unknown;
        ++failingCells;
        notes.push_back("[" + std::to_string(failingCells) + "] " + Phases()[pi].title + " × " + Faults()[fi].title + ":");
        for (const Known* k : c->findings) notes.push_back("  as the rules say: " + std::string(k->finding));
        for (const std::string& f : c->failures) notes.push_back("  " + f);
        if (c->unknown) t << " **FAIL " << c->unknown << "/" << c->runs << "**";
        else t << " as the rules say " << (c->runs - c->passed) << "/" << c->runs;
        t << " [" << failingCells << "] |";
      }
    }
    t << '\n';
  }
  t << "\nCells: runs that passed / runs; \"ok\" ended in success with the receiver holding exactly what was "
       "sent, \"fail\" ended as a failure with one message box. Seed "
    << o.seed << ", " << o.runs << " runs per cell.\n";
  if (!notes.empty()) {
    t << "\nRuns outside the criterion (first runs of each cell, with the fault rule):\n\n";
    for (const std::string& n : notes) t << "    " << n << '\n';
    t << '\n';
  }
  return t.str();
}

bool WriteDoc(const std::string& path, const std::string& section) {
  std::ifstream in(path);
  if (!in) return false;
  std::stringstream buf;
  buf << in.rdbuf();
  std::string text = buf.str();
  const std::string begin = "<!-- fault-matrix:begin -->", end = "<!-- fault-matrix:end -->";
  const auto b = text.find(begin), e = text.find(end);
  if (b == std::string::npos || e == std::string::npos || e < b) return false;
  text = text.substr(0, b + begin.size()) + "\n" + section + text.substr(e);
  std::ofstream out(path, std::ios::trunc);
  out << text;
  return static_cast<bool>(out);
}

int Usage() {
  std::fprintf(stderr,
               "usage: fault_matrix [--runs N] [--seed S] [--cells PHASE:FAULT[,...]] [--write-doc FILE] [--strict]\n"
               "                    [--verbose] [--exchanges]\n"
               "phases:");
  for (const Phase& p : Phases()) std::fprintf(stderr, " %s", p.key);
  std::fprintf(stderr, "\nfaults:");
  for (const Fault& f : Faults()) std::fprintf(stderr, " %s", f.key);
  std::fprintf(stderr, "\n(either side of a cell may be *)\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    const bool more = i + 1 < argc;
    if (a == "--runs" && more) {
      o.runs = std::atoi(argv[++i]);
    } else if (a == "--seed" && more) {
      o.seed = static_cast<std::uint32_t>(std::strtoul(argv[++i], nullptr, 0));
    } else if (a == "--write-doc" && more) {
      o.writeDoc = argv[++i];
    } else if (a == "--strict") {
      o.strict = true;
    } else if (a == "--exchanges") {
      o.listExchanges = true;
    } else if (a == "--verbose") {
      o.verbose = true;
    } else if (a == "--cells" && more) {
      std::stringstream list(argv[++i]);
      std::string item;
      while (std::getline(list, item, ',')) {
        const auto colon = item.find(':');
        if (colon == std::string::npos) return Usage();
        o.cells.emplace_back(item.substr(0, colon), item.substr(colon + 1));
      }
    } else {
      return Usage();
    }
  }
  if (o.runs < 1) return Usage();
  AFX_MAINTAIN_STATE state(AfxGetStaticModuleState());
  References clean;
  if (o.listExchanges) {
    // The clean runs' requests, numbered as `at=` counts them, with each phase's share.
    for (const bool usb : {false, true})
      for (const Work w : {Work::UpdateMonitor, Work::UpdateApplication, Work::Clone, Work::ErrorLog}) {
        const Reference& ref = Clean(clean, w, usb);
        std::printf("== %s%s: %.1f s\n", w == Work::UpdateMonitor ? "update from the monitor" : w == Work::UpdateApplication ? "update through the application" : w == Work::Clone ? "clone upload" : "error-log read", usb ? " (USB)" : "", ref.seconds);
        for (const Exchange& x : ref.exchanges) {
          std::string phases;
          for (const Phase& p : Phases())
            if (p.work == w)
              for (const Exchange& t : p.pick(ref.exchanges))
                if (t.index == x.index) phases += std::string(" ") + p.key;
          std::printf("%4u %-36s %5zu > %5zu <%s\n", x.index, x.note.c_str(), x.requestBytes, x.replyBytes, phases.c_str());
        }
      }
    return 0;
  }

  std::vector<std::vector<std::optional<Cell>>> cells(Phases().size(),
                                                      std::vector<std::optional<Cell>>(Faults().size()));
  for (std::size_t pi = 0; pi < Phases().size(); ++pi)
    for (std::size_t fi = 0; fi < Faults().size(); ++fi)
      if (Selected(o, Phases()[pi], Faults()[fi])) cells[pi][fi] = RunCell(o, clean, pi, fi);

  int violations = 0;
  const std::string table = Table(o, cells, &violations);
  std::cout << table;
  if (!o.writeDoc.empty() && !WriteDoc(o.writeDoc, table)) {
    std::fprintf(stderr, "fault_matrix: cannot write the table into %s (markers missing?)\n", o.writeDoc.c_str());
    return 2;
  }
  return violations == 0 ? 0 : 1;
}

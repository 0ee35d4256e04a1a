#include "host/Options.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "hostlib/PortInventory.h"

namespace {

bool StartsWith(const std::string& s, const char* prefix) { return s.rfind(prefix, 0) == 0; }

bool ParseNumber(const char* text, double* out) {
  char* end = nullptr;
  *out = std::strtod(text, &end);
  return *text && end && *end == '\0';
}

bool ParseSet(const std::string& spec, SetValue* out) {
  const size_t colon = spec.find(':');
  const size_t eq = spec.find('=');
  if (colon == std::string::npos || eq == std::string::npos || colon > eq || colon == 0 || eq == colon + 1) return false;
  out->dialog = spec.substr(0, colon);
  out->control = spec.substr(colon + 1, eq - colon - 1);
  out->value = spec.substr(eq + 1);
  return true;
}

}  // namespace

namespace {

constexpr char kIntro[] = R"(usage: talvern [global options] COMMAND [args]

Runs the operations of a receiver plug-in (DevQZ710.so for the QZ7xx family):
loads firmware, uploads clone files, reads versions and error logs, resets
receivers and sets up their Ethernet, radio and modem.

Global options
  --plugin PATH      plug-in library; default: DevQZ710.so beside the talvern
                     binary, then the install's lib/talvern folder
  --registry FILE    registry store, a text file in the Windows .reg export format
                     (default $TALVERN_REGISTRY, else $XDG_CONFIG_HOME/talvern/registry.reg,
                     else ~/.config/talvern/registry.reg)
  --ctrl-alt         act as if Ctrl and Alt are held down (at load and at later
                     key-state checks); shows the service operation
  --batch            never prompt. A message box with one button takes it; one
                     with several is answered only by a matching --answer or by
                     --yes, else the plug-in is told Cancel or No, the box, its
                     buttons and the option that would answer it are shown, and
                     the run ends "stopped at a question" (exit 3). A box whose
                     default is Retry is retried (see --retries). Dialogs and
                     wizard pages are accepted as shown once the --set values are
                     applied.
  --answer TEXT=BUTTON   answer message boxes whose text contains TEXT with BUTTON
                     (ok, cancel, yes, no, retry, abort, ignore); repeatable, the
                     first that matches a box with that button wins
  --yes              answer Yes or OK to every question no --answer matches
                     (never Retry)
  --retries N        Retry given by the host (an --answer or a batch default) at
                     most N times in a run, then Cancel: the run stops there
                     (default 3)
  --set DLG:CTRL=VALUE   set control CTRL of the dialog or page with template id
                     DLG when it shows: text for edits, 0/1 for check boxes, a row
                     number (#N) or the row text for list and combo boxes;
                     repeatable. --set file:path=PATH answers file choosers. A
                     template, control or value that cannot apply is a usage
                     error before anything is sent to the receiver; so is a value
                     the dialog refuses, or one for a dialog that never appears
                     in a run that otherwise succeeds.
  --key DLG:CTRL=insert|delete   press Insert or Delete on list CTRL of the
                     page or dialog DLG when it shows, through the page's own key
                     handler (on the firmware page 130, list 1002: Insert
                     registers a firmware file, Delete unregisters the selected
                     one); repeatable, taken in order together with --set
  --json             one JSON object per line on stdout for every host event,
                     instead of the terminal UI (docs/EVENTS.md); it does not
                     change how questions are answered
  --trace            the plug-in's protocol steps on stderr: port opens, speed
                     changes, packets by type, waits and retries (also with
                     TALVERN_TRACE=1 in the environment)
  -h, --help         this text
  --version          talvern's version

Commands
)";

struct CommandText {
  const char* name;
  const char* text;
};

constexpr CommandText kCommands[] = {
    {"list", R"(  list                       one line per operation: index, name, description, page count
)"},
    {"run", R"(  run OP [--port N|PATH]... [--ports A,B,...] [--simulate[=PROFILE]]...
         [--replay FILE] [--realtime | --time-scale X] [--transcript FILE]
         [--timeout SECONDS] [--stop-wait SECONDS] [--verify | --no-verify]
                             run operation OP (index or exact name): show its pages, its
                             summary, then run it. --port N is a COM number 1..1024;
                             --port PATH maps that device path to a COM number (name a USB
                             receiver by its /dev/serial/by-id/... link: that name survives
                             the receiver's restarts); the mapping and LastUsedCOM are kept
                             only when the run opened the device. Without --port the last
                             COM port that opened (LastUsedCOM) is taken, else COM1.
                             --simulate attaches the built-in virtual receiver (with an
                             optional profile file) on COM N, or on the first COM number
                             no device is mapped to.
                             --replay FILE plays the receiver's part of a transcript: the
                             operation must send what was recorded; the first byte or
                             action that differs ends the run with a message naming it.
                             Simulated and replayed runs use virtual time unless
                             --realtime or --time-scale is given.
                             --transcript FILE writes every byte each way with its time,
                             line settings, breaks, purges, opens and closes, on real
                             ports as in simulated and replayed runs (docs/TRANSCRIPT.md).
                             --timeout SECONDS asks the operation to stop, as Ctrl-C does,
                             once the run has taken that long (on the run's clock, so in
                             virtual time for simulated runs); 0 is no limit, the default
                             without --batch; with --batch the default is 3600.
                             When the port cannot be opened, a line of advice follows the
                             plug-in's message (on stderr; a "hint" event with --json);
                             when a run that talked to a receiver fails or is cancelled,
                             a line says what to check next.
                             --stop-wait SECONDS (default 300; 0 waits for ever) is how
                             long talvern waits for the operation to stop once it was
                             asked to (Ctrl-C, --timeout). A receiver that falls silent
                             during its install, which has no point to stop at, would
                             hold the run for ever: after that time the run ends as
                             failed, with nothing more sent to the receiver and a line
                             on what to check; the port closes as talvern ends.
                             After "Load GPS software" talvern reads the version back on
                             the same port with "Verify receiver software version" and
                             compares it with the version the chosen firmware file
                             states (.timg, .srec, .elf and .img files); another
                             version is a failure. --no-verify leaves that out;
                             --verify with another operation is a usage error.
                             Ctrl-C asks the operation to stop; until it has, talvern
                             says every second that it waits and shows the last status.
                             A second Ctrl-C ends talvern at once (exit 130).
                             Several receivers: --port given more than once, or --ports
                             A,B,..., runs OP on all of them at once, each by a talvern
                             of its own started with the same options, --json and its
                             one port; a failure, hang or crash of one touches none of
                             the others. On a terminal each receiver has one line
                             (port, serial number, status, bar, rate, time left),
                             elsewhere every event is a line headed with its port, and
                             with --json every event carries a "port" field. Dialogs
                             and pages are accepted as shown once the --set values are
                             applied; message boxes follow --batch, --answer and --yes
                             for every receiver, and without --batch are put to you one
                             at a time, each headed with its port, while the other runs
                             wait at theirs. --simulate gives each port a virtual
                             receiver of its own, --simulate=PORT:PROFILE one port its
                             own profile; --transcript FILE writes FILE-COMn.txt for
                             each; --replay takes one port only. Ctrl-C asks every run
                             to stop, a second aborts them all (exit 130). The run ends
                             with a table: port, receiver, operation, outcome, time,
                             version before and after; the exit status is the worst of
                             the runs (usage over failure over a stop at a question over
                             cancelled or declined).
                             Questions: without --batch each message box is put to you:
                             name a button (a unique beginning is enough); Enter alone
                             takes the button of a box that has only one. With --batch
                             nothing is guessed (see --batch, --answer, --yes). The run
                             ends with the questions asked, the answer each got and
                             where it came from (user, answer, yes, default, stopped,
                             retry-limit), and the outcome: succeeded, failed,
                             cancelled, declined (a question answered No or Cancel by
                             you or an --answer), stopped at a question, or ended by a
                             usage error.
)"},
    {"firmware", R"(  firmware list              the firmware catalogue as the update page lists it (the
                             newest file marked with *)
  firmware add FILE [--description TEXT]
                             register FILE through the plug-in's own register dialog:
                             it checks the file, copies it into the install's Firmware
                             folder and names it TEXT (by default a name made from the
                             file name, such as "Fw V4.80 Beta" for fw_v480_beta.timg)
  firmware remove NAME       unregister the entry NAME and delete its file (it asks
                             first: answer yes, or give --yes with --batch)
                             The list is not narrowed to a connected receiver; the
                             update page of "Load GPS software" narrows it to the
                             receiver's platform.
)"},
    {"reg", R"(  reg query KEY [/v NAME]    registry tools spelled like the Windows reg command
  reg add KEY [/v NAME /t REG_SZ|REG_DWORD /d DATA] [/f]
  reg delete KEY [/v NAME] [/f]
  reg import FILE.reg
  reg export KEY FILE.reg
)"},
    {"ports", nullptr},  // the system's own: PortsHelpText()
    {"help", R"(  help [COMMAND]             this text, or the part about COMMAND
)"},
};

constexpr char kExitText[] = R"(
Exit status: 0 success, 1 failed or not run (a replay that differs from its
recording included), 2 cancelled or declined, 3 stopped at a question that
nothing answered, 64 usage error (a --set that cannot apply or that a dialog
refused included), 130 a second Ctrl-C.
)";

}  // namespace

const char* Text(const CommandText& c) { return c.text ? c.text : PortsHelpText(); }

std::string UsageText() {
  std::string text = kIntro;
  for (const CommandText& c : kCommands) text += Text(c);
  return text + kExitText;
}

std::string CommandHelp(const std::string& command) {
  for (const CommandText& c : kCommands)
    if (command == c.name) return std::string("usage:\n") + Text(c) + kExitText;
  return "";
}

namespace {

bool ParseFirmware(int argc, char** argv, int i, Options* o, std::string* error) {
  for (; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--description") {
      if (i + 1 >= argc) {
        *error = "--description needs a value";
        return false;
      }
      o->description = argv[++i];
    } else if (StartsWith(a, "-")) {
      *error = "unknown firmware option " + a;
      return false;
    } else {
      o->args.push_back(a);
    }
  }
  const std::string sub = o->args.empty() ? "" : o->args[0];
  const size_t want = sub == "list" ? 1 : sub == "add" || sub == "remove" ? 2 : 0;
  if (want == 0) {
    *error = "firmware needs list, add FILE or remove NAME";
    return false;
  }
  if (o->args.size() != want) {
    *error = sub == "list" ? "firmware list takes no arguments"
                           : "firmware " + sub + " takes one " + (sub == "add" ? "FILE" : "NAME");
    return false;
  }
  if (!o->description.empty() && sub != "add") {
    *error = "--description goes with firmware add";
    return false;
  }
  return true;
}

}  // namespace

bool ParseCommandLine(int argc, char** argv, Options* o, std::string* error) {
  int i = 1;
  auto need = [&](const char* opt) -> const char* {
    if (i + 1 >= argc) {
      *error = std::string(opt) + " needs a value";
      return nullptr;
    }
    return argv[++i];
  };
  // Global options come before the command.
  for (; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--plugin") {
      const char* v = need("--plugin");
      if (!v) return false;
      o->plugin = v;
    } else if (a == "--registry") {
      const char* v = need("--registry");
      if (!v) return false;
      o->registry = v;
    } else if (a == "--ctrl-alt") {
      o->ctrlAlt = true;
    } else if (a == "--batch") {
      o->answering.batch = true;
    } else if (a == "--yes") {
      o->answering.yes = true;
    } else if (a == "--retries") {
      const char* v = need("--retries");
      if (!v) return false;
      char* end = nullptr;
      const long n = std::strtol(v, &end, 10);
      if (!*v || *end != '\0' || n < 0 || n > 1000) {
        *error = std::string("--retries expects a count 0..1000, got \"") + v + "\"";
        return false;
      }
      o->answering.retries = static_cast<int>(n);
    } else if (a == "--json") {
      o->json = true;
    } else if (a == "--trace") {
      o->trace = true;
    } else if (a == "--key") {
      const char* v = need("--key");
      if (!v) return false;
      SetValue sv;
      if (!ParseSet(v, &sv) || !DialogPresets::KeyCode(sv.value)) {
        *error = std::string("--key expects DLG:CTRL=insert or DLG:CTRL=delete, got \"") + v + "\"";
        return false;
      }
      sv.key = true;
      o->sets.push_back(sv);
    } else if (a == "--answer") {
      const char* v = need("--answer");
      if (!v) return false;
      const std::string s = v;
      const size_t eq = s.rfind('=');
      if (eq == std::string::npos || eq == 0) {
        *error = "--answer expects TEXT=BUTTON, got \"" + s + "\"";
        return false;
      }
      const std::string button = s.substr(eq + 1);
      if (!AnswerPolicy::ButtonId(button)) {
        *error = "--answer: unknown button \"" + button + "\" (ok, cancel, yes, no, retry, abort, ignore)";
        return false;
      }
      o->answering.answers.emplace_back(s.substr(0, eq), button);
    } else if (a == "--set") {
      const char* v = need("--set");
      if (!v) return false;
      SetValue sv;
      if (!ParseSet(v, &sv)) {
        *error = std::string("--set expects DLG:CTRL=VALUE, got \"") + v + "\"";
        return false;
      }
      o->sets.push_back(sv);
    } else if (a == "-h" || a == "--help") {
      o->command = "help";
      return true;
    } else if (a == "--version") {
      o->command = "version";
      return true;
    } else if (StartsWith(a, "-")) {
      *error = "unknown option " + a;
      return false;
    } else {
      break;
    }
  }
  if (i >= argc) {
    *error = "no command given";
    return false;
  }
  o->command = argv[i++];
  if (o->command == "help") {
    if (i < argc) {
      o->args.push_back(argv[i++]);
      if (CommandHelp(o->args[0]).empty()) {
        *error = "no help on \"" + o->args[0] + "\" (commands: list, run, firmware, reg, ports, help)";
        return false;
      }
    }
    if (i < argc) {
      *error = "help takes one command";
      return false;
    }
    return true;
  }
  if (o->command == "list" || o->command == "ports") {
    if (i < argc) {
      *error = o->command + " takes no arguments";
      return false;
    }
    return true;
  }
  if (o->command == "reg") {
    for (; i < argc; ++i) o->args.push_back(argv[i]);
    if (o->args.empty()) {
      *error = "reg needs a subcommand (query, add, delete, import, export)";
      return false;
    }
    return true;
  }
  if (o->command == "firmware") return ParseFirmware(argc, argv, i, o, error);
  if (o->command != "run") {
    *error = "unknown command " + o->command;
    o->command.clear();
    return false;
  }
  bool timeoutGiven = false;
  for (; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--port" || a == "--ports") {
      const char* v = need(a.c_str());
      if (!v) return false;
      const std::string list = v;
      for (size_t start = 0; start <= list.size();) {
        const size_t comma = a == "--ports" ? list.find(',', start) : std::string::npos;
        const std::string port = list.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        if (port.empty()) {
          *error = a + " expects " + (a == "--ports" ? "A,B,...: COM numbers or device paths" : "a COM number or a device path");
          return false;
        }
        if (std::find(o->ports.begin(), o->ports.end(), port) != o->ports.end()) {
          *error = "port " + port + " is named twice";
          return false;
        }
        o->ports.push_back(port);
        if (comma == std::string::npos) break;
        start = comma + 1;
      }
    } else if (a == "--simulate") {
      o->run.simulate = true;
    } else if (StartsWith(a, "--simulate=")) {
      o->run.simulate = true;
      const std::string value = a.substr(std::strlen("--simulate="));
      // PORT:PROFILE gives one port its own profile.
      const size_t colon = value.find(':');
      if (colon != std::string::npos && colon > 0 &&
          value.find_first_not_of("0123456789") == colon) {
        o->portProfiles.emplace_back(value.substr(0, colon), value.substr(colon + 1));
      } else {
        o->run.profile = value;
      }
    } else if (a == "--realtime") {
      o->run.realtime = true;
    } else if (a == "--time-scale") {
      const char* v = need("--time-scale");
      if (!v) return false;
      if (!ParseNumber(v, &o->run.timeScale) || !(o->run.timeScale > 0)) {
        *error = std::string("--time-scale expects a positive number, got \"") + v + "\"";
        return false;
      }
    } else if (a == "--replay") {
      const char* v = need("--replay");
      if (!v) return false;
      o->run.replay = v;
    } else if (a == "--transcript") {
      const char* v = need("--transcript");
      if (!v) return false;
      o->run.transcript = v;
    } else if (a == "--timeout") {
      const char* v = need("--timeout");
      if (!v) return false;
      if (!ParseNumber(v, &o->run.timeout) || !(o->run.timeout >= 0) || o->run.timeout > 1e7) {
        *error = std::string("--timeout expects seconds (0 for no limit), got \"") + v + "\"";
        return false;
      }
      timeoutGiven = true;
    } else if (a == "--stop-wait") {
      const char* v = need("--stop-wait");
      if (!v) return false;
      if (!ParseNumber(v, &o->run.stopWait) || !(o->run.stopWait >= 0) || o->run.stopWait > 1e7) {
        *error = std::string("--stop-wait expects seconds (0 for no limit), got \"") + v + "\"";
        return false;
      }
    } else if (a == "--verify" || a == "--no-verify") {
      o->run.verify = a == "--verify" ? RunSettings::Verify::kOn : RunSettings::Verify::kOff;
    } else if (StartsWith(a, "-")) {
      *error = "unknown run option " + a;
      return false;
    } else if (o->run.operation.empty()) {
      o->run.operation = a;
    } else {
      *error = "run takes one operation, got also \"" + a + "\"";
      return false;
    }
  }
  if (o->run.operation.empty()) {
    *error = "run needs an operation (index or exact name; see talvern list)";
    return false;
  }
  if (o->ports.size() == 1) o->run.port = o->ports.front();
  for (const auto& [port, profile] : o->portProfiles) {
    if (std::find(o->ports.begin(), o->ports.end(), port) == o->ports.end()) {
      *error = "--simulate=" + port + ":" + profile + " names a port that no --port or --ports names";
      return false;
    }
    if (o->ports.size() == 1) o->run.profile = profile;
  }
  if (o->ports.size() > 1 && !o->run.replay.empty()) {
    *error = "--replay plays one recording on one port; leave out --port and --ports";
    return false;
  }
  if (!o->run.replay.empty() && o->run.simulate) {
    *error = "--replay and --simulate exclude each other";
    return false;
  }
  if (!o->run.replay.empty() && !o->run.port.empty()) {
    *error = "--replay serves its own port; leave out --port";
    return false;
  }
  if (o->run.realtime && o->run.timeScale > 0) {
    *error = "--realtime and --time-scale exclude each other";
    return false;
  }
  // An unattended run must end; a person can press Ctrl-C.
  if (!timeoutGiven) o->run.timeout = o->answering.batch ? 3600 : 0;
  return true;
}

std::string UsageErrorLine(const Options& options, const std::string& error) {
  const bool known = !options.command.empty() && !CommandHelp(options.command).empty() && options.command != "help";
  return "talvern: " + error + " (see " + (known ? "talvern help " + options.command : "talvern --help") + ")";
}

#include "gui/GuiOptions.h"

#include <cstdlib>
#include <vector>

const char* GuiOptions::Usage() {
  return R"(usage: talvern-gui [options]

A window that runs the operations of a receiver plug-in (DevQZ710.so for the
QZ7xx family) as a wizard: the operation, the port, the operation's pages,
a summary, and the run with its progress.

  --plugin PATH        plug-in library (default: DevQZ710.so beside the binary)
  --registry FILE      registry store (as for talvern)
  --ctrl-alt           act as if Ctrl and Alt are held: shows the service operation
  --operation OP       start with operation OP chosen (index or exact name)
  --port N|PATH        start with COM N or a device path chosen
  --simulate[=PROFILE] start with the virtual receiver chosen (a profile file, or the defaults)
  --replay FILE        start with a replay of the transcript FILE chosen
  --realtime           let simulated and replayed runs take the receiver's real time
  --time-scale X       run the clock X times faster
  --transcript FILE    record the run's serial traffic to FILE
  --stop-wait SECONDS  how long to wait for an operation to stop once Cancel
                       was pressed (default 300); then the run is given up with
                       nothing more sent to the receiver, and closing the
                       window ends talvern-gui (0: wait for ever)
  --screenshot FILE    show the first page, save a picture of the screen to FILE
                       (PNG) and quit
  -h, --help           this text
  --version            the version
)";
}

GuiOptions GuiOptions::Parse(int argc, char** argv) {
  GuiOptions o;
  const std::vector<std::string> args(argv + 1, argv + argc);
  for (size_t i = 0; i < args.size() && o.error.empty(); ++i) {
    const std::string& a = args[i];
    auto value = [&](std::string* out) {
      if (i + 1 >= args.size()) o.error = a + " needs a value";
      else *out = args[++i];
    };
    if (a == "-h" || a == "--help") o.help = true;
    else if (a == "--version") o.version = true;
    else if (a == "--plugin") value(&o.plugin);
    else if (a == "--registry") value(&o.registry);
    else if (a == "--ctrl-alt") o.ctrlAlt = true;
    else if (a == "--operation") value(&o.run.operation);
    else if (a == "--port") value(&o.run.port);
    else if (a == "--replay") value(&o.run.replay);
    else if (a == "--transcript") value(&o.run.transcript);
    else if (a == "--screenshot") value(&o.screenshot);
    else if (a == "--realtime") o.run.realtime = true;
    else if (a == "--simulate") o.run.simulate = true;
    else if (a.rfind("--simulate=", 0) == 0) {
      o.run.simulate = true;
      o.run.profile = a.substr(11);
    } else if (a == "--stop-wait") {
      std::string text;
      value(&text);
      char* end = nullptr;
      o.run.stopWait = std::strtod(text.c_str(), &end);
      if (o.error.empty() && (text.empty() || *end != '\0' || !(o.run.stopWait >= 0)))
        o.error = "--stop-wait " + text + ": seconds, 0 for no limit";
    } else if (a == "--time-scale") {
      std::string text;
      value(&text);
      char* end = nullptr;
      o.run.timeScale = std::strtod(text.c_str(), &end);
      if (o.error.empty() && (text.empty() || *end != '\0' || !(o.run.timeScale > 0)))
        o.error = "--time-scale " + text + ": a factor above 0";
    } else {
      o.error = "unknown option " + a;
    }
  }
  if (o.error.empty() && o.run.simulate && !o.run.replay.empty()) o.error = "--simulate and --replay exclude each other";
  if (o.error.empty() && o.run.realtime && o.run.timeScale > 0) o.error = "--realtime and --time-scale exclude each other";
  return o;
}

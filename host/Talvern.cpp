#include "host/Talvern.h"


#include <cstdlib>
#include <string>

#include "afx/SerialDevice.h"
#include "afx/System.h"
#include "afx/Trace.h"
#include "afx/Ui.h"
#include "host/Console.h"
#include "host/ConsolePresenter.h"
#include "host/DeferredInterrupt.h"
#include "host/MultiRun.h"
#include "host/RegCommand.h"
#include "hostlib/FirmwareCatalogue.h"
#include "hostlib/HostRegistry.h"
#include "hostlib/OperationRun.h"
#include "hostlib/PluginLoader.h"
#include "hostlib/PortInventory.h"

namespace {

int List(PluginLoader& plugin, std::FILE* out, bool json) {
  const int count = plugin.GetNumberOperations();
  for (int i = 0; i < count; ++i) {
    char description[512] = {};
    plugin.GetDescription(i, description, sizeof description - 1);
    const std::string name = OperationRun::OperationName(plugin, i);
    const int pages = plugin.GetNumberOfPages(i);
    if (json)
      std::fprintf(out, "{\"event\":\"operation\",\"index\":%d,\"name\":%s,\"description\":%s,\"pages\":%d}\n", i,
                   Console::JsonEscape(name).c_str(), Console::JsonEscape(description).c_str(), pages);
    else
      std::fprintf(out, "%d\t%s\t%s\t%d\n", i, name.c_str(), description, pages);
  }
  return 0;
}

std::string ComText(const PortInfo& p) {
  if (!p.com) return "-";
  return "COM" + std::to_string(p.com);
}

int Ports(std::FILE* out, bool json) {
  const auto ports = TakePortInventory(afx::ListMappedComPorts());
  for (const PortInfo& p : ports) {
    if (json) {
      std::fprintf(out, "{\"event\":\"port\",\"device\":%s,\"present\":%s,\"by_id\":%s,\"by_path\":%s,\"com\":%d,"
                   "\"com_path\":%s,\"com_implicit\":%s,\"uart\":%s,"
                   "\"usb\":{\"vendor\":%s,\"product\":%s,\"manufacturer\":%s,\"product_name\":%s,\"serial\":%s}}\n",
                   Console::JsonEscape(p.device).c_str(), p.present ? "true" : "false",
                   Console::JsonEscape(p.byId).c_str(), Console::JsonEscape(p.byPath).c_str(), p.com,
                   Console::JsonEscape(p.comPath).c_str(), p.comImplicit ? "true" : "false",
                   Console::JsonEscape(p.uart).c_str(), Console::JsonEscape(p.vendorId).c_str(),
                   Console::JsonEscape(p.productId).c_str(), Console::JsonEscape(p.manufacturer).c_str(),
                   Console::JsonEscape(p.product).c_str(), Console::JsonEscape(p.serial).c_str());
      continue;
    }
    std::string line = ComText(p) + "\t" + p.device;
    if (!p.present) line += " (not present)";
    if (!p.uart.empty()) line += "\n\tuart " + p.uart;
    if (!p.byId.empty()) line += "\n\tby-id " + p.byId;
    if (!p.byPath.empty()) line += "\n\tby-path " + p.byPath;
    if (p.comImplicit) line += "\n\t" + ComText(p) + " needs no mapping";
    else if (p.com && p.comPath != p.device && p.comPath != p.byId) line += "\n\tmapped as " + p.comPath;
    const std::string usb = UsbText(p);
    if (!usb.empty()) line += "\n\tusb " + usb;
    std::fprintf(out, "%s\n", line.c_str());
  }
  if (json) return 0;
  std::fputs(PortNamingNote(ports.empty()).c_str(), out);
  return 0;
}

// talvern firmware list|add FILE|remove NAME.
int Firmware(const Options& options, PluginLoader& plugin, ConsolePresenter& presenter, Console& console,
             std::FILE* out) {
  const std::string sub = options.args[0];
  const auto action = sub == "add"      ? FirmwareCatalogue::Action::kAdd
                      : sub == "remove" ? FirmwareCatalogue::Action::kRemove
                                        : FirmwareCatalogue::Action::kList;
  FirmwareCatalogue::Result result;
  int status = 0;
  {
    // A Ctrl-C waits until the page is done and LastUsedCOM is back.
    DeferredInterrupt defer;
    status = FirmwareCatalogue(plugin, presenter, console)
                 .Execute(action, options.args.size() > 1 ? options.args[1] : "", options.description, &result);
  }
  if (options.json) {
    for (size_t i = 0; i < result.rows.size(); ++i)
      std::fprintf(out, "{\"event\":\"firmware\",\"index\":%zu,\"description\":%s,\"selected\":%s}\n", i,
                   Console::JsonEscape(result.rows[i].description).c_str(), result.rows[i].selected ? "true" : "false");
  } else {
    for (const auto& row : result.rows)
      std::fprintf(out, "%s %s\n", row.selected ? "*" : " ", row.description.c_str());
    if (result.rows.empty() && result.outcome.Ran()) std::fprintf(out, "The firmware catalogue is empty.\n");
  }
  const RunOutcome& o = result.outcome;
  const std::string reason = o.Reason();
  console.Finish(o, reason == o.LastStatus() ? reason : o.LastStatus() + " (" + reason + ")");
  return status;
}

// run OP on several ports: one talvern per port, this one watching them.
int SeveralPorts(const Options& options, PluginLoader& plugin, Console& console, std::FILE* in, std::FILE* out,
                 std::FILE* err) {
  const int op = OperationRun::FindOperation(plugin, options.run.operation);
  if (op < 0) {
    console.Error("no operation \"" + options.run.operation + "\" (see talvern list)");
    return 64;
  }
  return MultiRun(options, OperationRun::OperationName(plugin, op), in, out, err).Execute();
}

}  // namespace

int RunTalvern(const Options& options, std::FILE* in, std::FILE* out, std::FILE* err) {
  if (options.command == "help") {
    std::fputs((options.args.empty() ? UsageText() : CommandHelp(options.args[0])).c_str(), out);
    return 0;
  }
  if (options.command == "version") {
    std::fprintf(out, "talvern %s\n", TALVERN_VERSION);
    return 0;
  }
  std::string error;
  if (!PrepareRegistry(options.registry, &error)) {
    std::fprintf(err, "talvern: %s\n", error.c_str());
    return 1;
  }
  if (options.command == "reg") return RunRegCommand(options.args, !options.answering.batch && afx::IsTerminal(in), in, out, err);
  if (options.command == "ports") return Ports(out, options.json);

  Console console(options.json, out, err);
  ConsolePresenter presenter(options, console, in);
  // The plug-in's protocol steps, between the host's own lines.
  afx::TraceSink previousTrace;
  const bool trace = options.trace || std::getenv("TALVERN_TRACE");
  if (trace) previousTrace = afx::SetTraceSink([&console](const std::string& line) { console.Trace(line); });
  // Installed before loading: the plug-in asks for Ctrl and Alt while it starts.
  afx::UiPresenter* previous = afx::SetUi(&presenter);
  int status = 1;
  {
    PluginLoader plugin;
    const std::string path = options.plugin.empty() ? PluginLoader::DefaultPath() : options.plugin;
    if (!plugin.Load(path)) {
      std::fprintf(err, "talvern: %s\n", plugin.Error().c_str());
      afx::SetUi(previous);
      if (trace) afx::SetTraceSink(previousTrace);
      return 1;
    }
    if (options.command == "list") status = List(plugin, out, options.json);
    else if (options.command == "firmware") status = Firmware(options, plugin, presenter, console, out);
    else if (options.ports.size() > 1) status = SeveralPorts(options, plugin, console, in, out, err);
    else status = OperationRun(plugin, presenter, console).Execute(options.run);
  }
  afx::SetUi(previous);
  if (trace) afx::SetTraceSink(previousTrace);
  return status;
}

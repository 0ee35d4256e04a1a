#include "hostlib/FirmwareCatalogue.h"

#include <algorithm>

#include "afx/Dialog.h"
#include "afx/PropertyPage.h"
#include "afx/PropertySheet.h"
#include "afx/Registry.h"
#include "hostlib/HostRegistry.h"
#include "hostlib/LastUsedComLock.h"
#include "hostlib/OperationRun.h"

namespace {

bool Listed(const std::vector<FirmwareCatalogue::Row>& rows, const std::string& name) {
  return std::any_of(rows.begin(), rows.end(), [&](const FirmwareCatalogue::Row& r) { return r.description == name; });
}

// Sets LastUsedCOM aside for as long as the page shows.
class NoReceiver {
 public:
  // Runs on other ports set LastUsedCOM too; none does while the page shows.
  NoReceiver() : previous_(ReadLastUsedCom()) {
    if (previous_) RestoreLastUsedCom(0);
  }
  ~NoReceiver() {
    if (previous_) RestoreLastUsedCom(previous_);
  }
  NoReceiver(const NoReceiver&) = delete;
  NoReceiver& operator=(const NoReceiver&) = delete;

 private:
  LastUsedComLock lock_;
  int previous_;
};

}  // namespace

int FirmwareCatalogue::FindOperation(PluginLoader& plugin) {
  for (int i = 0, n = plugin.GetNumberOperations(); i < n; ++i) {
    if (plugin.GetNumberOfPages(i) < 1) continue;
    auto* page = static_cast<CPropertyPage*>(plugin.GetPage(i, 0));
    if (page && page->TemplateId() == static_cast<UINT>(kPage)) return i;
  }
  return -1;
}

namespace {

std::string StringValue(HKEY key, const char* name) {
  char value[1024] = {};
  DWORD size = sizeof value - 1;
  DWORD type = 0;
  if (RegQueryValueEx(key, name, nullptr, &type, reinterpret_cast<BYTE*>(value), &size) != ERROR_SUCCESS ||
      type != REG_SZ)
    return "";
  return value;
}

}  // namespace

std::string FirmwareCatalogue::PathOf(const std::string& description) {
  HKEY catalogue = nullptr;
  if (RegOpenKeyEx(HKEY_LOCAL_MACHINE, "SOFTWARE\\Korvane\\Talvern\\Firmware", 0, KEY_READ, &catalogue) != ERROR_SUCCESS)
    return "";
  std::string found;
  bool ambiguous = false;
  for (DWORD i = 0;; ++i) {
    char name[512];
    DWORD length = sizeof name;
    if (RegEnumKeyEx(catalogue, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    HKEY entry = nullptr;
    if (RegOpenKeyEx(catalogue, name, 0, KEY_READ, &entry) != ERROR_SUCCESS) continue;
    const std::string path = StringValue(entry, "FirmwarePath");
    if (StringValue(entry, "Description") == description && !path.empty()) {
      ambiguous = ambiguous || (!found.empty() && found != path);
      found = path;
    }
    RegCloseKey(entry);
  }
  RegCloseKey(catalogue);
  return ambiguous ? "" : found;
}

std::vector<FirmwareCatalogue::Row> FirmwareCatalogue::Rows(CDialog& page) {
  std::vector<Row> rows;
  if (const afx::Control* list = page.FindControl(kList))
    for (size_t i = 0; i < list->items.size(); ++i)
      rows.push_back({list->items[i], static_cast<int>(i) == list->selection});
  return rows;
}

int FirmwareCatalogue::Execute(Action action, const std::string& argument, const std::string& description,
                               Result* result) {
  RunOutcome& outcome = result->outcome;
  const int op = FindOperation(plugin_);
  if (op < 0) {
    const std::string error = "the plug-in has no firmware page (template " + std::to_string(kPage) + ")";
    view_.Error(error);
    outcome.SetHostFailure(error);
    return outcome.ExitStatus();
  }
  DialogPresets& presets = presenter_.Presets();
  const std::string page = std::to_string(kPage), list = std::to_string(kList), reg = std::to_string(kRegister);
  if (action == Action::kAdd) {
    // The description first: the dialog makes one from the path only while it is empty.
    if (!description.empty()) presets.Add({reg, std::to_string(kDescription), description});
    presets.Add({reg, std::to_string(kPath), argument});
    presets.Add({page, list, "insert", true});
  } else if (action == Action::kRemove) {
    presets.Add({page, list, argument});
    presets.Add({page, list, "delete", true});
  }
  const std::vector<std::string> problems = presets.Check(plugin_.Templates());
  for (const std::string& problem : problems) {
    view_.Error(problem);
    outcome.AddUsageError(problem);
  }
  if (!problems.empty()) return outcome.ExitStatus();

  presenter_.BeginRun(op, &outcome, &view_);
  const size_t closedBefore = presenter_.ClosedDialogs().size();
  bool done = false;
  {
    NoReceiver noReceiver;
    auto* firmwarePage = static_cast<CPropertyPage*>(plugin_.GetPage(op, 0));
    CPropertySheet sheet(OperationRun::OperationName(plugin_, op).c_str());
    sheet.AddPage(firmwarePage);
    sheet.ActivatePage(0);
    std::string problem;
    if (action == Action::kRemove) {
      // The row as the list spells it, for the check afterwards.
      for (const Row& row : Rows(*firmwarePage))
        if (CString(row.description).CompareNoCase(argument.c_str()) == 0) result->name = row.description;
    }
    if (!presets.Apply(*firmwarePage, &problem)) {
      view_.Error(problem);
      outcome.AddUsageError(problem);
    }
    result->rows = Rows(*firmwarePage);
  }
  if (action == Action::kAdd) {
    const auto& closed = presenter_.ClosedDialogs();
    for (size_t i = closedBefore; i < closed.size(); ++i)
      if (closed[i].templateId == static_cast<UINT>(kRegister) && closed[i].result == "ok") {
        const auto it = closed[i].form.values.find(std::to_string(kDescription));
        if (it != closed[i].form.values.end()) result->name = it->second;
      }
    done = !result->name.empty() && Listed(result->rows, result->name);
  } else if (action == Action::kRemove) {
    done = !result->name.empty() && !Listed(result->rows, result->name);
  } else {
    done = true;
  }
  presenter_.EndRun();

  std::string status;
  if (action == Action::kAdd) status = done ? "Registered \"" + result->name + "\"." : "Nothing was registered.";
  else if (action == Action::kRemove)
    status = done ? "Unregistered \"" + result->name + "\" and deleted its file." : "Nothing was unregistered.";
  else status = std::to_string(result->rows.size()) + (result->rows.size() == 1 ? " entry." : " entries.");
  // A question turned down or left unanswered leaves the catalogue as it was on purpose.
  bool turnedDown = false;
  for (const Question& q : outcome.Questions())
    turnedDown = turnedDown || AnswerPolicy::Stops(q.source) || AnswerPolicy::Declines(q.flags, q.button);
  outcome.SetPluginResult(done ? 1 : turnedDown ? 2 : 0, status);
  return outcome.ExitStatus();
}

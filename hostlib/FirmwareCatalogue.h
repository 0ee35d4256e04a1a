// The firmware catalogue from the host: listed, registered and unregistered
// through the plug-in's own update page and its register dialog, as a
// person does with Insert and Delete on the page's list, so that every rule
// of the catalogue (what is valid, where the file goes, what the entry is
// called) stays the plug-in's. The page shows the whole catalogue for its
// device type: LastUsedCOM is set aside while it shows, so that it talks to
// no receiver and narrows nothing.
#pragma once
#include <string>
#include <vector>

#include "hostlib/HostPresenter.h"
#include "hostlib/PluginLoader.h"
#include "hostlib/RunOutcome.h"
#include "hostlib/RunView.h"

class FirmwareCatalogue {
 public:
  // The firmware page, its list, and the register dialog with its fields.
  static constexpr int kPage = 130;
  static constexpr int kList = 1002;
  static constexpr int kRegister = 131;
  static constexpr int kDescription = 1011;
  static constexpr int kPath = 1008;

  FirmwareCatalogue(PluginLoader& plugin, HostPresenter& presenter, RunView& view)
      : plugin_(plugin), presenter_(presenter), view_(view) {}

  enum class Action { kList, kAdd, kRemove };
  struct Row {
    std::string description;
    bool selected = false;  // the page's choice: the newest file
  };
  struct Result {
    std::vector<Row> rows;  // the list as the page shows it at the end
    std::string name;       // the entry added or removed
    RunOutcome outcome;     // questions, usage errors, and whether it was done
  };

  // kAdd registers `argument` (a file) under `description` ("": the dialog
  // makes one from the file name); kRemove unregisters the entry `argument`.
  // Returns the exit status.
  int Execute(Action action, const std::string& argument, const std::string& description, Result* result);

  // The operation whose first page is the firmware page; -1 when none is.
  static int FindOperation(PluginLoader& plugin);
  // The file of the entry that the page lists as `description`; "" when no
  // entry or several with different files are listed so.
  static std::string PathOf(const std::string& description);

 private:
  static std::vector<Row> Rows(CDialog& page);

  PluginLoader& plugin_;
  HostPresenter& presenter_;
  RunView& view_;
};

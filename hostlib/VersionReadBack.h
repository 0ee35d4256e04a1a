// After "Load GPS software": which version the receiver runs once the update
// has ended, read back on the same port with the plug-in's own "Verify
// receiver software version" (its dialog, template 106, read through the
// presenter), against the version the chosen firmware file states. An
// update that ends in a restart into the old software is otherwise reported
// as a success. The file's version is read with the virtual receiver's image
// reader, which is written apart from the plug-in's firmware readers.
#pragma once
#include <string>

#include "hostlib/HostPresenter.h"
#include "hostlib/PluginLoader.h"
#include "hostlib/RunOutcome.h"
#include "hostlib/RunView.h"

namespace afx {
class Event;
}

class VersionReadBack {
 public:
  static constexpr char kUpdate[] = "Load GPS software";
  static constexpr char kVersion[] = "Verify receiver software version";
  static constexpr unsigned kVersionDialog = 106;
  static constexpr char kSoftwareVersion[] = "1017";

  // The firmware chosen on the pages of operation `update`: its catalogue
  // entry, and the version its file states where that can be read.
  void TakeChoice(PluginLoader& plugin, int update);
  const std::string& Firmware() const { return firmware_; }
  const std::string& Expected() const { return expected_; }

  // Runs the version operation on COM `port` with the run's cancel event and
  // puts what it read into `outcome`.
  void Run(PluginLoader& plugin, HostPresenter& presenter, RunView& view, int port, afx::Event& cancel,
           RunOutcome& outcome) const;

 private:
  std::string firmware_;
  std::string expected_;
  std::string unknown_;  // why the file's version is not known
};

#include "hostlib/VersionReadBack.h"

#include "afx/PropertyPage.h"
#include "hostlib/FirmwareCatalogue.h"
#include "hostlib/HostWindow.h"
#include "hostlib/OperationRun.h"
#include "plugin/Exports.h"

#ifdef TALVERN_HAS_SIM
#include "sim/ImageVersion.h"
#endif

void VersionReadBack::TakeChoice(PluginLoader& plugin, int update) {
  firmware_.clear();
  expected_.clear();
  unknown_ = "no firmware was chosen";
  auto* page = plugin.GetNumberOfPages(update) > 0 ? static_cast<CPropertyPage*>(plugin.GetPage(update, 0)) : nullptr;
  const afx::Control* list = page ? page->FindControl(FirmwareCatalogue::kList) : nullptr;
  if (!list || list->DisplayValue().empty()) return;
  firmware_ = list->DisplayValue();
  const std::string path = FirmwareCatalogue::PathOf(firmware_);
  if (path.empty()) {
    unknown_ = "the catalogue names no single file for \"" + firmware_ + "\"";
    return;
  }
#ifdef TALVERN_HAS_SIM
  sim::ImageVersion version;
  if (sim::ImageVersion::FromFile(path, &version, &unknown_)) expected_ = version.Text();
#else
  unknown_ = "this build cannot read a firmware file's version";
#endif
}

void VersionReadBack::Run(PluginLoader& plugin, HostPresenter& presenter, RunView& view, int port,
                          afx::Event& cancel, RunOutcome& outcome) const {
  const int op = OperationRun::FindOperation(plugin, kVersion);
  if (op < 0) {
    outcome.SetReadBack(0, "the plug-in has no operation \"" + std::string(kVersion) + "\"", "", expected_, firmware_);
    return;
  }
  view.Line("Reading the version back: \"" + std::string(kVersion) + "\" on COM" + std::to_string(port) + ".");
  const size_t before = presenter.ClosedDialogs().size();
  HostWindow window(view);
  OperationParams params{port, op, &window, &cancel};
  presenter.AcceptFormsAsShown(true);
  const int result = plugin.DoOperation(&params);
  presenter.AcceptFormsAsShown(false);
  window.TakeDone();
  std::string after;
  const auto& closed = presenter.ClosedDialogs();
  for (size_t i = before; i < closed.size(); ++i)
    if (closed[i].templateId == kVersionDialog) {
      const auto it = closed[i].form.values.find(kSoftwareVersion);
      if (it != closed[i].form.values.end()) after = it->second;
    }
  const std::string status = window.LastStatus();
  outcome.SetReadBack(result == 1 && after.empty() ? 0 : result,
                      result == 1 && after.empty() ? "its version dialog showed no software version" : status, after,
                      expected_, firmware_);
  if (result != 1) return;
  const std::string earlier = outcome.VersionBefore().empty() ? "" : outcome.VersionBefore() + " before, ";
  if (expected_.empty())
    view.Warning("the receiver runs version " + after + " after the update; the version of \"" + firmware_ +
                 "\" is not known (" + unknown_ + "), so it was not compared");
  else if (outcome.VersionMismatch())
    view.Error(outcome.Reason());
  else
    view.Line("Version read back: " + earlier + after + " after, as \"" + firmware_ + "\" states.");
}

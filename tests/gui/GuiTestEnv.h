// What every window test needs: a registry store and data folder of its
// own, the real plug-in loaded under the window's presenter, and a fresh
// wizard per test, with helpers that press its buttons as a person does.
#pragma once
#include <QAbstractButton>
#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "afx/Registry.h"
#include "afx/Ui.h"
#include "gui/QtPresenter.h"
#include "gui/TalvernWizard.h"
#include "hostlib/HostRegistry.h"
#include "hostlib/PluginLoader.h"

// Control `id` of a plug-in dialog or page shown in `window`.
template <class W>
W* In(QWidget* window, int id) {
  return window->findChild<W*>(QStringLiteral("ctl%1").arg(id));
}

// Replaces an edit's text as a person types it.
inline void Type(QLineEdit* edit, const QString& text) {
  edit->selectAll();
  QTest::keyClick(edit, Qt::Key_Backspace);
  QTest::keyClicks(edit, text);
}

class GuiTestEnv {
 public:
  GuiTestEnv() {
    std::string pattern = (std::filesystem::temp_directory_path() / "talvern-gui-test-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) std::abort();
    dir_ = pattern;
    std::filesystem::create_directories(dir_ / "data/talvern/Firmware");
    std::filesystem::create_directories(dir_ / "data/talvern/Devices");
    setenv("TALVERN_REGISTRY", File("registry.reg").c_str(), 1);
    setenv("XDG_DATA_HOME", File("data").c_str(), 1);
    std::string error;
    if (!PrepareRegistry("", &error)) qFatal("registry: %s", error.c_str());
    // The firmware catalogue's key, which a fresh store lacks and the plug-in only opens.
    HKEY key = nullptr;
    RegCreateKeyEx(HKEY_LOCAL_MACHINE, "SOFTWARE\\Korvane\\Talvern\\Firmware", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                   &key, nullptr);
    RegCloseKey(key);
    Load(false);
  }
  ~GuiTestEnv() {
    wizard_.reset();
    plugin_.Unload();
    afx::SetUi(previous_);
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }

  // (Re)loads the plug-in under a new presenter, with Ctrl and Alt held or not.
  void Load(bool ctrlAlt) {
    wizard_.reset();
    plugin_.Unload();
    auto presenter = std::make_unique<QtPresenter>(ctrlAlt);
    afx::UiPresenter* before = afx::SetUi(presenter.get());
    if (!presenter_) previous_ = before;
    presenter_ = std::move(presenter);
    if (!plugin_.Load(std::string(QZ_BIN_DIR) + "/DevQZ710.so")) qFatal("%s", plugin_.Error().c_str());
  }

  std::string File(const std::string& name) const { return (dir_ / name).string(); }
  PluginLoader& Plugin() { return plugin_; }

  // A new wizard on the virtual receiver (COM 1, `profile`), recording the line to transcript.txt.
  TalvernWizard& NewWizard(const std::string& profile = "", const std::string& port = "1") {
    RunSettings settings;
    settings.simulate = true;
    settings.profile = profile;
    settings.port = port;
    settings.transcript = File("transcript.txt");
    return NewWizard(settings);
  }
  TalvernWizard& NewWizard(const RunSettings& settings) {
    wizard_.reset();
    wizard_ = std::make_unique<TalvernWizard>(plugin_, *presenter_, settings);
    wizard_->show();
    return *wizard_;
  }
  TalvernWizard& Wizard() { return *wizard_; }
  void Press(QWizard::WizardButton which) {
    QAbstractButton* b = wizard_->button(which);
    QVERIFY2(b->isVisible() && b->isEnabled(), qPrintable(QString("button %1 cannot be pressed").arg(which)));
    QTest::mouseClick(b, Qt::LeftButton);
  }
  template <class W>
  W* Find(const char* name) const {
    return wizard_->findChild<W*>(QString::fromLatin1(name));
  }
  QString Outcome() const { return Find<QLabel>("outcome")->text(); }

 private:
  std::filesystem::path dir_;
  afx::UiPresenter* previous_ = nullptr;
  std::unique_ptr<QtPresenter> presenter_;
  PluginLoader plugin_;
  std::unique_ptr<TalvernWizard> wizard_;
};

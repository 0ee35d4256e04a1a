#include <QApplication>
#include <QMessageBox>
#include <QPixmap>
#include <QScreen>
#include <QTimer>
#include <cstdio>

#include "afx/Ui.h"
#include "gui/GuiOptions.h"
#include "gui/QtPresenter.h"
#include "gui/TalvernWizard.h"
#include "hostlib/HostRegistry.h"
#include "hostlib/PluginLoader.h"

int main(int argc, char** argv) {
  const GuiOptions options = GuiOptions::Parse(argc, argv);
  if (!options.error.empty()) {
    std::fprintf(stderr, "talvern-gui: %s\n\n%s", options.error.c_str(), GuiOptions::Usage());
    return 64;
  }
  if (options.help) {
    std::fputs(GuiOptions::Usage(), stdout);
    return 0;
  }
  if (options.version) {
    std::printf("talvern-gui %s\n", TALVERN_VERSION);
    return 0;
  }
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("talvern-gui"));
  QApplication::setApplicationVersion(QStringLiteral(TALVERN_VERSION));

  std::string error;
  if (!PrepareRegistry(options.registry, &error)) {
    std::fprintf(stderr, "talvern-gui: %s\n", error.c_str());
    QMessageBox::critical(nullptr, QStringLiteral("Talvern"), QString::fromStdString(error));
    return 1;
  }
  QtPresenter presenter(options.ctrlAlt);
  // Installed before loading: the plug-in asks for Ctrl and Alt while it starts.
  afx::UiPresenter* previous = afx::SetUi(&presenter);
  int status = 0;
  {
    PluginLoader plugin;
    const std::string path = options.plugin.empty() ? PluginLoader::DefaultPath() : options.plugin;
    if (!plugin.Load(path)) {
      std::fprintf(stderr, "talvern-gui: %s\n", plugin.Error().c_str());
      QMessageBox::critical(nullptr, QStringLiteral("Talvern"), QString::fromStdString(plugin.Error()));
      afx::SetUi(previous);
      return 1;
    }
    TalvernWizard wizard(plugin, presenter, options.run);
    wizard.show();
    if (!options.screenshot.empty()) {
      // The whole screen as the display server shows it, once the window has been drawn.
      QTimer::singleShot(1500, &wizard, [&] {
        const QPixmap screen = QGuiApplication::primaryScreen()->grabWindow(0);
        if (!screen.save(QString::fromStdString(options.screenshot), "PNG")) {
          std::fprintf(stderr, "talvern-gui: cannot write %s\n", options.screenshot.c_str());
          status = 1;
        }
        QApplication::quit();
      });
    }
    QApplication::exec();
    if (status == 0) status = wizard.ExitStatus();
  }
  afx::SetUi(previous);
  return status;
}

// Walks the window through every step on the virtual receiver and saves a
// picture of each, for the docs: gui_screenshots DIR (offscreen or on a display).
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <cstdio>
#include <fstream>

#include "GuiTestEnv.h"
#include "ModalResponder.h"

namespace {

QString g_dir;

void Save(QWidget* w, const char* name) {
  QApplication::processEvents();
  const QString path = g_dir + "/" + name + ".png";
  if (!w->grab().save(path)) std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
  else std::printf("%s\n", qPrintable(path));
}

void Press(QAbstractButton* b) { QTest::mouseClick(b, Qt::LeftButton); }

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: gui_screenshots DIR\n");
    return 64;
  }
  g_dir = QString::fromLocal8Bit(argv[1]);
  QDir().mkpath(g_dir);
  GuiTestEnv env;
  ModalResponder modal;
  // A folder whose name stays the same, since the register dialog shows it.
  const QString folder = QDir::tempPath() + "/talvern-gui-pictures";
  QDir().mkpath(folder);
  const std::string image = (folder + "/fw_v420.timg").toStdString();
  if (std::system((std::string(QZ_BIN_DIR) + "/qz7xx-mkimg timg " + image + " --platform KELVOR --version 420 >/dev/null")
                      .c_str()) != 0)
    return 1;

  auto start = [&](int op, const std::string& profile = "") -> TalvernWizard& {
    TalvernWizard& w = env.NewWizard(profile);
    w.resize(780, 580);
    env.Find<QListWidget>("operations")->setCurrentRow(op);
    return w;
  };
  auto finish = [&](TalvernWizard& w) {
    Press(w.button(QWizard::CommitButton));
    if (!QTest::qWaitFor([&] { return !env.Outcome().isEmpty(); }, 60000)) std::fprintf(stderr, "a run did not end\n");
  };

  // The update, step by step, with a firmware file registered by Insert.
  TalvernWizard& update = start(3);
  Save(&update, "1-operations");
  Press(update.button(QWizard::NextButton));
  Save(&update, "2-port");
  env.Find<QRadioButton>("virtual")->click();
  Press(update.button(QWizard::NextButton));
  modal.Expect("#dialog131", [&](QWidget* d) {
    Type(In<QLineEdit>(d, 1011), "Version 4.20");
    Type(In<QLineEdit>(d, 1008), QString::fromStdString(image));
    Save(d, "dialog-register-firmware");
    Press(In<QPushButton>(d, IDOK));
  });
  auto* list = In<QListWidget>(env.Find<QWidget>("pluginPage"), 1002);
  QTest::keyClick(list, Qt::Key_Insert);
  Save(&update, "3-update-page");
  Press(update.button(QWizard::NextButton));
  Save(&update, "4-summary");
  modal.Expect("loss of all logged files", [&](QWidget* box) {
    Press(qobject_cast<QMessageBox*>(box)->button(QMessageBox::Ok));
  });
  finish(update);
  Save(&update, "5-run");

  // The clone page, with its install options open.
  TalvernWizard& clone = start(6);
  Press(clone.button(QWizard::NextButton));
  Press(clone.button(QWizard::NextButton));
  In<QCheckBox>(env.Find<QWidget>("pluginPage"), 5115)->click();
  Type(In<QLineEdit>(env.Find<QWidget>("pluginPage"), 1077), "/home/surveyor/clone/base-station.xml");
  Save(&clone, "3-clone-page");

  // The dialogs and a message box of the runs: a picture of `what` (a window
  // name or box text), then the button that closes it.
  auto shoot = [&](int op, const std::string& profile, const QString& what, const char* name, int button) {
    TalvernWizard& w = start(op, profile);
    Press(w.button(QWizard::NextButton));
    Press(w.button(QWizard::NextButton));
    modal.Expect(what, [&](QWidget* d) {
      if (auto* rows = In<QListWidget>(d, 1041)) rows->setCurrentRow(0);
      Save(d, name);
      auto* box = qobject_cast<QMessageBox*>(d);
      Press(box ? box->button(static_cast<QMessageBox::StandardButton>(button)) : In<QPushButton>(d, button));
    });
    finish(w);
  };
  shoot(0, "", "#dialog912", "dialog-ethernet", IDCANCEL);
  shoot(7, "", "#dialog106", "dialog-version", IDOK);
  const std::string profile = env.File("errors.profile");
  std::ofstream(profile) << "errorlog.entry = 0x10,1,2,0x02440000,0x20000000,1,0,412,2016,3,7,3600000,2000\n"
                         << "errorlog.entry = 0x11,7,2,0x02440100,0x20000010,0,0,412,2016,3,9,7200000,2001\n";
  shoot(8, profile, "#dialog138", "dialog-error-log", IDOK);
  shoot(5, "", "Continue?", "messagebox-reset", QMessageBox::No);
  QDir(folder).removeRecursively();
  return modal.Unexpected().isEmpty() ? 0 : 1;
}

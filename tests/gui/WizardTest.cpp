// The window as a person uses it, on the virtual receiver: every operation
// chosen, its port and pages filled in by clicking and typing, its dialogs
// and message boxes answered, and what the window then shows.
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QGuiApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>
#include <fstream>
#include <sstream>

#include "GuiTestEnv.h"
#include "ModalResponder.h"
#include "gui/FormDialog.h"
#include "gui/TemplateForm.h"

#define VERIFY_OUTCOME(text, start)                          \
  do {                                                       \
    const QString got = (text);                              \
    QVERIFY2(got.startsWith(start), qPrintable(got));        \
  } while (0)

namespace {

void Click(QWidget* w) {
  QVERIFY2(w && w->isEnabled(), "control missing or disabled");
  // A check box or radio button takes clicks on its box and label, not on the rest of its row.
  const bool box = qobject_cast<QCheckBox*>(w) || qobject_cast<QRadioButton*>(w);
  QTest::mouseClick(w, Qt::LeftButton, {}, box ? QPoint(8, w->height() / 2) : w->rect().center());
}

// Counts the transcript's opens and closes: a closed port has as many of each.
std::pair<int, int> OpensAndCloses(const std::string& path) {
  std::ifstream in(path);
  int opens = 0, closes = 0;
  for (std::string line; std::getline(in, line);) {
    std::istringstream words(line);
    std::string time, event;
    words >> time >> event;
    opens += event == "open";
    closes += event == "close";
  }
  return {opens, closes};
}

}  // namespace

class WizardTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<GuiTestEnv> env_;
  ModalResponder modal_;

  // Chooses operation `op` and the virtual receiver, and presses Next.
  void ChooseOperation(int op, const std::string& profile = "") {
    TalvernWizard& w = env_->NewWizard(profile);
    QCOMPARE(w.currentId(), int(TalvernWizard::kOperations));
    auto* list = env_->Find<QListWidget>("operations");
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(op)).center());
    QCOMPARE(list->currentRow(), op);
    env_->Press(QWizard::NextButton);
    QCOMPARE(w.currentId(), int(TalvernWizard::kPort));
    Click(env_->Find<QRadioButton>("virtual"));
    env_->Press(QWizard::NextButton);
  }
  // Says what the run got stuck at and closes every modal window until it ends.
  QString Stuck() {
    QString what = "the run did not end; waiting for " + modal_.Pending() + ", showing:";
    for (int i = 0; i < 50 && env_->Outcome().isEmpty(); ++i) {
      if (QWidget* w = QApplication::activeModalWidget()) {
        auto* box = qobject_cast<QMessageBox*>(w);
        what += " [" + w->objectName() + (box ? ": " + box->text() : QString()) + "]";
        QMetaObject::invokeMethod(w, "reject", Qt::QueuedConnection);
      }
      QTest::qWait(100);
    }
    return what;
  }
  // From the summary: Start, then waits for the run's closing line.
  QString StartAndFinish() {
    TalvernWizard& w = env_->Wizard();
    if (w.currentId() != TalvernWizard::kSummary) return "not on the summary page";
    env_->Press(QWizard::CommitButton);
    if (!QTest::qWaitFor([&] { return !env_->Outcome().isEmpty(); }, 30000)) return Stuck();
    if (!QTest::qWaitFor([&] { return modal_.Idle(); }, 2000)) return "never shown: " + modal_.Pending();
    if (!modal_.Unexpected().isEmpty()) return "unexpected: " + modal_.Unexpected().join(" | ");
    return env_->Outcome();
  }

 private slots:
  void initTestCase() { env_ = std::make_unique<GuiTestEnv>(); }
  void cleanupTestCase() { env_.reset(); }
  void init() { modal_.Clear(); }

  void listsTheOperationsWithTheirDescriptions() {
    env_->NewWizard();
    auto* list = env_->Find<QListWidget>("operations");
    QCOMPARE(list->count(), 9);  // no service operation without Ctrl+Alt
    QCOMPARE(list->item(3)->text(), QString("Load GPS software"));
    list->setCurrentRow(7);
    QCOMPARE(env_->Find<QLabel>("description")->text(), QString("Retrieves the software version from the QZ7xx."));
    env_->Load(true);
    env_->NewWizard();
    QCOMPARE(env_->Find<QListWidget>("operations")->count(), 10);
    QCOMPARE(env_->Find<QListWidget>("operations")->item(9)->text(), QString("Wipe CM Blocks"));
    env_->Load(false);
  }

  // Runs that show one window: it is checked and answered as a person
  // would, and the run ends as the answer says.
  void aRunsOneWindowIsAnsweredAndTheRunEndsAsItSays() {
    // A message box with its icon, buttons and default (NoButton: not checked), answered with `click`.
    auto box = [](QMessageBox::Icon icon, QMessageBox::StandardButtons buttons, QMessageBox::StandardButton def,
                  QMessageBox::StandardButton click) {
      return [=](QWidget* w) {
        auto* b = qobject_cast<QMessageBox*>(w);
        QCOMPARE(b->icon(), icon);
        QCOMPARE(b->standardButtons(), buttons);
        QCOMPARE(b->windowTitle(), QString("DevQZ710"));
        if (def != QMessageBox::NoButton) QCOMPARE(b->defaultButton(), b->button(def));
        Click(b->button(click));
      };
    };
    // A dialog whose `field` shows `want` (anything, when empty), accepted as shown.
    auto dialog = [](int field, const char* want, bool readOnly = false) {
      return [=](QWidget* d) {
        const QString shown = In<QLineEdit>(d, field)->text();
        QVERIFY2(*want ? shown == want : !shown.isEmpty(), qPrintable(shown));
        QCOMPARE(In<QLineEdit>(d, field)->isReadOnly(), readOnly);
        Click(In<QPushButton>(d, IDOK));
      };
    };
    using B = QMessageBox;
    struct Case {
      int op;
      const char* profile;
      const char* window;
      std::function<void(QWidget*)> answer;
      const char* outcome;
      int exitStatus;
    };
    const Case cases[] = {
        {7, "", "#dialog106", dialog(1017, "", true), "Operation succeeded", 0},  // the software version
        {9, "", "This operation fixes a problem", box(B::Question, B::Yes | B::No, B::NoButton, B::Yes),
         "Operation succeeded", 0},  // the service operation runs like any other
        {5, "", "Continue?", box(B::Question, B::Yes | B::No, B::Yes, B::No), "Operation declined", 2},
        {2, "", "radio module is incompatible", box(B::Warning, B::Ok, B::NoButton, B::Ok), "Operation failed", 1},
        {1, "radio.mode = 4\n", "#dialog940", dialog(941, "450125"), "Operation succeeded", 0},  // fixed frequencies
        {1, "radio.mode = 1\nradio.setting = 7\n", "#dialog950", dialog(951, "7"), "Operation succeeded", 0},  // hopping
    };
    for (const Case& c : cases) {
      modal_.Clear();
      env_->Load(c.op == 9);
      const std::string profile = env_->File("run.profile");
      std::ofstream(profile) << c.profile;
      ChooseOperation(c.op, profile);
      QCOMPARE(env_->Wizard().currentId(), int(TalvernWizard::kSummary));
      modal_.Expect(c.window, c.answer);
      VERIFY_OUTCOME(StartAndFinish(), c.outcome);
      QCOMPARE(env_->Wizard().ExitStatus(), c.exitStatus);
    }
    env_->Load(false);
  }

  void replaysARecordedVersionCheck() {
    RunSettings settings;
    settings.replay = QZ_TEST_DATA_DIR "/sessions/op7.txt";
    env_->NewWizard(settings);
    env_->Find<QListWidget>("operations")->setCurrentRow(7);
    env_->Press(QWizard::NextButton);
    QVERIFY(env_->Find<QRadioButton>("replay")->isChecked());
    QCOMPARE(env_->Find<QLineEdit>("replayFile")->text(), QString(settings.replay.c_str()));
    env_->Press(QWizard::NextButton);
    modal_.Expect("#dialog106", [](QWidget* d) { Click(In<QPushButton>(d, IDOK)); });
    VERIFY_OUTCOME(StartAndFinish(), "Operation succeeded");
  }

  void ethernetDialogRefusesABadAddressAndStaysOpen() {
    ChooseOperation(0);
    QPointer<QWidget> dialog;
    modal_.Expect("#dialog912", [&](QWidget* d) {
      dialog = d;
      QCOMPARE(qobject_cast<QComboBox*>(In<QComboBox>(d, 913))->currentText(), QString("Static IP address"));
      Type(In<QLineEdit>(d, 914), "999.1.1.1");
      Click(In<QPushButton>(d, IDOK));
    });
    modal_.Expect("999.1.1.1 is not a valid IP address.", [&](QWidget* box) {
      auto* b = qobject_cast<QMessageBox*>(box);
      QCOMPARE(b->buttons().size(), 1);
      QCOMPARE(b->standardButton(b->buttons().front()), QMessageBox::Ok);
      QVERIFY2(dialog && dialog->isVisible(), "the dialog closed under its message");
      Click(b->button(QMessageBox::Ok));
    });
    modal_.Expect("#dialog912", [&](QWidget* d) {
      QCOMPARE(d, dialog.data());
      QCOMPARE(In<QLineEdit>(d, 914)->text(), QString("999.1.1.1"));
      Type(In<QLineEdit>(d, 914), "10.0.0.5");
      Click(In<QPushButton>(d, IDOK));
    });
    VERIFY_OUTCOME(StartAndFinish(), "Operation succeeded");
    QVERIFY(!dialog);  // closed and gone once the dialog ended
  }

  void clonePageEnablesItsBoxesWithInstall() {
    const std::string clone = env_->File("receiver.xml");
    std::ofstream(clone) << "<?xml version=\"1.0\"?><Clone><Item name=\"x\"/></Clone>\n";
    ChooseOperation(6);
    QCOMPARE(env_->Wizard().currentId(), int(TalvernWizard::kPages));
    auto* page = env_->Find<QWidget>("pluginPage");
    auto* install = In<QCheckBox>(page, 5115);
    const int dependents[] = {5116, 5117, 1131};
    for (int id : dependents) QVERIFY2(!In<QCheckBox>(page, id)->isEnabled(), "enabled before Install");
    Click(install);
    for (int id : dependents) QVERIFY2(In<QCheckBox>(page, id)->isEnabled(), "disabled after Install");
    Click(install);
    for (int id : dependents) QVERIFY2(!In<QCheckBox>(page, id)->isEnabled(), "enabled after Install cleared");
    Click(install);
    // The browse button opens a file chooser with the page's filter; the chosen file lands in the field.
    QStringList filters;
    modal_.Expect("#fileChooser", [&](QWidget* w) {
      auto* chooser = qobject_cast<QFileDialog*>(w);
      filters = chooser->nameFilters();
      chooser->selectFile(QString::fromStdString(clone));
      Click(w->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Open));
    });
    Click(In<QPushButton>(page, 1007));
    QCOMPARE(filters, QStringList({"XML File [*.xml] (*.xml)", "All Files [*.*] (*)"}));
    QCOMPARE(In<QLineEdit>(page, 1077)->text(), QString::fromStdString(clone));
    env_->Press(QWizard::NextButton);
    QVERIFY(env_->Find<QLabel>("summary")->text().contains(QString::fromStdString(clone)));
    VERIFY_OUTCOME(StartAndFinish(), "Operation succeeded");
  }

  void updatePageRegistersWithInsertAndCancelStopsTheRun() {
    const std::string image = env_->File("fw_v420.timg");
    QCOMPARE(std::system((std::string(QZ_BIN_DIR) + "/qz7xx-mkimg timg " + image +
                          " --platform KELVOR --version 420 >/dev/null").c_str()), 0);
    ChooseOperation(3);
    auto* list = In<QListWidget>(env_->Find<QWidget>("pluginPage"), 1002);
    QCOMPARE(list->count(), 0);
    modal_.Expect("#dialog131", [&](QWidget* d) {
      Type(In<QLineEdit>(d, 1011), "Version 4.20");
      Type(In<QLineEdit>(d, 1008), QString::fromStdString(image));
      Click(In<QPushButton>(d, IDOK));
    });
    list->setFocus();
    QTest::keyClick(list, Qt::Key_Insert);
    QVERIFY(modal_.Idle());
    QCOMPARE(list->count(), 1);
    QCOMPARE(list->item(0)->text(), QString("Version 4.20"));
    QCOMPARE(list->currentRow(), 0);
    env_->Press(QWizard::NextButton);

    modal_.Expect("loss of all logged files", [](QWidget* box) {
      auto* b = qobject_cast<QMessageBox*>(box);
      QCOMPARE(b->defaultButton(), b->button(QMessageBox::Cancel));  // OK must be chosen
      Click(b->button(QMessageBox::Ok));
    });
    // Cancel as soon as the transfer is under way.
    bool cancelled = false;
    QString waiting;
    connect(&env_->Wizard().View(), &GuiRunView::ProgressChanged, this, [&](int percent) {
      if (cancelled || percent < 20) return;
      cancelled = true;
      env_->Press(QWizard::CancelButton);
      waiting = env_->Find<QLabel>("status")->text();
    });
    VERIFY_OUTCOME(StartAndFinish(), "Operation cancelled");
    QVERIFY2(env_->Outcome().endsWith("interrupted (Cancel)"), qPrintable(env_->Outcome()));
    QVERIFY(cancelled);
    QVERIFY2(waiting.contains("waiting for the operation to stop"), qPrintable(waiting));
    QCOMPARE(env_->Find<QProgressBar>("progress")->value() < 100, true);
    const auto [opens, closes] = OpensAndCloses(env_->File("transcript.txt"));
    QVERIFY(opens > 0);
    QCOMPARE(closes, opens);
  }

  void closingDuringARunAsksThenWaitsForTheEnd() {
    ChooseOperation(3);  // the image registered above
    env_->Press(QWizard::NextButton);
    modal_.Expect("loss of all logged files", [](QWidget* box) {
      Click(qobject_cast<QMessageBox*>(box)->button(QMessageBox::Ok));
    });
    bool asked = false;
    modal_.Expect("still running", [&](QWidget* box) {
      asked = true;
      Click(qobject_cast<QMessageBox*>(box)->button(QMessageBox::Yes));
    });
    bool closing = false;
    connect(&env_->Wizard().View(), &GuiRunView::ProgressChanged, this, [&](int percent) {
      if (closing || percent < 10) return;
      closing = true;
      env_->Wizard().close();
      QVERIFY2(env_->Wizard().isVisible(), "closed before the run ended");
    });
    env_->Press(QWizard::CommitButton);
    QVERIFY(QTest::qWaitFor([&] { return !env_->Wizard().isVisible(); }, 60000));
    QVERIFY(asked);
    QCOMPARE(env_->Wizard().ExitStatus(), 2);
    const auto [opens, closes] = OpensAndCloses(env_->File("transcript.txt"));
    QCOMPARE(closes, opens);
  }

  void errorLogViewerListsCopiesAndShowsDetails() {
    const std::string profile = env_->File("errors.profile");
    std::ofstream(profile) << "errorlog.entry = 0x10,1,2,0x02440000,0x20000000,1,0,412,2016,3,7,3600000,2000\n";
    ChooseOperation(8, profile);
    QString copied, detail;
    modal_.Expect("#dialog138", [&](QWidget* d) {
      auto* list = In<QListWidget>(d, 1041);
      QCOMPARE(list->count(), 1);
      Click(In<QPushButton>(d, 1073));
      copied = QGuiApplication::clipboard()->text();
      const QPoint row = list->visualItemRect(list->item(0)).center();
      QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, row);  // a double click is two clicks
      QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, row);
      Click(In<QPushButton>(d, IDOK));
    });
    modal_.Expect("#dialog139", [&](QWidget* d) {
      detail = In<QLineEdit>(d, 1017)->text();
      Click(In<QPushButton>(d, IDOK));
    });
    VERIFY_OUTCOME(StartAndFinish(), "Operation succeeded");
    QVERIFY2(copied.contains("412") || copied.contains("4.12"), qPrintable(copied));
    QVERIFY(!detail.isEmpty());
  }

  void radioSoftwarePageKeepsTheWizardWithoutASelection() {
    ChooseOperation(4);
    QCOMPARE(env_->Wizard().currentId(), int(TalvernWizard::kPages));
    modal_.Expect("No software version was selected.", [](QWidget* box) {
      Click(qobject_cast<QMessageBox*>(box)->button(QMessageBox::Ok));
    });
    env_->Press(QWizard::NextButton);
    QVERIFY(modal_.Idle());
    QCOMPARE(env_->Wizard().currentId(), int(TalvernWizard::kPages));
    // Back leaves the pages for the port, one step; Next sets the run up anew.
    env_->Press(QWizard::BackButton);
    QCOMPARE(env_->Wizard().currentId(), int(TalvernWizard::kPort));
    env_->Press(QWizard::NextButton);
    QCOMPARE(env_->Wizard().currentId(), int(TalvernWizard::kPages));
    env_->Press(QWizard::CancelButton);
    QVERIFY(!env_->Wizard().isVisible());
    QCOMPARE(env_->Wizard().ExitStatus(), 2);
  }
};

QTEST_MAIN(WizardTest)
#include "WizardTest.moc"

// The renderer: what each kind and style of template control becomes, and
// how a person's input reaches the dialog's handlers and the handlers'
// changes come back, as one table over a template that holds every kind.
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTest>
#include <functional>

#include "afx/Module.h"
#include "gui/QtPresenter.h"
#include "gui/RunPage.h"
#include "gui/TemplateForm.h"

namespace {

const std::vector<DialogTemplate> kTemplates = {
    {500, "Every control",
     {{10, "static", "&Name:", ""},
      {11, "edit", "", ""},
      {12, "edit", "", "ipaddress"},
      {13, "edit", "4.10", "readonly"},
      {14, "edit", "", "password"},
      {20, "checkbox", "Keep IP && hostname", ""},
      {21, "checkbox", "Hidden", "hidden"},
      {22, "checkbox", "Disabled", "disabled"},
      {30, "radio", "One", ""},
      {31, "radio", "Two", ""},
      {40, "combobox", "", "dropdownlist"},
      {41, "combobox", "", ""},
      {1100, "groupbox", "&Files", ""},
      {50, "listbox", "", "notify wantkeys"},
      {51, "listctrl", "", "report gridlines"},
      {60, "button", "&Browse...", ""},
      {70, "picture", "", ""},
      {1, "button", "OK", "default"},
      {2, "button", "Cancel", ""}}},
};

// Records what reaches its handlers; Delete in the list is handled by the dialog.
class RecordingDialog : public CDialog {
 public:
  RecordingDialog() : CDialog(500) {}
  BOOL OnCommand(UINT id, UINT code) override {
    log += QStringLiteral("cmd %1/%2 ").arg(id).arg(code);
    if (id == 20 && code == BN_CLICKED) FindControl(22)->enabled = FindControl(20)->check != 0;
    return CDialog::OnCommand(id, code);
  }
  int OnVKeyToItem(UINT key, int list, UINT caret) override {
    log += QStringLiteral("key %1@%2:%3 ").arg(key, 0, 16).arg(list).arg(caret);
    if (key == 0x2E) {
      FindControl(50)->items.clear();
      return -2;
    }
    return -1;
  }
  QString log;
};

template <class W>
W* Get(TemplateForm& form, int id) {
  return qobject_cast<W*>(form.Widget(id));
}

}  // namespace

class TemplateFormTest : public QObject {
  Q_OBJECT

 private slots:
  void rendersAndDelivers() {
    AFX_MODULE_STATE state;
    state.dialogs = &kTemplates;
    AFX_MANAGE_STATE(&state);
    struct Case {
      const char* what;
      std::function<QString(RecordingDialog&, TemplateForm&)> act;
      QString expected;
    };
    const Case cases[] = {
        {"label with its buddy field", [](RecordingDialog&, TemplateForm& f) {
           auto* l = Get<QLabel>(f, 10);
           return QString("%1 buddy=%2").arg(l->text()).arg(l->buddy() == f.Widget(11));
         }, "&Name: buddy=1"},
        {"edits by style", [](RecordingDialog&, TemplateForm& f) {
           return QString("ip=%1/%2 ro=%3 '%4' pw=%5").arg(Get<QLineEdit>(f, 12)->validator() != nullptr)
               .arg(Get<QLineEdit>(f, 12)->placeholderText()).arg(Get<QLineEdit>(f, 13)->isReadOnly())
               .arg(Get<QLineEdit>(f, 13)->text()).arg(Get<QLineEdit>(f, 14)->echoMode() == QLineEdit::Password);
         }, "ip=1/0.0.0.0 ro=1 '4.10' pw=1"},
        {"an address edit takes digits and dots only", [](RecordingDialog& d, TemplateForm& f) {
           QTest::keyClicks(Get<QLineEdit>(f, 12), "10.a0.0.5x");
           return QString::fromStdString(d.FindControl(12)->text);
         }, "10.0.0.5"},
        {"typing reaches the model and the handler", [](RecordingDialog& d, TemplateForm& f) {
           QTest::keyClicks(Get<QLineEdit>(f, 11), "ab");
           return QString::fromStdString(d.FindControl(11)->text) + " " + d.log;
         }, "ab cmd 11/768 cmd 11/768 "},
        {"check boxes: && is one &, hidden, disabled", [](RecordingDialog&, TemplateForm& f) {
           return QString("%1 hidden=%2 enabled=%3").arg(Get<QCheckBox>(f, 20)->text())
               .arg(Get<QCheckBox>(f, 21)->isHidden()).arg(Get<QCheckBox>(f, 22)->isEnabled());
         }, "Keep IP && hostname hidden=1 enabled=0"},
        {"a click goes to the handler, whose change comes back", [](RecordingDialog& d, TemplateForm& f) {
           QTest::mouseClick(Get<QCheckBox>(f, 20), Qt::LeftButton, {}, QPoint(8, 8));
           return QString("check=%1 enabled22=%2 %3").arg(d.FindControl(20)->check)
               .arg(Get<QCheckBox>(f, 22)->isEnabled()).arg(d.log);
         }, "check=1 enabled22=1 cmd 20/0 "},
        {"radio buttons keep one of their run checked", [](RecordingDialog& d, TemplateForm& f) {
           QTest::mouseClick(Get<QRadioButton>(f, 30), Qt::LeftButton, {}, QPoint(8, 8));
           QTest::mouseClick(Get<QRadioButton>(f, 31), Qt::LeftButton, {}, QPoint(8, 8));
           return QString("%1%2 %3%4").arg(d.FindControl(30)->check).arg(d.FindControl(31)->check)
               .arg(Get<QRadioButton>(f, 30)->isChecked()).arg(Get<QRadioButton>(f, 31)->isChecked());
         }, "01 01"},
        {"combo boxes: drop-down list or editable; a choice is a selection change", [](RecordingDialog& d, TemplateForm& f) {
           d.FindControl(40)->items = {"DHCP", "Static IP address"};
           d.FindControl(40)->selection = 0;
           f.Refresh();
           auto* combo = Get<QComboBox>(f, 40);
           combo->setFocus();
           QTest::keyClick(combo, Qt::Key_Down);
           return QString("%1 %2 sel=%3 %4").arg(combo->isEditable()).arg(Get<QComboBox>(f, 41)->isEditable())
               .arg(d.FindControl(40)->selection).arg(d.log);
         }, "0 1 sel=1 cmd 40/1 "},
        {"a list with wantkeys hands keys to the dialog; -2 keeps them", [](RecordingDialog& d, TemplateForm& f) {
           d.FindControl(50)->items = {"Version 4.10", "Version 4.20"};
           d.FindControl(50)->selection = 1;
           f.Refresh();
           auto* list = Get<QListWidget>(f, 50);
           QTest::keyClick(list, Qt::Key_Up);  // -1: the list moves itself
           const int row = list->currentRow();
           QTest::keyClick(list, Qt::Key_Delete);
           return QString("row=%1 count=%2 %3").arg(row).arg(list->count()).arg(d.log);
         }, "row=0 count=0 key 26@50:1 cmd 50/1 key 2e@50:0 "},
        {"list control rows and columns", [](RecordingDialog& d, TemplateForm& f) {
           afx::Control* c = d.FindControl(51);
           c->columns = {"Field", "Value"};
           c->items = {"PC"};
           c->subItems = {{"0x02440000"}};
           f.Refresh();
           auto* t = Get<QTableWidget>(f, 51);
           return QString("%1x%2 %3=%4 grid=%5").arg(t->rowCount()).arg(t->columnCount())
               .arg(t->horizontalHeaderItem(0)->text()).arg(t->item(0, 1)->text()).arg(t->showGrid());
         }, "1x2 Field=0x02440000 grid=1"},
        {"frame, side button and picture", [](RecordingDialog& d, TemplateForm& f) {
           QTest::mouseClick(Get<QPushButton>(f, 60), Qt::LeftButton);
           return QString("%1 %2 %3").arg(Get<QGroupBox>(f, 1100)->title())
               .arg(!Get<QLabel>(f, 70)->pixmap().isNull()).arg(d.log);
         }, "&Files 1 cmd 60/0 "},
        {"OK and Cancel ask the presenter, they send nothing themselves", [](RecordingDialog& d, TemplateForm& f) {
           QSignalSpy asked(&f, &TemplateForm::ActionRequested);
           QTest::mouseClick(Get<QPushButton>(f, IDOK), Qt::LeftButton);
           QTest::mouseClick(Get<QPushButton>(f, IDCANCEL), Qt::LeftButton);
           return QString("%1 %2 default=%3 '%4'").arg(asked.at(0).at(0).toString()).arg(asked.at(1).at(0).toString())
               .arg(Get<QPushButton>(f, IDOK)->isDefault()).arg(d.log);
         }, "ok cancel default=1 ''"},
        {"the model's changes show on Refresh", [](RecordingDialog& d, TemplateForm& f) {
           d.FindControl(11)->text = "set by code";
           d.FindControl(11)->enabled = false;
           d.FindControl(21)->visible = true;
           d.FindControl(20)->check = BST_CHECKED;
           f.Refresh();
           return QString("%1 %2 %3 %4").arg(Get<QLineEdit>(f, 11)->text()).arg(Get<QLineEdit>(f, 11)->isEnabled())
               .arg(Get<QCheckBox>(f, 21)->isHidden()).arg(Get<QCheckBox>(f, 20)->isChecked());
         }, "set by code 0 0 1"},
    };
    QPixmap picture(8, 8);
    picture.fill(Qt::green);
    for (const Case& c : cases) {
      RecordingDialog dialog;
      dialog.CreateControls();
      TemplateForm form(dialog, picture);
      form.show();
      QVERIFY(QTest::qWaitForWindowExposed(&form));
      const QString got = c.act(dialog, form);
      QVERIFY2(got == c.expected, qPrintable(QString("%1: got \"%2\", expected \"%3\"").arg(c.what, got, c.expected)));
    }
  }

  void convertsThePluginsWords() {
    struct Case {
      QString got, expected;
    };
    const Case cases[] = {
        {QtPresenter::NameFilters("XML File [*.xml]|*.xml|All Files [*.*]|*.*||").join(";;"),
         "XML File [*.xml] (*.xml);;All Files [*.*] (*)"},
        {QtPresenter::NameFilters("Images|*.timg;*.srec||").join(";;"), "Images (*.timg *.srec)"},
        {QtPresenter::NameFilters("").join(";;"), ""},
        {QtPresenter::NameFilters("No patterns").join(";;"), ""},
        {QString::number(TemplateForm::VirtualKey(Qt::Key_Insert), 16), "2d"},
        {QString::number(TemplateForm::VirtualKey(Qt::Key_F1)), "0"},
        {RunPage::RateText(0, 10), ""},
        {RunPage::RateText(25, 60), "25 %/min, about 3:00 left"},
        {RunPage::RateText(100, 30), "200 %/min"},
        {RunPage::RateText(3, 60), "3.0 %/min, about 32:20 left"},
        {RunPage::Duration(3723), "1:02:03"},
    };
    for (const Case& c : cases) QCOMPARE(c.got, c.expected);
  }
};

QTEST_MAIN(TemplateFormTest)
#include "TemplateFormTest.moc"

#include "gui/TemplateForm.h"

#include <QBoxLayout>
#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QFormLayout>
#include <QGroupBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QSignalBlocker>
#include <QTableWidget>

namespace {

bool IsField(const afx::Control& c) { return c.kind == "edit" || c.kind == "combobox"; }
bool IsFootButton(const afx::Control& c) { return c.kind == "button" && (c.id == IDOK || c.id == IDCANCEL); }
bool IsSideButton(const afx::Control& c) { return c.kind == "button" && !IsFootButton(c); }

QStringList Rows(const std::vector<std::string>& items) {
  QStringList rows;
  for (const std::string& item : items) rows << QString::fromStdString(item);
  return rows;
}

void SetRows(QListWidget* list, const std::vector<std::string>& items) {
  QStringList now;
  for (int i = 0; i < list->count(); ++i) now << list->item(i)->text();
  const QStringList rows = Rows(items);
  if (now == rows) return;
  list->clear();
  list->addItems(rows);
}

void SetRows(QComboBox* combo, const std::vector<std::string>& items) {
  QStringList now;
  for (int i = 0; i < combo->count(); ++i) now << combo->itemText(i);
  const QStringList rows = Rows(items);
  if (now == rows) return;
  combo->clear();
  combo->addItems(rows);
}

void SetRows(QTableWidget* table, const afx::Control& c) {
  size_t columns = std::max<size_t>(c.columns.size(), 1);
  for (const auto& cells : c.subItems) columns = std::max(columns, cells.size() + 1);
  table->setColumnCount(static_cast<int>(columns));
  QStringList headings = Rows(c.columns);
  while (headings.size() < static_cast<int>(columns)) headings << QString();
  table->setHorizontalHeaderLabels(headings);
  table->setRowCount(static_cast<int>(c.items.size()));
  for (size_t r = 0; r < c.items.size(); ++r) {
    auto cell = [&](size_t column, const std::string& text) {
      const QString value = QString::fromStdString(text);
      QTableWidgetItem* item = table->item(static_cast<int>(r), static_cast<int>(column));
      if (!item) table->setItem(static_cast<int>(r), static_cast<int>(column), new QTableWidgetItem(value));
      else if (item->text() != value) item->setText(value);
    };
    cell(0, c.items[r]);
    for (size_t k = 1; k < columns; ++k)
      cell(k, r < c.subItems.size() && k - 1 < c.subItems[r].size() ? c.subItems[r][k - 1] : "");
  }
  table->resizeColumnsToContents();
}

}  // namespace

QString TemplateForm::Text(const std::string& text) { return QString::fromStdString(text); }

unsigned TemplateForm::VirtualKey(int key) {
  switch (key) {
    case Qt::Key_Insert: return 0x2D;
    case Qt::Key_Delete: return 0x2E;
    case Qt::Key_Return:
    case Qt::Key_Enter: return 0x0D;
    case Qt::Key_Space: return 0x20;
    case Qt::Key_PageUp: return 0x21;
    case Qt::Key_PageDown: return 0x22;
    case Qt::Key_End: return 0x23;
    case Qt::Key_Home: return 0x24;
    case Qt::Key_Left: return 0x25;
    case Qt::Key_Up: return 0x26;
    case Qt::Key_Right: return 0x27;
    case Qt::Key_Down: return 0x28;
    default: break;
  }
  // Letters and digits have the same codes in both.
  if ((key >= Qt::Key_A && key <= Qt::Key_Z) || (key >= Qt::Key_0 && key <= Qt::Key_9)) return static_cast<unsigned>(key);
  return 0;
}

TemplateForm::TemplateForm(CDialog& dialog, const QPixmap& picture, QWidget* parent)
    : QWidget(parent), dialog_(dialog), picture_(picture) {
  setObjectName(QStringLiteral("template%1").arg(dialog.TemplateId()));
  auto* outer = new QHBoxLayout(this);
  outer->setContentsMargins(0, 0, 0, 0);
  auto* column = new QVBoxLayout;
  auto* side = new QVBoxLayout;
  outer->addLayout(column, 1);
  outer->addLayout(side);
  auto* foot = new QHBoxLayout;
  foot->addStretch(1);

  auto* form = new QFormLayout;
  form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
  column->addLayout(form);
  QGroupBox* group = nullptr;
  std::vector<afx::Control>& controls = dialog.Controls();
  auto newForm = [&](QLayout* in) {
    form = new QFormLayout;
    form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    if (in) {
      static_cast<QVBoxLayout*>(in)->addLayout(form);
    }
  };
  for (size_t i = 0; i < controls.size(); ++i) {
    afx::Control& c = controls[i];
    // A frame holds what follows it, up to the next frame, picture or OK/Cancel.
    if (group && (c.kind == "groupbox" || c.kind == "picture" || IsFootButton(c))) {
      group = nullptr;
      newForm(column);
    }
    QWidget* w = Build(c);
    if (c.kind == "groupbox") {
      group = static_cast<QGroupBox*>(w);
      column->addWidget(group);
      newForm(nullptr);
      group->setLayout(form);
      continue;
    }
    if (c.kind == "picture") {
      side->addWidget(w, 0, Qt::AlignTop | Qt::AlignRight);
      continue;
    }
    if (IsFootButton(c)) {
      foot->addWidget(w);
      continue;
    }
    // A field with the button after it (Browse) shares its row.
    auto withButton = [&](QWidget* field) -> QLayout* {
      auto* row = new QHBoxLayout;
      row->addWidget(field, 1);
      while (i + 1 < controls.size() && IsSideButton(controls[i + 1])) row->addWidget(Build(controls[++i]));
      return row;
    };
    if (c.kind == "static" && i + 1 < controls.size() && IsField(controls[i + 1])) {
      auto* label = static_cast<QLabel*>(w);
      QWidget* field = Build(controls[++i]);
      label->setBuddy(field);
      form->addRow(label, withButton(field));
    } else if (IsField(c)) {
      form->addRow(withButton(w));
    } else if (IsSideButton(c)) {
      auto* row = new QHBoxLayout;
      row->addWidget(w);
      while (i + 1 < controls.size() && IsSideButton(controls[i + 1])) row->addWidget(Build(controls[++i]));
      row->addStretch(1);
      form->addRow(row);
    } else {
      form->addRow(w);
    }
  }
  column->addStretch(1);
  if (foot->count() > 1) column->addLayout(foot);
  else delete foot;
  side->addStretch(1);
  Refresh();
}

// A field that loses the focus as it goes would still report it.
TemplateForm::~TemplateForm() { Detach(); }

void TemplateForm::Detach() {
  detached_ = true;
  for (auto& [id, w] : widgets_) w->blockSignals(true);
}

QWidget* TemplateForm::Widget(int id) const {
  const auto it = widgets_.find(id);
  return it == widgets_.end() ? nullptr : it->second;
}

QWidget* TemplateForm::Build(afx::Control& c) {
  const int id = c.id;
  QWidget* w = nullptr;
  if (c.kind == "edit") {
    auto* edit = new QLineEdit;
    edit->setReadOnly(c.HasStyle("readonly"));
    if (c.HasStyle("password")) edit->setEchoMode(QLineEdit::Password);
    if (c.HasStyle("ipaddress")) {
      // A dotted quad: digits and dots only; whether it is an address the dialog decides.
      edit->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9.]{0,15}")), edit));
      edit->setPlaceholderText(QStringLiteral("0.0.0.0"));
    }
    connect(edit, &QLineEdit::textEdited, this, [this, id](const QString& text) {
      if (afx::Control* m = dialog_.FindControl(id)) m->text = text.toStdString();
      Send(id, EN_CHANGE);
    });
    connect(edit, &QLineEdit::editingFinished, this, [this, id, edit] {
      if (!edit->isReadOnly()) Send(id, EN_KILLFOCUS);
    });
    w = edit;
  } else if (c.kind == "combobox") {
    auto* combo = new QComboBox;
    combo->setEditable(!c.HasStyle("dropdownlist"));
    connect(combo, &QComboBox::activated, this, [this, id](int row) {
      if (afx::Control* m = dialog_.FindControl(id)) {
        m->selection = row;
        if (row >= 0 && static_cast<size_t>(row) < m->items.size()) m->text = m->items[static_cast<size_t>(row)];
      }
      Send(id, CBN_SELCHANGE);
    });
    if (combo->isEditable())
      connect(combo->lineEdit(), &QLineEdit::textEdited, this, [this, id](const QString& text) {
        if (afx::Control* m = dialog_.FindControl(id)) {
          m->text = text.toStdString();
          m->selection = -1;
        }
      });
    w = combo;
  } else if (c.kind == "listbox") {
    auto* list = new QListWidget;
    const bool notify = c.HasStyle("notify");
    connect(list, &QListWidget::currentRowChanged, this, [this, id, notify](int row) {
      if (refreshing_) return;
      if (afx::Control* m = dialog_.FindControl(id)) m->selection = row;
      if (notify) Send(id, LBN_SELCHANGE);
    });
    connect(list, &QListWidget::itemDoubleClicked, this, [this, id, notify] {
      if (notify) Send(id, LBN_DBLCLK);
    });
    if (c.HasStyle("wantkeys")) list->installEventFilter(this);
    w = list;
  } else if (c.kind == "listctrl") {
    auto* table = new QTableWidget;
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setSelectionMode(QAbstractItemView::SingleSelection);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setShowGrid(c.HasStyle("gridlines"));
    table->verticalHeader()->hide();
    table->horizontalHeader()->setStretchLastSection(true);
    connect(table, &QTableWidget::currentCellChanged, this, [this, id](int row) {
      if (refreshing_) return;
      if (afx::Control* m = dialog_.FindControl(id)) m->selection = row;
    });
    w = table;
  } else if (c.kind == "checkbox") {
    auto* box = new QCheckBox(Text(c.text));
    connect(box, &QCheckBox::clicked, this, [this, id](bool on) {
      if (afx::Control* m = dialog_.FindControl(id)) m->check = on ? BST_CHECKED : BST_UNCHECKED;
      Send(id, BN_CLICKED);
    });
    w = box;
  } else if (c.kind == "radio") {
    auto* radio = new QRadioButton(Text(c.text));
    // The model keeps one of a run of radio buttons checked, as automatic radio buttons do.
    radio->setAutoExclusive(false);
    connect(radio, &QRadioButton::clicked, this, [this, id] {
      std::vector<afx::Control>& all = dialog_.Controls();
      size_t at = 0;
      while (at < all.size() && all[at].id != id) ++at;
      if (at == all.size()) return;
      size_t first = at, last = at;
      while (first > 0 && all[first - 1].kind == "radio") --first;
      while (last + 1 < all.size() && all[last + 1].kind == "radio") ++last;
      for (size_t k = first; k <= last; ++k) all[k].check = k == at ? BST_CHECKED : BST_UNCHECKED;
      Send(id, BN_CLICKED);
    });
    w = radio;
  } else if (c.kind == "button") {
    auto* button = new QPushButton(Text(c.text));
    button->setDefault(c.HasStyle("default"));
    connect(button, &QPushButton::clicked, this, [this, id] {
      if (id == IDOK || id == IDCANCEL) emit ActionRequested(id == IDOK ? QStringLiteral("ok") : QStringLiteral("cancel"));
      else Send(id, BN_CLICKED);
    });
    w = button;
  } else if (c.kind == "groupbox") {
    w = new QGroupBox(Text(c.text));
  } else if (c.kind == "picture") {
    auto* label = new QLabel;
    label->setPixmap(picture_);
    w = label;
  } else {
    auto* label = new QLabel(Text(c.text));
    label->setWordWrap(true);
    // Texts the code fills in (versions, counts) can be copied.
    if (c.id < 1100) label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    w = label;
  }
  w->setObjectName(QStringLiteral("ctl%1").arg(id));
  widgets_[id] = w;
  return w;
}

void TemplateForm::Send(int id, unsigned code) {
  if (detached_ || refreshing_ || dialog_.IsEnded()) return;
  dialog_.SendCommand(static_cast<UINT>(id), code);
  Refresh();
  emit Delivered();
}

void TemplateForm::Refresh() {
  if (detached_) return;
  refreshing_ = true;
  for (const afx::Control& c : dialog_.Controls()) {
    QWidget* w = Widget(c.id);
    if (!w) continue;
    const QSignalBlocker block(w);
    w->setEnabled(c.enabled);
    w->setHidden(!c.visible);
    const QString text = Text(c.text);
    if (auto* edit = qobject_cast<QLineEdit*>(w)) {
      if (edit->text() != text) edit->setText(text);
      if (c.limitText > 0) edit->setMaxLength(c.limitText);
    } else if (auto* combo = qobject_cast<QComboBox*>(w)) {
      SetRows(combo, c.items);
      combo->setCurrentIndex(c.selection);
      if (combo->isEditable() && c.selection < 0 && combo->currentText() != text) combo->setEditText(text);
    } else if (auto* list = qobject_cast<QListWidget*>(w)) {
      SetRows(list, c.items);
      if (c.selection >= 0 && c.selection < list->count()) list->setCurrentRow(c.selection);
      else list->clearSelection();
    } else if (auto* table = qobject_cast<QTableWidget*>(w)) {
      SetRows(table, c);
      if (c.selection >= 0 && c.selection < table->rowCount()) table->selectRow(c.selection);
    } else if (auto* button = qobject_cast<QAbstractButton*>(w)) {
      if (button->text() != text) button->setText(text);
      if (c.kind == "checkbox" || c.kind == "radio") button->setChecked(c.check == BST_CHECKED);
    } else if (auto* group = qobject_cast<QGroupBox*>(w)) {
      if (group->title() != text) group->setTitle(text);
    } else if (auto* label = qobject_cast<QLabel*>(w)) {
      if (c.kind != "picture" && label->text() != text) label->setText(text);
    }
  }
  refreshing_ = false;
}

bool TemplateForm::eventFilter(QObject* watched, QEvent* event) {
  auto* list = qobject_cast<QListWidget*>(watched);
  if (detached_ || !list || event->type() != QEvent::KeyPress || dialog_.IsEnded())
    return QWidget::eventFilter(watched, event);
  const unsigned key = VirtualKey(static_cast<QKeyEvent*>(event)->key());
  if (key == 0) return QWidget::eventFilter(watched, event);
  const int id = list->objectName().mid(3).toInt();
  const int caret = std::max(list->currentRow(), 0);
  const int answer = dialog_.SendVKeyToItem(key, id, static_cast<UINT>(caret));
  if (answer >= 0)
    if (afx::Control* m = dialog_.FindControl(id)) m->selection = answer;
  Refresh();
  emit Delivered();
  // -1: the list handles the key itself; -2: the dialog did; a row: act on it.
  return answer != -1;
}

#include "gui/OperationsPage.h"

#include <QLabel>
#include <QListWidget>
#include <QVBoxLayout>

#include "gui/TalvernWizard.h"
#include "hostlib/PluginLoader.h"

OperationsPage::OperationsPage(TalvernWizard& wizard)
    : wizard_(wizard), list_(new QListWidget), description_(new QLabel) {
  setObjectName(QStringLiteral("operationsPage"));
  setTitle(tr("Choose an operation"));
  setSubTitle(tr("What should be done with the receiver?"));
  list_->setObjectName(QStringLiteral("operations"));
  list_->setIconSize(QSize(32, 32));
  list_->setSpacing(2);
  description_->setObjectName(QStringLiteral("description"));
  description_->setWordWrap(true);
  description_->setMinimumHeight(40);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(list_, 1);
  layout->addWidget(description_);
  connect(list_, &QListWidget::currentRowChanged, this, [this](int row) {
    QListWidgetItem* item = list_->item(row);
    description_->setText(item ? item->data(Qt::ToolTipRole).toString() : QString());
    emit completeChanged();
  });
  connect(list_, &QListWidget::itemDoubleClicked, this, [this] { this->wizard()->next(); });
}

void OperationsPage::initializePage() {
  PluginLoader& plugin = wizard_.Plugin();
  list_->clear();
  const QIcon icon(wizard_.Picture());
  const int count = plugin.GetNumberOperations();
  for (int i = 0; i < count; ++i) {
    char description[512] = {};
    plugin.GetDescription(i, description, sizeof description - 1);
    auto* item = new QListWidgetItem(icon, QString::fromStdString(OperationRun::OperationName(plugin, i)));
    item->setToolTip(QString::fromStdString(description));
    list_->addItem(item);
  }
  const int chosen = OperationRun::FindOperation(plugin, wizard_.Settings().operation);
  list_->setCurrentRow(chosen >= 0 ? chosen : 0);
  list_->setFocus();
}

bool OperationsPage::isComplete() const { return list_->currentRow() >= 0; }

bool OperationsPage::validatePage() {
  wizard_.Settings().operation = std::to_string(list_->currentRow());
  return true;
}

int OperationsPage::nextId() const { return TalvernWizard::kPort; }

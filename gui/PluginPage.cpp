#include "gui/PluginPage.h"

#include <QTimer>
#include <QVBoxLayout>

#include "afx/PropertyPage.h"
#include "afx/PropertySheet.h"
#include "gui/TalvernWizard.h"
#include "gui/TemplateForm.h"

PluginPage::PluginPage(TalvernWizard& wizard) : wizard_(wizard), layout_(new QVBoxLayout(this)) {
  setObjectName(QStringLiteral("pluginPage"));
  connect(&wizard_, &TalvernWizard::PageChanged, this, &PluginPage::Render);
}

void PluginPage::initializePage() { Render(); }

void PluginPage::Render() {
  if (form_) {
    form_->hide();
    form_->deleteLater();
    form_ = nullptr;
  }
  CPropertySheet* sheet = wizard_.Sheet();
  if (!sheet) return;
  CPropertyPage* page = sheet->GetPage(wizard_.PageIndex());
  setTitle(TemplateForm::Text(page->Caption()));
  setSubTitle(TemplateForm::Text(sheet->Caption()));
  form_ = new TemplateForm(*page, wizard_.Picture(), this);
  layout_->addWidget(form_);
  connect(form_, &TemplateForm::Delivered, this, [this, page] {
    // A page may press a wizard button itself (the firmware list does on a double click).
    const std::string pressed = HostPresenter::PressedAction(*page);
    if (pressed == "next") QTimer::singleShot(0, &wizard_, &QWizard::next);
    else if (pressed == "cancel") QTimer::singleShot(0, &wizard_, &QWizard::reject);
  });
}

bool PluginPage::validatePage() {
  const bool leave = wizard_.PagesNext();
  if (!leave && form_) form_->Refresh();
  return leave;
}

int PluginPage::nextId() const { return TalvernWizard::kSummary; }

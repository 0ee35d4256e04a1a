// Step 3: the operation's own wizard page, rendered from its template. Its
// controls talk to the page's handlers; Next, Back and Cancel go through
// the wizard's steps, so the page decides whether the wizard moves.
#pragma once
#include <QWizardPage>

class QVBoxLayout;
class TemplateForm;
class TalvernWizard;

class PluginPage : public QWizardPage {
  Q_OBJECT

 public:
  explicit PluginPage(TalvernWizard& wizard);
  void initializePage() override;
  bool validatePage() override;
  int nextId() const override;
  TemplateForm* Form() const { return form_; }

 private:
  void Render();

  TalvernWizard& wizard_;
  QVBoxLayout* layout_;
  TemplateForm* form_ = nullptr;
};

// A dialog as a model. It holds the controls of its template by id;
// DoDataExchange binds members to them; the presenter shows the model,
// applies the user's input and delivers commands to the handlers.
#pragma once
#include <memory>
#include <string>
#include <vector>

#include "afx/Control.h"
#include "afx/DataExchange.h"
#include "afx/Module.h"
#include "afx/String.h"
#include "afx/WinTypes.h"
#include "afx/Wnd.h"

class CDialog : public CWnd {
 public:
  explicit CDialog(UINT templateId, CWnd* parent = nullptr);
  ~CDialog() override = default;
  CDialog(const CDialog&) = delete;
  CDialog& operator=(const CDialog&) = delete;

  // Builds the controls, runs OnInitDialog and hands the dialog to the presenter.
  virtual INT_PTR DoModal();
  virtual BOOL OnInitDialog();
  virtual void DoDataExchange(CDataExchange*) {}
  // Save (TRUE): controls -> members, with validation; FALSE: members -> controls.
  BOOL UpdateData(BOOL saveAndValidate = TRUE);
  virtual void OnOK();
  virtual void OnCancel();
  void EndDialog(int result);
  // WM_COMMAND: control `id` sent `code`. Returns TRUE when handled.
  virtual BOOL OnCommand(UINT id, UINT code);
  // WM_VKEYTOITEM from a list box with the want-keys style: -1 default
  // handling, -2 handled, >= 0 the row to act on.
  virtual int OnVKeyToItem(UINT key, int listId, UINT caretIndex);

  CWnd* GetDlgItem(int id);
  void SetDlgItemText(int id, const char* text);
  UINT GetDlgItemText(int id, CString& text) const;
  void CheckDlgButton(int id, UINT state);
  UINT IsDlgButtonChecked(int id) const;
  void SetWindowText(const char* text) override { caption_ = text ? text : ""; }
  const std::string& Caption() const { return caption_; }
  int MessageBox(const char* text, const char* caption = nullptr, UINT flags = MB_OK);

  // For presenters and tests.
  UINT TemplateId() const { return templateId_; }
  // Creates the controls from the template of the current module (once).
  void CreateControls();
  bool ControlsCreated() const { return created_; }
  afx::ControlList& Controls() { return controls_; }
  afx::Control* FindControl(int id);
  const afx::Control* FindControl(int id) const;
  bool IsEnded() const { return ended_; }
  int EndResult() const { return endResult_; }
  // Starts a new modal session (clears the ended flag).
  void ResetEnd() { ended_ = false; endResult_ = 0; }
  // Entry points for presenters: each runs the handler in the module state of
  // the library that built the dialog, so its resources are found.
  BOOL SendCommand(UINT id, UINT code);
  int SendVKeyToItem(UINT key, int listId, UINT caretIndex);
  AFX_MODULE_STATE* ModuleState() const { return moduleState_; }
  CWnd* GetParent() const { return parent_; }

 protected:
  UINT templateId_;
  CWnd* parent_;
  std::string caption_;
  afx::ControlList controls_;
  bool created_ = false;
  bool ended_ = false;
  int endResult_ = 0;
  std::vector<std::unique_ptr<CWnd>> handles_;
  AFX_MODULE_STATE* moduleState_;
};

// Dialogs and wizard pages as models. A dialog holds the controls of its
// template by id; DoDataExchange binds members to them; the presenter shows
// the model, applies the user's input and delivers commands to the handlers.
#pragma once
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "afx/Module.h"
#include "afx/String.h"
#include "afx/WinTypes.h"

class CDialog;

// Notification codes carried with WM_COMMAND.
constexpr UINT BN_CLICKED = 0;
constexpr UINT LBN_SELCHANGE = 1;
constexpr UINT LBN_DBLCLK = 2;
constexpr UINT CBN_SELCHANGE = 1;
constexpr UINT EN_SETFOCUS = 0x0100;
constexpr UINT EN_KILLFOCUS = 0x0200;
constexpr UINT EN_CHANGE = 0x0300;

constexpr int SW_HIDE = 0;
constexpr int SW_SHOW = 5;
constexpr int BST_UNCHECKED = 0;
constexpr int BST_CHECKED = 1;
constexpr int LB_ERR = -1;
constexpr int CB_ERR = -1;

namespace afx {
// One control of a dialog model.
struct Control {
  int id = 0;
  std::string kind;          // as in the template
  std::string style;
  std::string text;          // caption or edit text
  int check = 0;             // check boxes and radio buttons
  std::vector<std::string> items;           // list and combo rows; list-control first column
  std::vector<std::vector<std::string>> subItems;  // list-control further columns, per row
  std::vector<std::string> columns;         // list-control headings
  std::vector<UINT_PTR> itemData;
  int selection = -1;
  bool enabled = true;
  bool visible = true;
  int limitText = 0;         // 0 = no limit

  bool HasStyle(const char* word) const;
  bool IsList() const { return kind == "listbox" || kind == "combobox" || kind == "listctrl"; }
  // The value a host shows for this control.
  std::string DisplayValue() const;
};
}  // namespace afx

// A handle on one control (or on a dialog itself when id is 0).
class CWnd {
 public:
  CWnd() = default;
  virtual ~CWnd() = default;
  void Attach(CDialog* owner, int id) { owner_ = owner; id_ = id; }
  bool IsAttached() const { return owner_ != nullptr; }
  int GetDlgCtrlID() const { return id_; }

  virtual void SetWindowText(const char* text);
  void GetWindowText(CString& text) const;
  int GetWindowTextLength() const;
  BOOL EnableWindow(BOOL enable = TRUE);
  BOOL IsWindowEnabled() const;
  BOOL ShowWindow(int command);
  BOOL IsWindowVisible() const;
  void SetFocus() {}

  // Check boxes and radio buttons.
  void SetCheck(int state);
  int GetCheck() const;
  // Edits.
  void LimitText(int chars);
  void SetSel(int, int) {}
  // List boxes and combo boxes (and list controls' rows).
  int AddString(const char* text);
  int InsertString(int index, const char* text);
  int DeleteString(UINT index);
  void ResetContent();
  int GetCount() const;
  int GetCurSel() const;
  int SetCurSel(int index);
  int GetText(int index, CString& text) const;
  void GetLBText(int index, CString& text) const { GetText(index, text); }
  int FindStringExact(int start, const char* text) const;
  int SetItemData(int index, UINT_PTR data);
  UINT_PTR GetItemData(int index) const;
  // List controls.
  int InsertColumn(int column, const char* heading, int format = 0, int width = -1);
  int InsertItem(int row, const char* text);
  BOOL SetItemText(int row, int column, const char* text);
  CString GetItemText(int row, int column) const;
  BOOL DeleteAllItems();
  int GetItemCount() const { return GetCount(); }
  int GetSelectionMark() const { return GetCurSel(); }
  int GetNextItem(int start, int flags) const;

  afx::Control* Model() const;

 protected:
  CDialog* owner_ = nullptr;
  int id_ = 0;
};

using CButton = CWnd;
using CEdit = CWnd;
using CStatic = CWnd;
using CComboBox = CWnd;
using CListBox = CWnd;
using CListCtrl = CWnd;

constexpr int LVNI_SELECTED = 0x0002;

// Moves data between a dialog's members and its controls.
class CDataExchange {
 public:
  CDataExchange(CDialog* dialog, BOOL saveAndValidate) : m_pDlgWnd(dialog), m_bSaveAndValidate(saveAndValidate) {}
  // Ends validation: the caller's UpdateData returns FALSE.
  [[noreturn]] void Fail();
  CDialog* m_pDlgWnd;
  BOOL m_bSaveAndValidate;
  int m_idLastControl = 0;
};

void DDX_Text(CDataExchange* pDX, int id, CString& value);
void DDX_Text(CDataExchange* pDX, int id, int& value);
void DDX_Text(CDataExchange* pDX, int id, UINT& value);
void DDX_Text(CDataExchange* pDX, int id, long& value);
void DDX_Text(CDataExchange* pDX, int id, unsigned long& value);
void DDX_Check(CDataExchange* pDX, int id, int& value);
void DDX_Radio(CDataExchange* pDX, int firstId, int& value);
void DDX_CBIndex(CDataExchange* pDX, int id, int& index);
void DDX_CBString(CDataExchange* pDX, int id, CString& value);
void DDX_LBIndex(CDataExchange* pDX, int id, int& index);
void DDX_LBString(CDataExchange* pDX, int id, CString& value);
void DDX_Control(CDataExchange* pDX, int id, CWnd& control);
void DDV_MaxChars(CDataExchange* pDX, const CString& value, int maxChars);
void DDV_MinMaxInt(CDataExchange* pDX, int value, int minValue, int maxValue);
void DDV_MinMaxUInt(CDataExchange* pDX, UINT value, UINT minValue, UINT maxValue);

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
  std::vector<afx::Control>& Controls() { return controls_; }
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
  std::vector<afx::Control> controls_;
  bool created_ = false;
  bool ended_ = false;
  int endResult_ = 0;
  std::vector<std::unique_ptr<CWnd>> handles_;
  AFX_MODULE_STATE* moduleState_;
};

class CPropertySheet;

constexpr DWORD PSWIZB_BACK = 0x1;
constexpr DWORD PSWIZB_NEXT = 0x2;
constexpr DWORD PSWIZB_FINISH = 0x4;
constexpr DWORD PSWIZB_DISABLEDFINISH = 0x8;
constexpr int PSBTN_BACK = 0;
constexpr int PSBTN_NEXT = 1;
constexpr int PSBTN_FINISH = 2;
constexpr int PSBTN_CANCEL = 5;

class CPropertyPage : public CDialog {
 public:
  explicit CPropertyPage(UINT templateId, UINT captionId = 0);
  // The page is about to show; FALSE keeps it hidden.
  virtual BOOL OnSetActive();
  // The page is about to be left; default: UpdateData(TRUE).
  virtual BOOL OnKillActive();
  // Next pressed: 0 goes on, -1 stays on this page.
  virtual LRESULT OnWizardNext() { return 0; }
  virtual LRESULT OnWizardBack() { return 0; }
  virtual BOOL OnWizardFinish() { return TRUE; }
  virtual BOOL OnQueryCancel() { return TRUE; }
  void SetModified(BOOL = TRUE) {}
  CPropertySheet* GetParentSheet() const { return sheet_; }
  void SetSheet(CPropertySheet* sheet) { sheet_ = sheet; }
  bool Initialised() const { return initialised_; }
  void MarkInitialised() { initialised_ = true; }

 private:
  CPropertySheet* sheet_ = nullptr;
  bool initialised_ = false;
};

// The wizard that hosts pages.
class CPropertySheet {
 public:
  explicit CPropertySheet(const char* caption = "") : caption_(caption ? caption : "") {}
  void AddPage(CPropertyPage* page);
  int GetPageCount() const { return static_cast<int>(pages_.size()); }
  CPropertyPage* GetPage(int index) const { return pages_.at(static_cast<size_t>(index)); }
  void SetWizardMode() {}
  void SetWizardButtons(DWORD flags) { buttons_ = flags; }
  DWORD WizardButtons() const { return buttons_; }
  // A page asks for a button to be pressed (PSM_PRESSBUTTON); the presenter
  // takes the request after the page's handler has returned. -1 when none.
  void PressButton(int button) { pressed_ = button; }
  int TakePressedButton() {
    const int b = pressed_;
    pressed_ = -1;
    return b;
  }
  const std::string& Caption() const { return caption_; }
  // Runs the pages through the presenter; IDOK when finished.
  INT_PTR DoModal();

  // Steps of the wizard for presenters, each in the page's module state.
  // Shows page i (initialising it once); FALSE when the page refused to show.
  BOOL ActivatePage(int index);
  // Leaves page i forward: OnKillActive, then OnWizardNext (or OnWizardFinish
  // on the last page). TRUE when the wizard may move on.
  BOOL NextFrom(int index);
  // Leaves page i backward; TRUE when allowed.
  BOOL BackFrom(int index);
  // Asks page i whether the wizard may be cancelled, then cancels it.
  BOOL CancelAt(int index);

 private:
  std::string caption_;
  std::vector<CPropertyPage*> pages_;
  DWORD buttons_ = PSWIZB_NEXT;
  int pressed_ = -1;
};

// Chooses a file to open or save.
class CFileDialog : public CDialog {
 public:
  CFileDialog(BOOL openFileDialog, const char* defaultExt = nullptr, const char* fileName = nullptr,
              DWORD flags = 0, const char* filter = nullptr, CWnd* parent = nullptr);
  INT_PTR DoModal() override;
  CString GetPathName() const { return path_; }
  CString GetFileName() const;
  CString GetFileExt() const;
  // For presenters.
  void SetPathName(const std::string& path) { path_ = path; }
  bool IsOpenDialog() const { return open_; }
  const std::string& DefaultExt() const { return defaultExt_; }
  const std::string& Filter() const { return filter_; }
  const std::string& InitialName() const { return initialName_; }
  // The folder the chooser starts in (lpstrInitialDir); used when the initial name is empty.
  void SetInitialName(const std::string& name) { initialName_ = name; }
  void SetInitialDir(const std::string& dir) { initialDir_ = dir; }
  const std::string& InitialDir() const { return initialDir_; }
  // Why the last DoModal ended without a file (CommDlgExtendedError); 0 for an
  // ordinary cancel. Presenters set FNERR_INVALIDFILENAME when they refuse the initial name.
  DWORD GetExtendedError() const { return extendedError_; }
  void SetExtendedError(DWORD error) { extendedError_ = error; }

 private:
  bool open_;
  std::string defaultExt_;
  std::string initialName_;
  std::string initialDir_;
  DWORD extendedError_ = 0;
  std::string filter_;
  std::string path_;
};

constexpr DWORD OFN_HIDEREADONLY = 0x00000004;
constexpr DWORD OFN_OVERWRITEPROMPT = 0x00000002;
constexpr DWORD OFN_FILEMUSTEXIST = 0x00001000;
constexpr DWORD OFN_PATHMUSTEXIST = 0x00000800;
constexpr DWORD FNERR_INVALIDFILENAME = 0x3002;

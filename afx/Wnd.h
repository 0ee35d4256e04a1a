// A handle on one control of a dialog, with the calls the plug-in's code
// makes on controls, and the codes and values those calls use.
#pragma once
#include "afx/Control.h"
#include "afx/String.h"
#include "afx/WinTypes.h"

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

// A handle on one control of a dialog's list (or on a dialog itself when id
// is 0). It looks its control up on every call, so it stays good while the
// list grows.
class CWnd {
 public:
  CWnd() = default;
  virtual ~CWnd() = default;
  void Attach(afx::ControlList* controls, int id) { controls_ = controls; id_ = id; }
  bool IsAttached() const { return controls_ != nullptr; }
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
  afx::ControlList* controls_ = nullptr;
  int id_ = 0;
};

using CButton = CWnd;
using CEdit = CWnd;
using CStatic = CWnd;
using CComboBox = CWnd;
using CListBox = CWnd;
using CListCtrl = CWnd;

constexpr int LVNI_SELECTED = 0x0002;

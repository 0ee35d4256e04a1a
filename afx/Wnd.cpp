#include "afx/Wnd.h"

#include <algorithm>

afx::Control* CWnd::Model() const {
  return controls_ ? afx::FindControl(*controls_, id_) : nullptr;
}

void CWnd::SetWindowText(const char* text) {
  if (auto* c = Model()) c->text = text ? text : "";
}

void CWnd::GetWindowText(CString& text) const {
  const auto* c = Model();
  text = c ? c->text : "";
}

int CWnd::GetWindowTextLength() const {
  const auto* c = Model();
  return c ? static_cast<int>(c->text.size()) : 0;
}

BOOL CWnd::EnableWindow(BOOL enable) {
  auto* c = Model();
  if (!c) return FALSE;
  const BOOL wasDisabled = !c->enabled;
  c->enabled = enable != FALSE;
  return wasDisabled;
}

BOOL CWnd::IsWindowEnabled() const {
  const auto* c = Model();
  return c && c->enabled;
}

BOOL CWnd::ShowWindow(int command) {
  auto* c = Model();
  if (!c) return FALSE;
  const BOOL wasVisible = c->visible;
  c->visible = command != SW_HIDE;
  return wasVisible;
}

BOOL CWnd::IsWindowVisible() const {
  const auto* c = Model();
  return c && c->visible;
}

void CWnd::SetCheck(int state) {
  if (auto* c = Model()) c->check = state;
}

int CWnd::GetCheck() const {
  const auto* c = Model();
  return c ? c->check : 0;
}

void CWnd::LimitText(int chars) {
  if (auto* c = Model()) c->limitText = chars;
}

int CWnd::AddString(const char* text) {
  auto* c = Model();
  if (!c) return LB_ERR;
  if (c->HasStyle("sort")) {
    const std::string t = text ? text : "";
    auto it = std::upper_bound(c->items.begin(), c->items.end(), t);
    return InsertString(static_cast<int>(it - c->items.begin()), text);
  }
  return InsertString(-1, text);
}

int CWnd::InsertString(int index, const char* text) {
  auto* c = Model();
  if (!c) return LB_ERR;
  const size_t n = c->items.size();
  const size_t at = (index < 0 || static_cast<size_t>(index) > n) ? n : static_cast<size_t>(index);
  c->items.insert(c->items.begin() + static_cast<long>(at), text ? text : "");
  c->itemData.insert(c->itemData.begin() + static_cast<long>(at), 0);
  c->subItems.insert(c->subItems.begin() + static_cast<long>(at), std::vector<std::string>{});
  if (c->selection >= static_cast<int>(at)) ++c->selection;
  return static_cast<int>(at);
}

int CWnd::DeleteString(UINT index) {
  auto* c = Model();
  if (!c || index >= c->items.size()) return LB_ERR;
  c->items.erase(c->items.begin() + index);
  c->itemData.erase(c->itemData.begin() + index);
  c->subItems.erase(c->subItems.begin() + index);
  if (c->selection == static_cast<int>(index)) c->selection = -1;
  else if (c->selection > static_cast<int>(index)) --c->selection;
  return static_cast<int>(c->items.size());
}

void CWnd::ResetContent() {
  if (auto* c = Model()) {
    c->items.clear();
    c->itemData.clear();
    c->subItems.clear();
    c->selection = -1;
  }
}

int CWnd::GetCount() const {
  const auto* c = Model();
  return c ? static_cast<int>(c->items.size()) : 0;
}

int CWnd::GetCurSel() const {
  const auto* c = Model();
  return c ? c->selection : LB_ERR;
}

int CWnd::SetCurSel(int index) {
  auto* c = Model();
  if (!c) return LB_ERR;
  if (index < 0 || static_cast<size_t>(index) >= c->items.size()) {
    c->selection = -1;
    return LB_ERR;
  }
  c->selection = index;
  return index;
}

int CWnd::GetText(int index, CString& text) const {
  const auto* c = Model();
  if (!c || index < 0 || static_cast<size_t>(index) >= c->items.size()) {
    text.clear();
    return LB_ERR;
  }
  text = c->items[static_cast<size_t>(index)];
  return text.GetLength();
}

int CWnd::FindStringExact(int start, const char* text) const {
  const auto* c = Model();
  if (!c) return LB_ERR;
  const std::string t = text ? text : "";
  const size_t n = c->items.size();
  for (size_t k = 0; k < n; ++k) {
    const size_t i = (static_cast<size_t>(start + 1) + k) % n;
    if (CString(c->items[i]).CompareNoCase(t.c_str()) == 0) return static_cast<int>(i);
  }
  return LB_ERR;
}

int CWnd::SetItemData(int index, UINT_PTR data) {
  auto* c = Model();
  if (!c || index < 0 || static_cast<size_t>(index) >= c->itemData.size()) return LB_ERR;
  c->itemData[static_cast<size_t>(index)] = data;
  return 0;
}

UINT_PTR CWnd::GetItemData(int index) const {
  const auto* c = Model();
  if (!c || index < 0 || static_cast<size_t>(index) >= c->itemData.size()) return static_cast<UINT_PTR>(LB_ERR);
  return c->itemData[static_cast<size_t>(index)];
}

int CWnd::InsertColumn(int column, const char* heading, int, int) {
  auto* c = Model();
  if (!c) return -1;
  const size_t at = std::min(c->columns.size(), static_cast<size_t>(std::max(column, 0)));
  c->columns.insert(c->columns.begin() + static_cast<long>(at), heading ? heading : "");
  return static_cast<int>(at);
}

int CWnd::InsertItem(int row, const char* text) { return InsertString(row, text); }

BOOL CWnd::SetItemText(int row, int column, const char* text) {
  auto* c = Model();
  if (!c || row < 0 || static_cast<size_t>(row) >= c->items.size() || column < 0) return FALSE;
  if (column == 0) {
    c->items[static_cast<size_t>(row)] = text ? text : "";
    return TRUE;
  }
  auto& cells = c->subItems[static_cast<size_t>(row)];
  if (cells.size() < static_cast<size_t>(column)) cells.resize(static_cast<size_t>(column));
  cells[static_cast<size_t>(column) - 1] = text ? text : "";
  return TRUE;
}

CString CWnd::GetItemText(int row, int column) const {
  const auto* c = Model();
  if (!c || row < 0 || static_cast<size_t>(row) >= c->items.size() || column < 0) return {};
  if (column == 0) return c->items[static_cast<size_t>(row)];
  const auto& cells = c->subItems[static_cast<size_t>(row)];
  return static_cast<size_t>(column) <= cells.size() ? CString(cells[static_cast<size_t>(column) - 1]) : CString();
}

BOOL CWnd::DeleteAllItems() {
  ResetContent();
  return TRUE;
}

int CWnd::GetNextItem(int start, int flags) const {
  const auto* c = Model();
  if (!c || !(flags & LVNI_SELECTED)) return -1;
  return c->selection > start ? c->selection : -1;
}

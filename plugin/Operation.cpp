#include "plugin/Operation.h"

#include <cstring>

#include "afx/Module.h"

namespace {
constexpr UINT IDS_CONNECT_TEXT = 103;
}

void CopyText(char* buffer, const char* text, unsigned length) {
  if (buffer && length > 0) std::strncpy(buffer, text ? text : "", length);
}

COperation::COperation(int pages) : m_nPages(pages), m_pages(static_cast<size_t>(pages > 0 ? pages : 0), nullptr) {}

bool COperation::GetText(unsigned kind, char* buffer, unsigned length) {
  if (kind == static_cast<unsigned>(TEXT_CONNECT)) {
    CopyText(buffer, AfxLoadString(IDS_CONNECT_TEXT).c_str(), length);
    return true;
  }
  if (buffer && length > 0) buffer[0] = '\0';
  return false;
}

void COperation::SetPage(int index, CPropertyPage* page) {
  if (index >= 0 && index < m_nPages) m_pages[static_cast<size_t>(index)] = page;
}

CPropertyPage* COperation::GetPage(int index) const {
  if (index < 0 || index >= m_nPages) return nullptr;
  return m_pages[static_cast<size_t>(index)];
}

bool COperation::AnswerText(unsigned kind, char* buffer, unsigned length, const CString& summary, UINT actionId,
                            UINT successId) {
  switch (kind) {
    case TEXT_SUMMARY:
      CopyText(buffer, summary.c_str(), length);
      return true;
    case TEXT_ACTION:
      CopyText(buffer, AfxLoadString(actionId).c_str(), length);
      return true;
    case TEXT_SUCCESS:
      CopyText(buffer, AfxLoadString(successId).c_str(), length);
      return true;
    default:
      return COperation::GetText(kind, buffer, length);
  }
}

// Base of every operation the plug-in offers: name, description, the run,
// the host texts, and the wizard pages (owned by the subclass as members).
#pragma once
#include <vector>

#include "afx/PropertyPage.h"
#include "afx/String.h"
#include "plugin/Exports.h"

class COperation {
 public:
  explicit COperation(int pages);
  virtual ~COperation() = default;
  COperation(const COperation&) = delete;
  COperation& operator=(const COperation&) = delete;

  virtual const char* GetName() const = 0;
  virtual const char* GetDescription() const = 0;
  // Runs the operation on the caller's thread. True on success; throws
  // CUserException when cancelled and other CExceptions on failure.
  virtual bool Run(OperationParams* params) = 0;
  // Kind 1 gives the connect text unformatted; every other kind an empty buffer and false.
  virtual bool GetText(unsigned kind, char* buffer, unsigned length);

  void SetPage(int index, CPropertyPage* page);
  CPropertyPage* GetPage(int index) const;

  int m_nPages;
  std::vector<CPropertyPage*> m_pages;

 protected:
  // Answers kinds 0, 2 and 3 from the given texts and passes the others to
  // the base: the shape every operation's GetText takes.
  bool AnswerText(unsigned kind, char* buffer, unsigned length, const CString& summary, UINT actionId,
                  UINT successId);
};

// strncpy semantics: at most `length` bytes, unterminated when the text is that long.
void CopyText(char* buffer, const char* text, unsigned length);

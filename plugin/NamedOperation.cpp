#include "plugin/NamedOperation.h"

#include "afx/Exception.h"
#include "afx/Format.h"

CNamedOperation::CNamedOperation(int pages, UINT nameId, UINT descriptionId)
    : COperation(pages), m_strName(AfxLoadString(nameId)), m_strDescription(AfxLoadString(descriptionId)) {}

void CNamedOperation::ThrowNotAvailable() const {
  throw CNotSupportedException(
      FormatText("The operation \"%s\" is not available in this build of the plug-in.", m_strName).c_str());
}

#include "operations/MDSRadioUpdateOperation.h"

#include "afx/Format.h"

CMDSRadioUpdateOperation::CMDSRadioUpdateOperation() : CNamedOperation(0, 7, 8) {}

bool CMDSRadioUpdateOperation::Run(OperationParams*) { ThrowNotAvailable(); }

bool CMDSRadioUpdateOperation::GetText(unsigned kind, char* buffer, unsigned length) {
  return AnswerText(kind, buffer, length, FormatString(9, m_strName, CString()), 10, 12);
}

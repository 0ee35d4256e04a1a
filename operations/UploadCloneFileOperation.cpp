#include "operations/UploadCloneFileOperation.h"

#include "afx/Format.h"

CUploadCloneFileOperation::CUploadCloneFileOperation() : CNamedOperation(0, 4095, 4096) {}

bool CUploadCloneFileOperation::Run(OperationParams*) { ThrowNotAvailable(); }

bool CUploadCloneFileOperation::GetText(unsigned kind, char* buffer, unsigned length) {
  return AnswerText(kind, buffer, length, FormatString(4093, m_strName, CString()), 4094, 4102);
}

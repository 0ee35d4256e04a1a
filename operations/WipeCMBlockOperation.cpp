#include "operations/WipeCMBlockOperation.h"

#include "afx/Format.h"

CWipeCMBlockOperation::CWipeCMBlockOperation() : CNamedOperation(0, 1680, 1681) {}

bool CWipeCMBlockOperation::Run(OperationParams*) { ThrowNotAvailable(); }

bool CWipeCMBlockOperation::GetText(unsigned kind, char* buffer, unsigned length) {
  return AnswerText(kind, buffer, length, AfxLoadString(1683), 1678, 1679);
}

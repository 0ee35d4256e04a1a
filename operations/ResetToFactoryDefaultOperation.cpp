#include "operations/ResetToFactoryDefaultOperation.h"

#include "afx/Format.h"

CResetToFactoryDefaultOperation::CResetToFactoryDefaultOperation() : CNamedOperation(0, 4107, 4105) {}

bool CResetToFactoryDefaultOperation::Run(OperationParams*) { ThrowNotAvailable(); }

bool CResetToFactoryDefaultOperation::GetText(unsigned kind, char* buffer, unsigned length) {
  return AnswerText(kind, buffer, length, AfxLoadString(4103), 4104, 4110);
}

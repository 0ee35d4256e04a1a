#include "operations/CellurModemCfgOperation.h"

#include "afx/Format.h"

CCellurModemCfgOperation::CCellurModemCfgOperation() : CNamedOperation(0, 1697, 1701) {}

bool CCellurModemCfgOperation::Run(OperationParams*) { ThrowNotAvailable(); }

bool CCellurModemCfgOperation::GetText(unsigned kind, char* buffer, unsigned length) {
  return AnswerText(kind, buffer, length, FormatString(1698, m_strName), 1699, 1702);
}

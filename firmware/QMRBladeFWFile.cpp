#include "firmware/QMRBladeFWFile.h"

CQMRBladeFWFile::CQMRBladeFWFile(const char* path) : CLSFlashFile(path, modeRead | shareDenyWrite | typeBinary) {}

CQMRBladeFWFile::~CQMRBladeFWFile() { Close(); }

#include "firmware/TICBSLFile.h"

CTICBSLFile::CTICBSLFile(const char* path) : CLSFlashFile(path, modeRead | shareDenyWrite | typeBinary) {}

CTICBSLFile::~CTICBSLFile() { Close(); }

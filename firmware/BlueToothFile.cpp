#include "firmware/BlueToothFile.h"

CBlueToothFile::CBlueToothFile(const char* path) : CLSFlashFile(path, modeRead | shareDenyWrite | typeBinary) {}

CBlueToothFile::~CBlueToothFile() { Close(); }

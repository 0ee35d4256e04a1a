#include "device/LSEmbeddedInfo.h"

CLSEmbeddedInfo::~CLSEmbeddedInfo() = default;

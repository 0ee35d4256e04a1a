// The plug-in's resources: string table, dialog templates, version
// information and the bitmap the host shows beside the operations.
#pragma once
#include <map>
#include <string>
#include <vector>

#include "afx/Module.h"

namespace res {

constexpr UINT IDB_PLUGIN = 129;
constexpr UINT IDS_FAMILY_NAME = 212;  // "QZ7xx"

// Sorted by id.
const StringResource* StringTable();
std::size_t StringCount();
const std::vector<DialogTemplate>& DialogTemplates();
const std::map<std::string, std::string>& VersionStrings();
const BitmapResource* Bitmap(UINT id);

// Puts the resources into a module state.
void Install(AFX_MODULE_STATE* state);

}  // namespace res

#include "device/ModelTable.h"

#include <cstring>
#include <iterator>

namespace {

struct NameEntry {
  WORD productId;    // used when name is null
  const char* name;  // a board the table lacks
};

struct CapabilityEntry {
  int index;
  const char* name;
};

constexpr ModelRow kRows[] = {
#define ROW(id, model, monitor, platform) ModelRow{id, model, monitor, platform},
#include "device/ModelTable.inc"
};
static_assert(std::size(kRows) == CModelTable::kRowCount, "the model table has 107 rows");

constexpr NameEntry kApplicationNames[] = {
#define APPLICATION_ID(id) NameEntry{id, nullptr},
#define APPLICATION_NAME(name) NameEntry{0, name},
#include "device/ModelTable.inc"
};

constexpr NameEntry kMonitorNames[] = {
#define MONITOR_ID(id) NameEntry{id, nullptr},
#define MONITOR_NAME(name) NameEntry{0, name},
#include "device/ModelTable.inc"
};

constexpr const char* kAcceptedPlatforms[] = {
#define ACCEPTED_PLATFORM(name) name,
#include "device/ModelTable.inc"
};

constexpr const char* kMpuModels[] = {
#define MPU_MODEL(name) name,
#include "device/ModelTable.inc"
};

constexpr const char* kMonitorPathModels[] = {
#define MONITOR_PATH_MODEL(name) name,
#include "device/ModelTable.inc"
};

constexpr const char* kCapabilityModels[] = {
#define CAPABILITY_MODEL(name) name,
#include "device/ModelTable.inc"
};

constexpr CapabilityEntry kCapabilityPlatforms[] = {
#define CAPABILITY_PLATFORM(index, name) CapabilityEntry{index, name},
#include "device/ModelTable.inc"
};

// Boards whose product code alone says that the capability table applies.
constexpr WORD kCapabilityProductCodes[] = {0x35, 0x72};

const ModelRow* FindById(WORD productId) {
  for (const ModelRow& row : kRows)
    if (row.productId == productId) return &row;
  return nullptr;
}

const ModelRow* FindByModel(const char* modelName) {
  if (!modelName) return nullptr;
  for (const ModelRow& row : kRows)
    if (std::strcmp(row.modelName, modelName) == 0) return &row;
  return nullptr;
}

CString ApplicationNameOf(const NameEntry& e) {
  return e.name ? CString(e.name) : CModelTable::GetModelName(e.productId);
}

CString MonitorNameOf(const NameEntry& e) {
  return e.name ? CString(e.name) : CModelTable::GetMonitorName(e.productId);
}

template <size_t N>
bool Contains(const char* const (&list)[N], const char* name) {
  if (!name) return false;
  for (const char* entry : list)
    if (std::strcmp(entry, name) == 0) return true;
  return false;
}

}  // namespace

const ModelRow& CModelTable::GetRow(int index) {
  if (index < 0 || index >= kRowCount) return kRows[0];
  return kRows[index];
}

CString CModelTable::GetModelName(WORD productId) {
  const ModelRow* row = FindById(productId);
  return row ? row->modelName : kUnknownName;
}

CString CModelTable::GetMonitorName(WORD productId) {
  const ModelRow* row = FindById(productId);
  return row ? row->monitorName : kUnknownName;
}

CString CModelTable::GetPlatformName(WORD productId) {
  const ModelRow* row = FindById(productId);
  return row ? row->platformName : kUnknownPlatform;
}

WORD CModelTable::GetProductId(const char* modelName) {
  const ModelRow* row = FindByModel(modelName);
  return row ? row->productId : 0;
}

CString CModelTable::GetPlatformNameForModel(const char* modelName) {
  const ModelRow* row = FindByModel(modelName);
  return row ? row->platformName : kUnknownPlatform;
}

bool CModelTable::IsApplicationModel(const char* name) {
  if (!name) return false;
  for (const NameEntry& e : kApplicationNames)
    if (ApplicationNameOf(e) == name) return true;
  return false;
}

bool CModelTable::IsMonitorModel(const char* name) {
  if (!name) return false;
  for (const NameEntry& e : kMonitorNames)
    if (MonitorNameOf(e) == name) return true;
  return false;
}

size_t CModelTable::GetApplicationNameCount() { return std::size(kApplicationNames); }

CString CModelTable::GetApplicationListName(size_t index) {
  return index < std::size(kApplicationNames) ? ApplicationNameOf(kApplicationNames[index]) : CString();
}

size_t CModelTable::GetMonitorNameCount() { return std::size(kMonitorNames); }

CString CModelTable::GetMonitorListName(size_t index) {
  return index < std::size(kMonitorNames) ? MonitorNameOf(kMonitorNames[index]) : CString();
}

bool CModelTable::IsAcceptedPlatform(const char* name) {
  if (!name) return false;
  for (const char* accepted : kAcceptedPlatforms)
    if (std::strncmp(accepted, name, kPlatformNameLength) == 0) return true;
  return false;
}

bool CModelTable::IsMpuModel(const char* name) { return Contains(kMpuModels, name); }

bool CModelTable::IsMonitorPathModel(const char* name) { return Contains(kMonitorPathModels, name); }

bool CModelTable::IsCapabilityModel(const char* name) { return Contains(kCapabilityModels, name); }

bool CModelTable::IsCapabilityProductCode(WORD productCode) {
  for (WORD code : kCapabilityProductCodes)
    if (code == productCode) return true;
  return false;
}

CString CModelTable::GetCapabilityPlatformName(int capability) {
  for (const CapabilityEntry& e : kCapabilityPlatforms)
    if (e.index == capability) return e.name;
  return kUnknownPlatform;
}

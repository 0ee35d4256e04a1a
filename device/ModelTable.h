// The receiver model table: the maker's receiver line as fixed data, and the
// name tests that tell which mode a receiver runs from the name it reports.
// The rows live in device/ModelTable.inc.
#pragma once
#include <cstddef>

#include "afx/String.h"
#include "afx/WinTypes.h"

struct ModelRow {
  WORD productId;
  const char* modelName;
  const char* monitorName;
  const char* platformName;  // 7 characters, space-padded
};

class CModelTable {
 public:
  static constexpr int kRowCount = 107;
  // Length of a platform code name; comparisons cover exactly this many characters.
  static constexpr int kPlatformNameLength = 7;
  // A product code that is no row: the platform follows the model name instead.
  static constexpr WORD kProductCodeByName = 0xFF;
  static constexpr const char* kUnknownName = "UNKOWN";
  static constexpr const char* kUnknownPlatform = "UNKOWN ";

  // Row `index` (0 .. kRowCount - 1) in table order; row 0 is the placeholder.
  static const ModelRow& GetRow(int index);

  // Model name of the first row with `productId`; "UNKOWN" when none.
  static CString GetModelName(WORD productId);
  // Monitor name of the first row with `productId`; "UNKOWN" when none.
  static CString GetMonitorName(WORD productId);
  // Platform code name of the first row with `productId`; "UNKOWN " when none.
  static CString GetPlatformName(WORD productId);
  // Product ID of the first row whose model name equals `modelName` exactly; 0 when none.
  static WORD GetProductId(const char* modelName);
  // Platform code name of the first row whose model name equals `modelName`; "UNKOWN " when none.
  static CString GetPlatformNameForModel(const char* modelName);

  // Whether `name` is one of the application-mode names this plug-in serves.
  static bool IsApplicationModel(const char* name);
  // Whether `name` is one of the monitor-mode names this plug-in serves.
  static bool IsMonitorModel(const char* name);
  // The application-mode names in list order (for listing and tests).
  static size_t GetApplicationNameCount();
  static CString GetApplicationListName(size_t index);
  static size_t GetMonitorNameCount();
  static CString GetMonitorListName(size_t index);

  // Whether the first 7 characters of `name` are an accepted platform code name.
  static bool IsAcceptedPlatform(const char* name);

  // Models that install an image container from their running application.
  static bool IsMpuModel(const char* name);
  // The model that is always updated from its monitor.
  static bool IsMonitorPathModel(const char* name);
  // Models whose platform follows the monitor-capability byte (besides codes 0x35 and 0x72).
  static bool IsCapabilityModel(const char* name);
  // Whether a product code takes its platform from the monitor-capability byte.
  static bool IsCapabilityProductCode(WORD productCode);
  // Platform of the capability table for `capability` 0..3; "UNKOWN " outside it.
  static CString GetCapabilityPlatformName(int capability);
};

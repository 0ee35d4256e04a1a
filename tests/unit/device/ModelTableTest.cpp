#include <gtest/gtest.h>

#include <set>
#include <string>
#include <tuple>

#include "device/ModelTable.h"

namespace {

TEST(ModelTable, RowsAreWellFormed) {
  EXPECT_EQ(CModelTable::GetRow(0).productId, 0);  // the placeholder; its names are checked below
  std::set<int> ids;
  std::set<std::string> models;
  for (int i = 0; i < CModelTable::kRowCount; ++i) {
    const ModelRow& row = CModelTable::GetRow(i);
    SCOPED_TRACE(row.modelName);
    EXPECT_TRUE(ids.insert(row.productId).second) << "duplicate product ID " << row.productId;
    EXPECT_TRUE(models.insert(row.modelName).second);
    EXPECT_EQ(std::string(row.platformName).size(), 7u);
    if (i > 0) {
      EXPECT_EQ(std::string(row.monitorName), std::string(row.modelName) + "-MONITOR");
      EXPECT_NE(row.productId, CModelTable::kProductCodeByName);
    }
  }
  EXPECT_EQ(ids.size(), 107u);
}

TEST(ModelTable, LookupsByIdAndByName) {
  // IDs and codes that the connection and update sequences depend on must be rows.
  for (WORD id : {100, 101, 137, 153, 165, 169, 239, 240, 242, 243, 0x35, 0x3E, 0x42, 0x46, 0x72}) {
    const CString model = CModelTable::GetModelName(id);
    const CString platform = CModelTable::GetPlatformName(id);
    EXPECT_NE(model, "UNKOWN") << id;
    EXPECT_EQ(std::make_tuple(CModelTable::GetProductId(model), CModelTable::GetMonitorName(id),
                              CModelTable::GetPlatformNameForModel(model)),
              std::make_tuple(id, model + "-MONITOR", platform))
        << id;
    EXPECT_TRUE(CModelTable::IsApplicationModel(model) && CModelTable::IsMonitorModel(CString(model + "-MONITOR")) &&
                CModelTable::IsAcceptedPlatform(platform))
        << id;
  }
  EXPECT_EQ(std::make_tuple(CModelTable::GetModelName(0xFF), CModelTable::GetMonitorName(0xFFFF),
                            CModelTable::GetPlatformName(0xFF), CModelTable::GetModelName(0),
                            CModelTable::GetPlatformNameForModel("NO SUCH BOARD")),
            std::make_tuple("UNKOWN", "UNKOWN", "UNKOWN ", "UNKOWN", "UNKOWN "));
  // Model names compare case-sensitively and whole.
  EXPECT_EQ(std::make_tuple(CModelTable::GetProductId("qz710"), CModelTable::GetProductId("QZ710 "),
                            CModelTable::GetProductId(nullptr)),
            std::make_tuple(0, 0, 0));
}

TEST(ModelTable, ModeNameLists) {
  struct Case {
    const char* name;
    bool application;
    bool monitor;
  };
  const Case cases[] = {
      {"QZ710", true, false},           {"QZ710-MONITOR", false, true},
      {"QZ790-MPU", true, false},       {"QZ701", true, false},  // a board the table lacks
      {"QZ701-MONITOR", false, true},   {"qz710", false, false},
      {"QZ710-monitor", false, false},  {"", false, false},
      {"UNKOWN", false, false},         {"QZ500", false, false},  // in the table, not served here
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(CModelTable::IsApplicationModel(c.name), c.application);
    EXPECT_EQ(CModelTable::IsMonitorModel(c.name), c.monitor);
  }
  EXPECT_FALSE(CModelTable::IsApplicationModel(nullptr));
  EXPECT_GE(CModelTable::GetApplicationNameCount(), 45u);
  EXPECT_GE(CModelTable::GetMonitorNameCount(), 45u);
  for (size_t i = 0; i < CModelTable::GetApplicationNameCount(); ++i) {
    CString name = CModelTable::GetApplicationListName(i);
    EXPECT_NE(name, "UNKOWN") << "list entry " << i << " names no row";
    EXPECT_TRUE(CModelTable::IsApplicationModel(name));
  }
  for (size_t i = 0; i < CModelTable::GetMonitorNameCount(); ++i)
    EXPECT_NE(CModelTable::GetMonitorListName(i), "UNKOWN") << "list entry " << i << " names no row";
}

TEST(ModelTable, PlatformNamesAndUpdateData) {
  // Only 7 characters count.
  const std::pair<const char*, bool> platforms[] = {{"KELVOR ", true},  {"KELVOR \0junk", true}, {"KELVOR X", true},
                                                    {"KELVOR", false},  {"kelvor ", false},      {"UNKOWN ", false},
                                                    {nullptr, false}};
  for (const auto& [name, accepted] : platforms) EXPECT_EQ(CModelTable::IsAcceptedPlatform(name), accepted) << name;

  int mpu = 0;
  for (int i = 0; i < CModelTable::kRowCount; ++i) {
    const char* model = CModelTable::GetRow(i).modelName;
    if (CModelTable::IsMpuModel(model)) {
      ++mpu;
      EXPECT_TRUE(std::string(model).ends_with("-MPU"));
    }
  }
  EXPECT_EQ(mpu, 2);
  EXPECT_TRUE(CModelTable::IsCapabilityProductCode(0x35) && CModelTable::IsCapabilityProductCode(0x72));
  EXPECT_FALSE(CModelTable::IsCapabilityProductCode(0x3E));
  std::set<std::string> capability;
  for (int c = 0; c < 4; ++c) {
    CString name = CModelTable::GetCapabilityPlatformName(c);
    EXPECT_TRUE(CModelTable::IsAcceptedPlatform(name)) << c;
    capability.insert(name);
  }
  EXPECT_EQ(capability.size(), 4u);
  EXPECT_EQ(CModelTable::GetCapabilityPlatformName(4) + CModelTable::GetCapabilityPlatformName(-1), "UNKOWN UNKOWN ");
}

}  // namespace

// The full name a file status carries: one spelling for every way of naming
// the same file, whether or not the name needed normalising.
#include <gtest/gtest.h>

#include <filesystem>

#include "afx/File.h"
#include "support/TempDir.h"

namespace {

TEST(FileStatus, EverySpellingOfANameGivesTheSameFullName) {
  testsupport::TempDir dir;
  const std::filesystem::path folder = std::filesystem::canonical(dir.Path());
  dir.Write("image.img", std::string("abc"));
  const std::string full = (folder / "image.img").string();
  std::filesystem::create_directory(folder / "sub");
  const std::string base = folder.string();
  const std::string spellings[] = {
      full,
      base + "/./image.img",
      base + "//image.img",
      base + "/sub/../image.img",
      base + "\\image.img",
      std::filesystem::relative(full).string(),
  };
  for (const std::string& name : spellings) {
    SCOPED_TRACE(name);
    CFileStatus status;
    ASSERT_TRUE(CFile::GetStatus(name.c_str(), status));
    EXPECT_EQ(std::string(status.m_szFullName), full);
    EXPECT_EQ(status.m_size, 3u);
  }
  CFileStatus status;
  EXPECT_FALSE(CFile::GetStatus((base + "/missing.img").c_str(), status));
  EXPECT_TRUE(CFile::GetStatus((base + "/sub").c_str(), status));
  EXPECT_EQ(std::string(status.m_szFullName), base + "/sub");
  EXPECT_TRUE(status.m_attribute & 0x10);
}

}  // namespace

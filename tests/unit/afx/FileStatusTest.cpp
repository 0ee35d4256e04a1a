// The full name a file status carries: one spelling for every way of naming
// the same file, whether or not the name needed normalising; what a copy
// leaves of its source and its target.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <iterator>

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
    if (name.empty()) continue;  // no relative path leads to another drive
    SCOPED_TRACE(name);
    CFileStatus status;
    ASSERT_TRUE(CFile::GetStatus(name.c_str(), status));
    EXPECT_EQ(std::string(status.m_szFullName), full);
    EXPECT_EQ(status.m_size, 3u);
  }
  // A file the framework creates is readable by all and writable by its owner, less the umask,
  // where the file system keeps those bits apart (a Windows one keeps only "read-only").
  CFile created;
  ASSERT_TRUE(created.Open((base + "/new.reg").c_str(), CFile::modeCreate | CFile::modeWrite));
  const mode_t mask = ::umask(0);
  ::umask(mask);
  namespace fs = std::filesystem;
  dir.Write("probe", std::string());
  fs::permissions(folder / "probe", fs::perms::owner_read | fs::perms::owner_write);
  if (fs::status(folder / "probe").permissions() == (fs::perms::owner_read | fs::perms::owner_write)) {
    EXPECT_EQ(fs::status(base + "/new.reg").permissions(), static_cast<fs::perms>(0644 & ~mask));
  }
  CFileStatus status;
  EXPECT_FALSE(CFile::GetStatus((base + "/missing.img").c_str(), status));
  EXPECT_TRUE(CFile::GetStatus((base + "/sub").c_str(), status));
  EXPECT_EQ(std::string(status.m_szFullName), (folder / "sub").string());
  EXPECT_TRUE(status.m_attribute & 0x10);
}

// A copy never costs the source, nor the target when it fails; a copy onto
// the source itself, under any name that leads to it, is refused.
TEST(FileCopy, NeitherSourceNorAFailedTargetIsLost) {
  namespace fs = std::filesystem;
  const struct {
    const char* name;
    const char* target;  // in the folder; "@link" and "@hard" are made to lead to the source
    bool failIfExists;
    bool ok;
    int err;
    const char* targetAfter;  // nullptr: no such file
  } cases[] = {
      {"new file", "copy.img", false, true, 0, "source"},
      {"over another file", "old.img", false, true, 0, "source"},
      {"over another file, refused", "old.img", true, false, EEXIST, "old"},
      {"onto itself", "image.img", false, false, EINVAL, "source"},
      {"onto itself, spelt another way", "sub/../image.img", false, false, EINVAL, "source"},
      {"onto a link to itself", "@link", false, false, EINVAL, "source"},
      {"onto a hard link of itself", "@hard", false, false, EINVAL, "source"},
      {"into a missing folder", "gone/copy.img", false, false, ENOENT, nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    testsupport::TempDir dir;
    const std::string source = dir.Write("image.img", std::string("source"));
    dir.Write("old.img", std::string("old"));
    fs::create_directory(dir.Path() / "sub");
    std::string target = dir.File(c.target);
    std::error_code linked;
    if (target == dir.File("@link")) fs::create_symlink(source, target, linked);
    if (linked) continue;  // a file system without symbolic links
    if (target == dir.File("@hard")) fs::create_hard_link(source, target);
    const std::size_t files = 3 + (c.target[0] == '@' ? 1 : 0);

    errno = 0;
    EXPECT_EQ(CopyFile(source.c_str(), target.c_str(), c.failIfExists) != FALSE, c.ok);
    if (!c.ok) {
      EXPECT_EQ(errno, c.err);
    }
    CFileStatus status;
    ASSERT_TRUE(CFile::GetStatus(source.c_str(), status));
    EXPECT_EQ(status.m_size, 6u) << "the source changed";
    if (c.targetAfter) {
      std::ifstream in(target);
      EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()), c.targetAfter);
    } else {
      EXPECT_FALSE(fs::exists(target));
    }
    // Nothing is left of the copy's temporary file.
    const bool added = c.ok && std::string(c.target) == "copy.img";
    EXPECT_EQ(static_cast<std::size_t>(std::distance(fs::directory_iterator(dir.Path()), fs::directory_iterator())),
              files + (added ? 1 : 0));
  }
}

}  // namespace

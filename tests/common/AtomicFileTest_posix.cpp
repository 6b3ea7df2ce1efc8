// Files written whole or not at all: what only POSIX systems let a test do.

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "DiskFull_posix.h"
#include "FileContents.h"
#include "TempFolder.h"
#include "common/AtomicFile.h"

namespace karvo {
namespace {

namespace fs = std::filesystem;
using test::DiskFullAfter;
using test::FileContents;
using test::TempFolder;

TEST(AtomicFilePosix, ADiskFullHalfWayLeavesTheOldFileAndSaysWhy) {
  TempFolder folder;
  const auto target = folder / "data.csv";
  WriteFileAtomically(target, "the old data\r\n");
  std::string error;
  {
    DiskFullAfter full(100000);
    try {
      TAtomicFile file(target);
      for (int i = 0; i < 1000; ++i) file.Write(std::string(1000, 'x'));
      file.Commit();
      ADD_FAILURE() << "no error";
    } catch (const EFileWriteError& e) {
      error = e.what();
    }
  }
  EXPECT_NE(error.find(std::strerror(EFBIG)), std::string::npos) << error;
  EXPECT_EQ(FileContents(target), "the old data\r\n");
  EXPECT_EQ(folder.Entries(), std::vector<std::string>{"data.csv"});
}

// A small file goes to the disk in one write, in Commit: the disk that is
// full then fails the final flush, and the old file is still there whole.
TEST(AtomicFilePosix, ADiskFullInCommitsFinalFlushLeavesTheOldFile) {
  TempFolder folder;
  const auto target = folder / "FurnaceInfo.txt";
  WriteFileAtomically(target, "the old data\r\n");
  std::string error;
  {
    DiskFullAfter full(8);
    TAtomicFile file(target);
    ASSERT_NO_THROW(file.Write("Address:1 Value:1021\r\nAddress:2 Value:1050\r\n")) << "written before Commit";
    try {
      file.Commit();
      ADD_FAILURE() << "no error";
    } catch (const EFileWriteError& e) {
      error = e.what();
    }
  }
  EXPECT_NE(error.find(std::strerror(EFBIG)), std::string::npos) << error;
  EXPECT_EQ(FileContents(target), "the old data\r\n");
  EXPECT_EQ(folder.Entries(), std::vector<std::string>{"FurnaceInfo.txt"});
}

TEST(AtomicFilePosix, TheNewFileKeepsTheModeOfTheOldOneOrTakesTheUmask) {
  TempFolder folder;
  const mode_t savedMask = umask(022);
  WriteFileAtomically(folder / "new.csv", "x");
  const auto existing = folder / "existing.csv";
  WriteFileAtomically(existing, "x");
  fs::permissions(existing, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  WriteFileAtomically(existing, "y");
  umask(savedMask);
  struct stat st {};
  ASSERT_EQ(stat((folder / "new.csv").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0644u);
  ASSERT_EQ(stat(existing.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
}

TEST(AtomicFilePosix, ALinkIsFollowedAndStaysALink) {
  TempFolder folder;
  fs::create_directory(folder / "real");
  WriteFileAtomically(folder / "real" / "data.csv", "old");
  fs::create_symlink(folder / "real" / "data.csv", folder / "link.csv");
  WriteFileAtomically(folder / "link.csv", "new");
  EXPECT_TRUE(fs::is_symlink(folder / "link.csv"));
  EXPECT_EQ(FileContents(folder / "real" / "data.csv"), "new");
  EXPECT_EQ(folder.Entries(), (std::vector<std::string>{"link.csv", "real"}));
}

}  // namespace
}  // namespace karvo

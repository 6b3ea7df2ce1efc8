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

// A disk that fills up leaves the old file whole and says why: half way
// through a large file (a Write fails), and for a small file that goes to
// the disk in one write, in Commit (its final flush fails, before the
// rename).
TEST(AtomicFilePosix, ADiskFullLeavesTheOldFileAndSaysWhy) {
  struct Case {
    const char* what;
    rlim_t room;
    std::size_t writes, bytes;
  };
  for (const Case& c : {Case{"half way", 100000, 1000, 1000}, Case{"in Commit's final flush", 8, 1, 44}}) {
    SCOPED_TRACE(c.what);
    TempFolder folder;
    const auto target = folder / "data.csv";
    WriteFileAtomically(target, "the old data\r\n");
    std::string error;
    bool committing = false;
    {
      DiskFullAfter full(c.room);
      try {
        TAtomicFile file(target);
        for (std::size_t i = 0; i < c.writes; ++i) file.Write(std::string(c.bytes, 'x'));
        committing = true;
        file.Commit();
        ADD_FAILURE() << "no error";
      } catch (const EFileWriteError& e) {
        error = e.what();
      }
    }
    EXPECT_EQ(committing, c.writes == 1) << "failed in " << (committing ? "Commit" : "Write");
    EXPECT_NE(error.find(std::strerror(EFBIG)), std::string::npos) << error;
    EXPECT_EQ(FileContents(target), "the old data\r\n");
    EXPECT_EQ(folder.Entries(), std::vector<std::string>{"data.csv"});
  }
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

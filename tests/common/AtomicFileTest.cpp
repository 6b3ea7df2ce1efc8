// Files written whole or not at all.

#include "common/AtomicFile.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "FileContents.h"
#include "TempFolder.h"
#include "common/Text.h"

namespace karvo {
namespace {

using test::FileContents;
using test::TempFolder;
using Names = std::vector<std::string>;

// Bytes of every value, line ends of both kinds, more than one buffer full.
std::string ManyBytes(std::size_t n) {
  std::string s;
  for (std::size_t i = 0; i < n; ++i) s += static_cast<char>(i * 7 % 256);
  return s + "\r\n\n";
}

TEST(AtomicFile, ReplacesTheFileWithExactlyWhatWasWrittenAndLeavesNothingBeside) {
  TempFolder folder;
  const auto target = folder / "data.csv";
  WriteFileAtomically(target, "first\r\n");
  EXPECT_EQ(FileContents(target), "first\r\n");

  const std::string big = ManyBytes(300000);
  TAtomicFile file(target);
  file.Write("head;");
  file.Write(big);  // larger than the buffer: straight through
  for (int i = 0; i < 10000; ++i) file.Write("x");
  // Until Commit the old file is what readers see.
  EXPECT_EQ(FileContents(target), "first\r\n");
  file.Commit();
  EXPECT_EQ(FileContents(target), "head;" + big + std::string(10000, 'x'));
  EXPECT_EQ(folder.Entries(), Names{"data.csv"});

  WriteFileAtomically(target, "");
  EXPECT_EQ(FileContents(target), "");
}

TEST(AtomicFile, AFileNotCommittedChangesNothingAndIsRemoved) {
  TempFolder folder;
  const auto target = folder / "FurnaceInfo.txt";
  WriteFileAtomically(target, "old");
  try {
    TAtomicFile file(target);
    file.Write(ManyBytes(100000));
    throw std::runtime_error("the builder failed half-way");
  } catch (const std::runtime_error&) {
  }
  EXPECT_EQ(FileContents(target), "old");
  EXPECT_EQ(folder.Entries(), Names{"FurnaceInfo.txt"});
  {
    TAtomicFile file(target);  // nothing written, nothing committed
  }
  EXPECT_EQ(folder.Entries(), Names{"FurnaceInfo.txt"});
}

TEST(AtomicFile, AFileThatCannotBeWrittenIsAnErrorNamingTheFileAndTheReason) {
  TempFolder folder;
  struct Case {
    const char* what;
    std::filesystem::path target;
  };
  std::filesystem::create_directory(folder / "a folder");
  const Case cases[] = {
      {"folder missing", folder / "missing" / "data.csv"},
      {"target is a folder", folder / "a folder"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    try {
      WriteFileAtomically(c.target, "text");
      ADD_FAILURE() << "no error";
    } catch (const EFileWriteError& e) {
      const std::string expected = "Cannot write the file \"" + PathText(c.target) + "\": ";
      const std::string message = e.what();
      EXPECT_EQ(message.rfind(expected, 0), 0u) << message;
      EXPECT_GT(message.size(), expected.size()) << "no reason given";
    }
  }
  EXPECT_TRUE(std::filesystem::is_directory(folder / "a folder"));
  EXPECT_TRUE(std::filesystem::is_empty(folder / "a folder"));
  EXPECT_EQ(folder.Entries(), Names{"a folder"});
}

TEST(AtomicFile, NamesBeyondTheCodePageAreWritten) {
  TempFolder folder;
  const auto target = folder.Path() / PathFromWide(L"M\u00f5\u00f5tmine \u00BAC \u4e2d.csv");
  WriteFileAtomically(target, "1");
  EXPECT_EQ(FileContents(target), "1");
}

}  // namespace
}  // namespace karvo

// Files written whole or not at all: a file that another program holds.

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "FileContents.h"
#include "TempFolder.h"
#include "common/AtomicFile.h"

namespace karvo {
namespace {

using test::FileContents;
using test::TempFolder;

TEST(AtomicFileWindows, AFileHeldByAnotherProgramStaysAsItWasAndTheReasonIsGiven) {
  TempFolder folder;
  const auto target = folder / "data.csv";
  WriteFileAtomically(target, "the old data\r\n");
  // Open as a spreadsheet program holds it: others may read, not replace.
  const HANDLE held = CreateFileW(target.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  try {
    WriteFileAtomically(target, "new data\r\n");
    ADD_FAILURE() << "no error";
  } catch (const EFileWriteError& e) {
    const std::string message = e.what();
    EXPECT_EQ(message.rfind("Cannot write the file \"", 0), 0u) << message;
  }
  CloseHandle(held);
  EXPECT_EQ(FileContents(target), "the old data\r\n");
  EXPECT_EQ(folder.Entries(), std::vector<std::string>{"data.csv"});
}

}  // namespace
}  // namespace karvo

// The start before the window: a program resource written out as a file,
// and the installer loop with its five-second limit.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "FileContents.h"
#include "app/ProgramResource.h"
#include "app/Startup.h"
#include "common/Seams.h"
#include "common/Types.h"

namespace karvo {
namespace {
namespace fs = std::filesystem;

class Startup : public ::testing::Test {
 protected:
  Startup() {
    root = fs::temp_directory_path() / ("karvo-startup-" + std::to_string(std::random_device{}()));
    fs::create_directories(root);
  }
  ~Startup() override {
    std::error_code ec;
    fs::remove_all(root, ec);
  }
  std::string Folder() const { return (root / "Dll").string(); }

  fs::path root;
  TDateTime now = 45000.0;
  std::vector<std::uint32_t> pauses;
  std::vector<std::string> messages;
  int pumped = 0;
  // Every pause moves the clock on by its length.
  seams::Scoped<seams::NowFn> clock{seams::SetUtcNow, [this] { return now; }};
  seams::Scoped<seams::PauseFn> pause{seams::SetPause, [this](std::uint32_t ms) {
                                        pauses.push_back(ms);
                                        now += ms / 86400000.0;
                                      }};
  seams::Scoped<seams::MessageFn> message{seams::SetMessage, [this](const std::string& t) { messages.push_back(t); }};
  seams::Scoped<seams::ProcessMessagesFn> pump{seams::SetProcessMessages, [this] { ++pumped; }};
};

// The bytes of tests/app/TestResource.bin.
const std::string kResourceBytes("KarvoTemp test resource\n\x00\x01\x02\xff\n", 29);

TEST_F(Startup, TheProgramCarriesItsTestResourceWhateverTheCase) {
  const auto resource = FindProgramResource("karvotest");
  ASSERT_TRUE(resource);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(resource->data()), resource->size()), kResourceBytes);
  EXPECT_FALSE(FindProgramResource("FTDIR"));
}

TEST_F(Startup, AResourceIsWrittenOnceIntoItsFolder) {
  ExtractResourceToFile(Folder(), "FTDI.exe", "KARVOTEST");
  EXPECT_EQ(test::FileContents(root / "Dll" / "FTDI.exe"), kResourceBytes);
  EXPECT_EQ(pauses, (std::vector<std::uint32_t>{100, 150}));
  EXPECT_EQ(pumped, 1);
  // Present: nothing is written, nothing waited for.
  std::ofstream(root / "Dll" / "FTDI.exe") << "the operator's own";
  ExtractResourceToFile(Folder(), "FTDI.exe", "KARVOTEST");
  EXPECT_EQ(test::FileContents(root / "Dll" / "FTDI.exe"), "the operator's own");
  EXPECT_EQ(pauses.size(), 2u);
  EXPECT_TRUE(messages.empty());
}

TEST_F(Startup, TheInstallerLoopEndsWhenTheFileExistsOrAfterFiveSeconds) {
  // Present already: no extraction at all.
  fs::create_directories(root / "Dll");
  std::ofstream(root / "Dll" / "FTDI.exe") << "x";
  PlaceDriverInstaller(Folder(), "FTDI.exe", "KARVOTEST");
  EXPECT_TRUE(pauses.empty());
  // Absent: one extraction, then the loop ends because the file exists.
  fs::remove(root / "Dll" / "FTDI.exe");
  PlaceDriverInstaller(Folder(), "FTDI.exe", "KARVOTEST");
  EXPECT_EQ(pauses, (std::vector<std::uint32_t>{150, 200}));
  // A missing resource: a message for every attempt until 5 s have passed.
  pauses.clear();
  PlaceDriverInstaller(Folder(), "Missing.exe", "NOSUCHRESOURCE");
  EXPECT_GE(messages.size(), 25u);
  EXPECT_LE(messages.size(), 26u);
  EXPECT_EQ(messages.front(), kResourceMissing);
  EXPECT_FALSE(fs::exists(root / "Dll" / "Missing.exe"));
}

TEST_F(Startup, AFolderThatCannotBeMadeDoesNotHoldTheStart) {
  std::ofstream(root / "Dll") << "a file where the folder belongs";
  PlaceDriverInstaller(Folder(), "FTDI.exe", "KARVOTEST");
  // Each extraction gives up after its attempts at the folder; the loop ends
  // at its five seconds.
  EXPECT_LE(now - 45000.0, 12.0 / 86400);
  EXPECT_TRUE(messages.empty());
}

}  // namespace
}  // namespace karvo

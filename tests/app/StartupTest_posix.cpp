// The driver installer's file on a disk that fills up while it is written.

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "DiskFull_posix.h"
#include "app/Startup.h"
#include "common/Log.h"
#include "common/Seams.h"

namespace karvo {
namespace {
namespace fs = std::filesystem;

// A short write leaves no file behind: a truncated installer would count as
// present at every later start. The failure is logged, and the start's loop
// tries again until its five seconds are over.
TEST(StartupOnAFullDisk, AShortWriteLeavesNoInstallerBehind) {
  const fs::path root = fs::temp_directory_path() / ("karvo-startup-" + std::to_string(std::random_device{}()));
  fs::create_directories(root / "Dll");
  TDateTime now = 45000.0;
  seams::Scoped<seams::NowFn> clock{seams::SetUtcNow, [&] { return now; }};
  seams::Scoped<seams::PauseFn> pause{seams::SetPause, [&](std::uint32_t ms) { now += ms / 86400000.0; }};
  seams::Scoped<seams::ProcessMessagesFn> pump{seams::SetProcessMessages, [] {}};
  std::vector<std::string> lines;
  ScopedLogSink sink([&](const std::string& line) { lines.push_back(line); });
  {
    test::DiskFullAfter full(10);  // the 29-byte resource does not fit
    PlaceDriverInstaller((root / "Dll").string(), "FTDI.exe", "KARVOTEST");
  }
  EXPECT_FALSE(fs::exists(root / "Dll" / "FTDI.exe")) << "a truncated installer counts as present";
  EXPECT_TRUE(fs::is_empty(root / "Dll")) << "a temporary file stays behind";
  ASSERT_GE(lines.size(), 2u) << "one attempt only: the loop took the short file for the installer";
  EXPECT_EQ(lines.front().rfind("Cannot write the file \"" + (root / "Dll" / "FTDI.exe").string() + "\": ", 0), 0u)
      << lines.front();
  // Room again: the next start writes it whole.
  PlaceDriverInstaller((root / "Dll").string(), "FTDI.exe", "KARVOTEST");
  EXPECT_EQ(fs::file_size(root / "Dll" / "FTDI.exe"), 29u);
  std::error_code ec;
  fs::remove_all(root, ec);
}

}  // namespace
}  // namespace karvo

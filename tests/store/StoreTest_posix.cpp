// The file-per-value store of systems without a registry.
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

#include "StoreFixture.h"
#include "common/ConfigDir.h"
#include "supervisor/store/KarvoRegistry.h"

namespace {

std::string Dir() { return std::string(std::getenv("XDG_CONFIG_HOME")) + "/TalvikAS/Karvo"; }

std::string Slurp(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::ostringstream s;
  s << f.rdbuf();
  return s.str();
}

std::vector<std::string> Files(const std::string& dir) {
  std::vector<std::string> names;
  if (DIR* d = opendir(dir.c_str())) {
    while (const dirent* e = readdir(d))
      if (std::string(e->d_name) != "." && std::string(e->d_name) != "..") names.push_back(e->d_name);
    closedir(d);
  }
  std::sort(names.begin(), names.end());
  return names;
}

mode_t Mode(const std::string& path) {
  struct stat st {};
  EXPECT_EQ(stat(path.c_str(), &st), 0) << path;
  return st.st_mode & 0777;
}

}  // namespace

TEST(StoreNames, UnsafeBytesAndALeadingDotAreEscaped) {
  const struct {
    std::wstring name;
    std::string file;
  } cases[] = {
      {L"FS_Furnace1", "FS_Furnace1"},
      {L"FW_Ofen-2.b", "FW_Ofen-2.b"},
      {L"FS_a/b", "FS_a%2Fb"},
      {L"../../etc/passwd", "%2E.%2F..%2Fetc%2Fpasswd"},
      {L".hidden", "%2Ehidden"},
      {L"..", "%2E."},
      {L"FS_ 100%", "FS_%20100%25"},
      {L"FS_\n\x01", "FS_%0A%01"},
      {L"FS_Ofen\u00b0", "FS_Ofen%C2%B0"},
      {L"", "%"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(karvo::EncodeStoreName(c.name), c.file);
    EXPECT_EQ(karvo::DecodeStoreName(c.file), c.name) << c.file;
  }
}

TEST_F(StoreTest, EachValueIsAPrivateFileHoldingExactlyItsText) {
  karvo::WriteRegistryString(L"FW_Furnace1", L"Sample 4 \u00baC");
  karvo::WriteRegistryString(L"../../outside", L"x");
  EXPECT_EQ(Mode(Dir()), 0700u);
  EXPECT_EQ(Mode(Dir() + "/FW_Furnace1"), 0600u);
  EXPECT_EQ(Slurp(Dir() + "/FW_Furnace1"),
            "Sample 4 \xC2\xBA"
            "C");
  // Nothing left behind but the two values, both inside the folder.
  EXPECT_EQ(Files(Dir()), (std::vector<std::string>{"%2E.%2F..%2Foutside", "FW_Furnace1"}));
  EXPECT_EQ(karvo::ReadRegistryString(L"../../outside"), L"x");
}

TEST_F(StoreTest, AWriteThatCannotTakeEffectReportsTheSystemReason) {
  // The config folder's place is taken by a file.
  const std::string base = std::getenv("XDG_CONFIG_HOME");
  std::ofstream(base + "/TalvikAS") << "not a folder";
  try {
    karvo::WriteRegistryString(L"FS_Furnace1", L"1");
    FAIL() << "the write was reported as done";
  } catch (const karvo::StoreError& e) {
    EXPECT_NE(std::string(e.what()).find("Not a directory"), std::string::npos) << e.what();
  }
  EXPECT_EQ(karvo::ReadRegistryString(L"FS_Furnace1"), L"");
}

TEST_F(StoreTest, ValueNamedLikeTheFolderOfThePortMapIsRefusedNotLost) {
  karvo::WriteRegistryString(L"FS_x", L"1");  // creates the folder
  ASSERT_EQ(mkdir((Dir() + "/ports").c_str(), 0700), 0);
  EXPECT_THROW(karvo::WriteRegistryString(L"ports", L"1"), karvo::StoreError);
  EXPECT_EQ(karvo::ReadRegistryString(L"ports"), L"");
  EXPECT_EQ(karvo::ListRegistryStrings().size(), 1u);  // the folder is not a value
  // Nothing left behind, hidden temporary files included.
  EXPECT_EQ(Files(Dir()), (std::vector<std::string>{"FS_x", "ports"}));
}

TEST_F(StoreTest, AFolderOfAnotherUserIsNeitherReadNorWritten) {
  karvo::WriteRegistryString(L"FW_Furnace1", L"mine");
  const unsigned us = karvo::SetKarvoConfigOwner(::geteuid() + 1);
  EXPECT_EQ(karvo::ReadRegistryString(L"FW_Furnace1"), L"");
  EXPECT_TRUE(karvo::ListRegistryStrings().empty());
  try {
    karvo::WriteRegistryString(L"FW_Furnace1", L"theirs");
    ADD_FAILURE() << "the write was reported as done";
  } catch (const karvo::StoreError& e) {
    EXPECT_NE(std::string(e.what()).find("belongs to another user"), std::string::npos) << e.what();
  }
  karvo::SetKarvoConfigOwner(us);
  EXPECT_EQ(karvo::ReadRegistryString(L"FW_Furnace1"), L"mine");
}

TEST_F(StoreTest, AReaderNeverSeesHalfAValue) {
  const std::wstring a(20000, L'a'), b(30000, L'b');
  karvo::WriteRegistryString(L"FW_Furnace1", a);
  std::atomic<bool> stop{false};
  std::thread writer([&] {
    for (int i = 0; !stop; ++i) karvo::WriteRegistryString(L"FW_Furnace1", i % 2 ? a : b);
  });
  int torn = 0;
  for (int i = 0; i < 2000; ++i) {
    const std::wstring v = karvo::ReadRegistryString(L"FW_Furnace1");
    if (v != a && v != b) ++torn;
  }
  stop = true;
  writer.join();
  EXPECT_EQ(torn, 0);
  EXPECT_EQ(Files(Dir()).size(), 1u) << "temporary files left behind";
}

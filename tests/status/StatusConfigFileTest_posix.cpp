// The status settings file in the per-user folder: the token made on first
// use beyond loopback, kept with mode 0600.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <optional>

#include "TempFolder.h"
#include "status/StatusConfig.h"

namespace karvo {
namespace {

class StatusConfigFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* old = std::getenv("XDG_CONFIG_HOME");
    if (old) old_ = old;
    setenv("XDG_CONFIG_HOME", folder_.Path().c_str(), 1);
  }
  void TearDown() override {
    if (old_)
      setenv("XDG_CONFIG_HOME", old_->c_str(), 1);
    else
      unsetenv("XDG_CONFIG_HOME");
  }
  std::string Read(const std::filesystem::path& p) {
    std::ifstream in(p);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  test::TempFolder folder_;
  std::optional<std::string> old_;
};

TEST_F(StatusConfigFileTest, ATokenIsMadeOnFirstUseBeyondLoopbackAndKeptPrivate) {
  const std::filesystem::path path = StatusConfigPath();
  EXPECT_EQ(path, folder_.Path() / "TalvikAS" / "Karvo" / "status.conf");

  // Loopback: no token is made, no file written.
  TStatusConfigRead local = LoadStatusOptions({"--status-port", "9100"});
  EXPECT_TRUE(local.Errors.empty());
  EXPECT_TRUE(local.Options.Token.empty());
  EXPECT_FALSE(std::filesystem::exists(path));

  std::filesystem::create_directories(path.parent_path());
  std::ofstream(path) << "# kept\nport = 9200\n";
  const TStatusConfigRead wide = LoadStatusOptions({"--status-bind", "0.0.0.0"});
  ASSERT_TRUE(wide.Errors.empty()) << wide.Errors[0];
  EXPECT_EQ(*wide.Options.Port, 9200);
  ASSERT_EQ(wide.Options.Token.size(), 32u);
  EXPECT_EQ(wide.Options.Token.find_first_not_of("0123456789abcdef"), std::string::npos);
  EXPECT_EQ(Read(path), "# kept\nport = 9200\ntoken = " + wide.Options.Token + "\n");
  struct stat st {};
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);

  // The next start finds it; a second token is never made.
  const TStatusConfigRead again = LoadStatusOptions({"--status-bind", "0.0.0.0"});
  EXPECT_EQ(again.Options.Token, wide.Options.Token);
  EXPECT_NE(NewStatusToken(), NewStatusToken());
}

TEST_F(StatusConfigFileTest, NoTokenStoredMeansNoServerBeyondLoopback) {
  // The folder is a file: the token cannot be kept, the server stays off.
  std::filesystem::create_directories(folder_.Path() / "TalvikAS");
  std::ofstream(folder_.Path() / "TalvikAS" / "Karvo") << "not a folder";
  const TStatusConfigRead r = LoadStatusOptions({"--status-port", "9100", "--status-bind", "0.0.0.0"});
  EXPECT_FALSE(r.Options.Port.has_value());
  ASSERT_EQ(r.Errors.size(), 1u);
  EXPECT_NE(r.Errors[0].find("the status server stays off"), std::string::npos) << r.Errors[0];
}

}  // namespace
}  // namespace karvo

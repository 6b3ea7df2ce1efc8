// The per-user folder: never a shared place, never another user's.
#include <pwd.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

#include "common/ConfigDir.h"
#include "serial/TempDir_posix.h"

namespace {

// An environment variable removed for the length of a test.
class ScopedUnset {
 public:
  explicit ScopedUnset(const char* name) : name_(name) {
    if (const char* old = std::getenv(name)) previous_ = old;
    ::unsetenv(name);
  }
  ~ScopedUnset() {
    if (previous_) ::setenv(name_, previous_->c_str(), 1);
  }
  ScopedUnset(const ScopedUnset&) = delete;
  ScopedUnset& operator=(const ScopedUnset&) = delete;

 private:
  const char* name_;
  std::optional<std::string> previous_;
};

TEST(ConfigDir, WithoutHomeItIsTheUsersHomeFromTheUserDatabaseNotASharedFolder) {
  const passwd* user = ::getpwuid(::getuid());
  ASSERT_NE(user, nullptr);
  const std::string expected = std::string(user->pw_dir) + "/.config/TalvikAS/Karvo";
  ScopedUnset xdg("XDG_CONFIG_HOME");
  {
    ScopedUnset home("HOME");
    EXPECT_EQ(karvo::KarvoConfigDir(), expected);
  }
  karvo::testing::ScopedEnv relative("HOME", "somewhere");
  EXPECT_EQ(karvo::KarvoConfigDir(), expected) << "a relative HOME";
}

TEST(ConfigDir, AFolderOfAnotherUserIsRefused) {
  karvo::testing::TempDir tmp;
  karvo::testing::ScopedEnv xdg("XDG_CONFIG_HOME", tmp.Path());
  ASSERT_TRUE(karvo::EnsureKarvoConfigDir());
  EXPECT_TRUE(karvo::KarvoConfigDirIsOwn());
  EXPECT_TRUE(karvo::OwnFolderOrAbsent(tmp / "TalvikAS/Karvo/ports"));

  const unsigned us = karvo::SetKarvoConfigOwner(::geteuid() + 1);
  EXPECT_FALSE(karvo::EnsureKarvoConfigDir());
  EXPECT_FALSE(karvo::KarvoConfigDirIsOwn());
  EXPECT_FALSE(karvo::OwnFolderOrAbsent(tmp / "TalvikAS/Karvo"));
  EXPECT_TRUE(karvo::OwnFolderOrAbsent(tmp / "TalvikAS/Karvo/ports")) << "absent";
  karvo::SetKarvoConfigOwner(us);

  // A link in the folder's place is not the folder.
  karvo::testing::TempDir elsewhere;
  karvo::testing::ScopedEnv other("XDG_CONFIG_HOME", elsewhere.Path());
  elsewhere.Link("TalvikAS/Karvo", tmp / "TalvikAS/Karvo");
  EXPECT_FALSE(karvo::KarvoConfigDirIsOwn());
  EXPECT_FALSE(karvo::EnsureKarvoConfigDir());
}

}  // namespace

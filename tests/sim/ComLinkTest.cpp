#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "common/ConfigDir.h"
#include "sim/ComLink.h"

namespace fs = std::filesystem;
using karvo::sim::LinkComPort;
using karvo::sim::UnlinkComPort;

TEST(ComLink, ConfigHomeIsTemporaryAndRestored) {
  const char* before = std::getenv("XDG_CONFIG_HOME");
  const std::string saved = before ? before : "";
  std::string path;
  {
    karvo::sim::ScopedConfigHome home;
    path = home.Path();
    EXPECT_TRUE(fs::is_directory(path));
    EXPECT_EQ(karvo::KarvoConfigDir(), path + "/TalvikAS/Karvo");
    EXPECT_EQ(karvo::sim::PortMapDir(), path + "/TalvikAS/Karvo/ports");
  }
  EXPECT_FALSE(fs::exists(path));
  const char* after = std::getenv("XDG_CONFIG_HOME");
  EXPECT_EQ(after != nullptr, before != nullptr);
  if (after) {
    EXPECT_EQ(after, saved);
  }
}

TEST(ComLink, ReplacesASimulatorsLinkAndLeavesTheUsersOwnAlone) {
  karvo::sim::ScopedConfigHome home;
  const fs::path link = fs::path(karvo::sim::PortMapDir()) / "COM9";
  LinkComPort("COM9", "/dev/pts/4000");  // as a crashed run leaves it: dangling
  EXPECT_EQ(fs::read_symlink(link), "/dev/pts/4000");
  LinkComPort("COM9", "/dev/pts/4001");
  EXPECT_EQ(fs::read_symlink(link), "/dev/pts/4001");

  EXPECT_FALSE(UnlinkComPort("COM9", "/dev/pts/4000")) << "someone else's link now";
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_TRUE(UnlinkComPort("COM9", "/dev/pts/4001"));
  EXPECT_FALSE(fs::exists(fs::symlink_status(link)));

  fs::create_symlink("/dev/ttyUSB0", link);  // the user's adapter
  EXPECT_THROW(LinkComPort("COM9", "/dev/pts/4002"), std::runtime_error);
  EXPECT_EQ(fs::read_symlink(link), "/dev/ttyUSB0");
  EXPECT_THROW(LinkComPort("../COM9", "/dev/pts/4002"), std::runtime_error);
  EXPECT_THROW(LinkComPort("", "/dev/pts/4002"), std::runtime_error);
}

TEST(ComLink, SimOnComPortIsReachableByItsName) {
  std::string device;
  std::string link;
  {
    karvo::sim::SimOnComPort sim({.Seed = 1}, "COM12");
    EXPECT_EQ(sim.ComName(), "COM12");
    device = sim->DevicePath();
    link = karvo::sim::PortMapDir() + "/COM12";
    EXPECT_EQ(fs::canonical(link), fs::path(device));
  }
  EXPECT_FALSE(fs::exists(fs::symlink_status(link)));
}

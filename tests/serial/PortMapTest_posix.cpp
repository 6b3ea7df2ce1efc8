// The COM name mapping on Linux, against a temporary folder that stands for
// the port map folder, sysfs and /dev.

#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "TempDir_posix.h"
#include "common/ConfigDir.h"
#include "serial/ComPortCatalogue.h"
#include "serial/PortMap.h"

namespace {

using karvo::testing::TempDir;

class PortMap : public ::testing::Test {
 protected:
  PortMap() {
    // Serial devices the "machine" has registered.
    SysTty("ttyS0", "4");                      // a UART: COM1
    SysTty("ttyS1", "0");                      // a legacy port without UART
    tmp.Write("sys/ttyS2/device/uevent", "");  // no type file
    tmp.Write("sys/ttyS3/type", "4");          // no device entry
    SysTty("ttyS9", "4");                      // COM10
    SysTty("ttyS31", "4");                     // COM32, last of the range
    SysTty("ttyS32", "4");                     // outside the range
    SysTty("ttyUSB0");                         // COM33
    SysTty("ttyUSB31");                        // COM64
    SysTty("ttyUSB32");                        // outside the range
    SysTty("ttyACM2");                         // COM67
    SysTty("ttyACM31");                        // COM96
    SysTty("ttyACM32");                        // outside the range
    SysTty("ttyAMA0");                         // no range
    // The port map: links to devices that exist or not.
    tmp.Write("dev/pts/5", "");
    tmp.Write("dev/pts/6", "");
    tmp.Link("map/COM2", tmp / "dev/pts/5");  // over a port without UART
    tmp.Link("map/COM5", tmp / "dev/pts/5");
    tmp.Link("map/COM7", tmp / "dev/pts/77");   // dangling
    tmp.Link("map/COM10", tmp / "dev/pts/77");  // dangling: the device of the range counts
    tmp.Link("map/COM33", tmp / "dev/pts/6");   // wins over ttyUSB0
    tmp.Link("map/COM200", "../dev/pts/6");     // relative target
    tmp.Link("map/COM254", tmp / "dev/pts/6");
    tmp.Link("map/COM255", tmp / "dev/pts/6");  // no such COM name
    tmp.Link("map/COM04", tmp / "dev/pts/6");
    tmp.Link("map/com4", tmp / "dev/pts/6");
    tmp.Write("map/COM8", "");  // not a link
    roots = {tmp / "map", tmp / "sys", tmp / "dev"};
  }

  void SysTty(const std::string& name, const char* type = nullptr) {
    tmp.Write("sys/" + name + "/device/uevent", "");
    if (type) tmp.Write("sys/" + name + "/type", std::string(type) + "\n");
  }

  TempDir tmp;
  karvo::PortMapRoots roots;
};

TEST_F(PortMap, NameToDeviceTable) {
  struct Case {
    const char* name;
    std::string device;  // "" = no port
  };
  const Case cases[] = {
      {"COM1", tmp / "dev/ttyS0"},
      {"COM2", tmp / "map/COM2"},
      {"COM3", ""},
      {"COM4", ""},
      {"COM5", tmp / "map/COM5"},
      {"COM7", ""},
      {"COM8", ""},
      {"COM10", tmp / "dev/ttyS9"},
      {"COM32", tmp / "dev/ttyS31"},
      {"COM33", tmp / "map/COM33"},
      {"COM64", tmp / "dev/ttyUSB31"},
      {"COM65", ""},
      {"COM67", tmp / "dev/ttyACM2"},
      {"COM96", tmp / "dev/ttyACM31"},
      {"COM97", ""},
      {"COM200", tmp / "map/COM200"},
      {"COM254", tmp / "map/COM254"},
      {"COM255", ""},
      {"COM04", ""},
      {"com5", ""},
      {" COM5", ""},
      {"", ""},
      {"ttyS0", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(karvo::MappedPortDevice(c.name, roots), c.device) << c.name;
  }
}

TEST_F(PortMap, NamesListEveryMappedPortInAscendingNumber) {
  EXPECT_EQ(karvo::MappedPortNames(roots), (std::vector<std::string>{"COM1", "COM2", "COM5", "COM10", "COM32", "COM33",
                                                                     "COM64", "COM67", "COM96", "COM200", "COM254"}));
}

TEST_F(PortMap, MissingFoldersMapNothing) {
  const karvo::PortMapRoots nowhere{tmp / "none/map", tmp / "none/sys", tmp / "none/dev"};
  EXPECT_TRUE(karvo::MappedPortNames(nowhere).empty());
  EXPECT_EQ(karvo::MappedPortDevice("COM1", nowhere), "");
}

// The catalogue lists the ports of the per-user port map. Port numbers above
// 96 come from the map only, whatever serial devices this machine has.
TEST(ComPortCatalogueOnLinux, ListsThePortMapOfTheUser) {
  TempDir tmp;
  karvo::testing::ScopedEnv config("XDG_CONFIG_HOME", tmp.Path());
  tmp.Write("device", "");
  tmp.Link("TalvikAS/Karvo/ports/COM150", tmp / "device");
  tmp.Link("TalvikAS/Karvo/ports/COM120", tmp / "device");
  tmp.Link("TalvikAS/Karvo/ports/COM151", tmp / "gone");

  const karvo::TComPortCatalogue catalogue;
  const karvo::TCommPortSet set = catalogue.GetExistingCommPorts();
  EXPECT_TRUE(set.test(120));
  EXPECT_TRUE(set.test(150));
  EXPECT_FALSE(set.test(151));
  EXPECT_FALSE(set.test(karvo::spNone));
  EXPECT_FALSE(set.test(karvo::spCustom));
  for (int n = 97; n <= 254; ++n) EXPECT_EQ(set.test(n), n == 120 || n == 150) << n;

  std::vector<std::string> names{"stale entry"};
  catalogue.GetExistingCommPortNames(names);
  std::vector<std::string> mapped;
  std::copy_if(names.begin(), names.end(), std::back_inserter(mapped),
               [&](const std::string& n) { return catalogue.StringToCommPort(n) > 96; });
  EXPECT_EQ(mapped, (std::vector<std::string>{"COM120", "COM150"}));
  EXPECT_EQ(std::count(names.begin(), names.end(), "stale entry"), 0);
  EXPECT_EQ(names.size(), set.count());
}

// A pseudo-terminal stays alive only while its holder does; then the number
// goes to the next terminal session. A link to one is a port only while the
// process named in its owner file lives (not one that got its number later).
TEST(PortMapOnLinux, LinkToAPseudoTerminalIsAPortOnlyWhileItsOwnerLives) {
  TempDir tmp;
  karvo::testing::ScopedEnv config("XDG_CONFIG_HOME", tmp.Path());
  int master = -1, slave = -1;
  char pts[256] = {};
  ASSERT_EQ(::openpty(&master, &slave, pts, nullptr, nullptr), 0);
  const std::string map = tmp / "TalvikAS/Karvo/ports";
  tmp.Link("TalvikAS/Karvo/ports/COM140", pts);
  tmp.Write("adapter", "");
  tmp.Link("TalvikAS/Karvo/ports/COM141", tmp / "adapter");  // not a pseudo-terminal: needs no owner
  const pid_t ended = ::fork();
  if (ended == 0) ::_exit(0);
  ::waitpid(ended, nullptr, 0);

  const struct {
    const char* what;
    std::string owner;  // the owner file's text; empty: none
    bool port;
  } cases[] = {
      {"no owner file", "", false},
      {"owner ended", std::to_string(ended) + " 0\n", false},
      {"a later process with the owner's number", std::to_string(::getpid()) + " 1\n", false},
      {"owner lives", "*", true},
  };
  for (const auto& c : cases) {
    std::filesystem::remove(karvo::PortLinkOwnerFile(map, "COM140"));
    if (c.owner == "*") {
      ASSERT_TRUE(karvo::WritePortLinkOwner(map, "COM140"));
    } else if (!c.owner.empty()) {
      std::ofstream(karvo::PortLinkOwnerFile(map, "COM140")) << c.owner;
    }
    EXPECT_EQ(karvo::MappedPortDevice("COM140"), c.port ? map + "/COM140" : "") << c.what;
    EXPECT_EQ(karvo::TComPortCatalogue().GetExistingCommPorts().test(140), c.port) << c.what;
    EXPECT_EQ(karvo::LivePortLinkOwner(map, "COM140"), c.port ? ::getpid() : 0) << c.what;
    EXPECT_EQ(karvo::MappedPortDevice("COM141"), map + "/COM141") << c.what;
  }
  ::close(master);
  ::close(slave);
}

TEST(PortMapOnLinux, MapFolderOfAnotherUserIsNotLookedAt) {
  TempDir tmp;
  karvo::testing::ScopedEnv config("XDG_CONFIG_HOME", tmp.Path());
  tmp.Write("device", "");
  tmp.Link("TalvikAS/Karvo/ports/COM150", tmp / "device");
  ASSERT_EQ(karvo::MappedPortDevice("COM150"), tmp / "TalvikAS/Karvo/ports/COM150");
  const unsigned us = karvo::SetKarvoConfigOwner(::geteuid() + 1);
  EXPECT_EQ(karvo::MappedPortDevice("COM150"), "");
  EXPECT_FALSE(karvo::TComPortCatalogue().GetExistingCommPorts().test(150));
  karvo::SetKarvoConfigOwner(us);
}

}  // namespace

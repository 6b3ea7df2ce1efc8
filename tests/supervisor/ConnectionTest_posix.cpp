// The connection steps that meet the per-user store and the port map: the
// port list, Stop and the close.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "chart/RtCustomGraph.h"
#include "common/ConfigDir.h"
#include "common/Log.h"
#include "common/Seams.h"
#include "serial/PortName.h"
#include "sim/ComLink.h"
#include "supervisor/logic/Supervisor.h"
#include "supervisor/store/KarvoRegistry.h"

namespace karvo {
namespace {
namespace fs = std::filesystem;

class Connection : public ::testing::Test {
 protected:
  Connection() {
    supervisor.SetFurnaceModule(std::make_unique<TFurnaceModule>());
    MemoryLog::Clear();
  }
  // Makes the store refuse every write: its folder's place is taken.
  void BreakStore() {
    fs::remove_all(KarvoConfigDir());
    fs::create_directories(fs::path(KarvoConfigDir()).parent_path());
    std::ofstream(KarvoConfigDir()) << "in the way";
  }

  sim::ScopedConfigHome home;
  TRtCustomGraph graph;
  TSupervisor supervisor{graph, {}};
  std::vector<std::uint32_t> pauses;
  seams::Scoped<seams::PauseFn> pause{seams::SetPause, [this](std::uint32_t ms) { pauses.push_back(ms); }};
};

TEST_F(Connection, PortListHoldsTheRegisteredComPortsUpToCom99InOrder) {
  for (const char* name : {"COM12", "COM150", "COM3"}) sim::LinkComPort(name, "/dev/null");
  std::vector<std::string> messages;
  seams::Scoped<seams::MessageFn> message(seams::SetMessage, [&](const std::string& t) { messages.push_back(t); });
  const std::vector<std::string> list = TSupervisor::ComPortList(TComPortCatalogue());
  // The machine's own serial devices may come along; the map's links are
  // COM3 and COM12, in that order, and COM150 never shows.
  std::vector<std::string> mapped;
  for (const std::string& name : list)
    if (name == "COM3" || name == "COM12" || name == "COM150") mapped.push_back(name);
  EXPECT_EQ(mapped, (std::vector<std::string>{"COM3", "COM12"}));
  for (std::size_t i = 1; i < list.size(); ++i) EXPECT_LT(ComPortNumberOf(list[i - 1]), ComPortNumberOf(list[i]));
  EXPECT_TRUE(messages.empty());
}

TEST_F(Connection, StopClearsTheHoldRequestOfTheSavedFurnaceNameOnly) {
  WriteRegistryString(L"FW_Oven", L"Sample 4 measuring");
  WriteRegistryString(L"FW_Furnace1", L"another furnace's hold");
  supervisor.Stop(L"Oven");
  EXPECT_EQ(supervisor.FurnaceModule(), nullptr);
  EXPECT_EQ(ReadRegistryString(L"FW_Oven"), L"0");
  EXPECT_EQ(ReadRegistryString(L"FW_Furnace1"), L"another furnace's hold");
  supervisor.SetFurnaceModule(std::make_unique<TFurnaceModule>());
  BreakStore();
  EXPECT_THROW(supervisor.Stop(L"Oven"), StoreError);
  EXPECT_EQ(supervisor.FurnaceModule(), nullptr);
}

TEST_F(Connection, CloseWithdrawsTheStableSegmentLogsAndPauses) {
  WriteRegistryString(L"FS_Oven", L"3");
  std::vector<std::string> errors;
  auto onError = [&](const std::exception& e) { errors.push_back(e.what()); };
  supervisor.CloseQuery(L"Oven", onError);
  EXPECT_EQ(ReadRegistryString(L"FS_Oven"), L"0");
  EXPECT_EQ(MemoryLog::Lines(), (std::vector<std::string>{"", "Waiting for communication threads to finish..."}));
  EXPECT_EQ(pauses, std::vector<std::uint32_t>{2000});
  EXPECT_TRUE(errors.empty());
  // A store that refuses is reported and the close goes on.
  BreakStore();
  supervisor.CloseQuery(L"Oven", onError);
  EXPECT_EQ(errors.size(), 1u);
  EXPECT_EQ(pauses.size(), 2u);
}

}  // namespace
}  // namespace karvo

// The register dump through the Win32 serial calls, against the simulated
// controller the Wine stage serves on a COM port (HarnessSim.h): 18 reads
// of about 0.4 s each.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "FileContents.h"
#include "HarnessSim.h"
#include "TempFolder.h"
#include "common/Seams.h"
#include "supervisor/logic/ControllerTools.h"

namespace karvo {
namespace {

class ControllerToolsOnHarnessSim : public testing::OnHarnessSim {
 protected:
  void SetUp() override {
    OnHarnessSim::SetUp();
    ASSERT_EQ(sim.Address, 1u) << "the tools talk to device address 1";
    port.SetPort(sim.Com);
  }
  TModbusPort port;
  std::vector<std::uint32_t> pauses;
  seams::Scoped<seams::PauseFn> pause_{seams::SetPause, [this](std::uint32_t ms) { pauses.push_back(ms); }};
};

TEST_F(ControllerToolsOnHarnessSim, TheRegisterDumpHoldsRegisters1To576OneALine) {
  test::TempFolder folder;
  SaveFurnaceInfo(port, folder / kFurnaceInfoFile);
  const std::string text = test::FileContents(folder / kFurnaceInfoFile);
  std::vector<std::string> lines;
  std::size_t from = 0;
  for (std::size_t end; (end = text.find("\r\n", from)) != std::string::npos; from = end + 2)
    lines.push_back(text.substr(from, end - from));
  EXPECT_EQ(from, text.size()) << "the last line ends in CR LF too";
  ASSERT_EQ(lines.size(), 576u);
  for (std::uint32_t r = 1; r <= 576; ++r) {
    const std::string& line = lines[r - 1];
    const std::string prefix = "Address:" + std::to_string(r) + " Value:";
    ASSERT_EQ(line.rfind(prefix, 0), 0u) << line;
    const std::string value = line.substr(prefix.size());
    ASSERT_FALSE(value.empty());
    EXPECT_EQ(value.find_first_not_of("0123456789"), std::string::npos) << line;
    EXPECT_LE(std::stoul(value), 65535u) << line;
  }
  // Registers that stand still: the setpoint limits, the instrument, the
  // address, operating mode, no sensor break.
  EXPECT_EQ(lines[11 - 1], "Address:11 Value:0");
  EXPECT_EQ(lines[12 - 1], "Address:12 Value:1200");
  EXPECT_EQ(lines[122 - 1], "Address:122 Value:2400");
  EXPECT_EQ(lines[131 - 1], "Address:131 Value:1");
  EXPECT_EQ(lines[199 - 1], "Address:199 Value:0");
  EXPECT_EQ(lines[258 - 1], "Address:258 Value:0");
  ASSERT_EQ(pauses.size(), 19u);
  EXPECT_EQ(pauses[0], 2000u);
  for (std::size_t i = 1; i < pauses.size(); ++i) {
    EXPECT_GE(pauses[i], 50u);
    EXPECT_LE(pauses[i], 99u);
  }
}

}  // namespace
}  // namespace karvo

// The registered-port source on Windows: against a registry key of the
// test's own under HKEY_CURRENT_USER, and against the system's own key with
// the port of the simulated controller the test harness serves (under Wine
// the harness registers it, and Wine lists it in SERIALCOMM).

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "HarnessSim.h"
#include "serial/ComPortCatalogue.h"
#include "serial/ComPortRegistry_win32.h"

namespace {

class ComPortRegistry : public ::testing::Test {
 protected:
  ComPortRegistry()
      : subKey("Software\\TalvikAS\\KarvoTest\\SERIALCOMM-" + std::to_string(::GetCurrentProcessId())),
        previous(karvo::SetComPortRegistryKey({HKEY_CURRENT_USER, subKey})) {}
  ~ComPortRegistry() override {
    karvo::SetComPortRegistryKey(previous);
    ::RegDeleteKeyA(HKEY_CURRENT_USER, subKey.c_str());
  }

  void SetString(const std::string& name, const std::string& data) {
    HKEY key = nullptr;
    ASSERT_EQ(::RegCreateKeyExA(HKEY_CURRENT_USER, subKey.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    ::RegSetValueExA(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                     static_cast<DWORD>(data.size() + 1));
    ::RegCloseKey(key);
  }

  std::string subKey;
  karvo::ComPortRegistryKey previous;
};

TEST_F(ComPortRegistry, ValuesBecomeTheSetAndTheNamesInRegistryOrder) {
  // Value names sort in the order they are written: Windows lists values in
  // the order they were written, Wine by name.
  SetString("\\Device\\Port0", "COM12");
  SetString("\\Device\\Port1", " COM7 ");
  SetString("\\Device\\Port2", "COM3");
  SetString("\\Device\\Port3", "CNCA0");
  SetString("\\Device\\Port4", "CNCB0");
  SetString("\\Device\\Port5", "   ");
  SetString("\\Device\\Port6", "COM9" + std::string(300, ' '));  // longer than the first buffer

  const karvo::TComPortCatalogue catalogue;
  karvo::TCommPortSet expected;
  for (int n : {3, 7, 9, 12, 255}) expected.set(n);
  EXPECT_EQ(catalogue.GetExistingCommPorts(), expected);

  std::vector<std::string> names{"stale entry"};
  catalogue.GetExistingCommPortNames(names);
  EXPECT_EQ(names, (std::vector<std::string>{"COM12", "COM7", "COM3", "CNCA0", "CNCB0", "COM9"}));
}

TEST_F(ComPortRegistry, MissingOrEmptyKeyGivesNothing) {
  const karvo::TComPortCatalogue catalogue;
  std::vector<std::string> names{"stale entry"};
  EXPECT_TRUE(catalogue.GetExistingCommPorts().none());
  catalogue.GetExistingCommPortNames(names);
  EXPECT_TRUE(names.empty());

  SetString("\\Device\\Blank", "");
  EXPECT_TRUE(catalogue.GetExistingCommPorts().none());
}

using SystemComPortKey = karvo::testing::OnHarnessSim;

TEST_F(SystemComPortKey, ListsTheSimulatedControllersPort) {
  const karvo::TComPortCatalogue catalogue;
  const karvo::TCommPort simPort = catalogue.StringToCommPort(sim.Com);
  ASSERT_NE(simPort, karvo::spCustom) << sim.Com;
  EXPECT_TRUE(catalogue.GetExistingCommPorts().test(simPort));

  std::vector<std::string> names;
  catalogue.GetExistingCommPortNames(names);
  EXPECT_NE(std::find(names.begin(), names.end(), sim.Com), names.end()) << ::testing::PrintToString(names);
}

}  // namespace

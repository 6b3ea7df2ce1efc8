#include <sstream>
#include <string>
#include <vector>

#include "KarvoReg.h"
#include "StoreFixture.h"
#include "supervisor/store/KarvoRegistry.h"

using karvo::ReadRegistryString;
using karvo::WriteRegistryString;

TEST_F(StoreTest, ValuesRoundTripExactlyAndMissingOnesReadEmpty) {
  EXPECT_EQ(ReadRegistryString(L"FW_Furnace1"), L"");  // no store at all yet
  WriteRegistryString(L"FS_Furnace1", L"3");
  EXPECT_EQ(ReadRegistryString(L"FW_Furnace1"), L"");  // store there, value missing
  const std::vector<std::wstring> texts{L"Sample 4 measuring", L"", L"0", L" 0", L"00", L"two\r\nlines\t",
                                        L"1200 \u00baC"};
  for (const auto& text : texts) {
    WriteRegistryString(L"FW_Furnace1", text);
    EXPECT_EQ(ReadRegistryString(L"FW_Furnace1"), text);
  }
  EXPECT_EQ(ReadRegistryString(L"FS_Furnace1"), L"3");
}

TEST_F(StoreTest, ListShowsEveryValueSortedByName) {
  WriteRegistryString(L"FW_Oven", L"hold");
  WriteRegistryString(L"FS_Oven", L"2");
  const std::vector<std::pair<std::wstring, std::wstring>> expected{{L"FS_Oven", L"2"}, {L"FW_Oven", L"hold"}};
  EXPECT_EQ(karvo::ListRegistryStrings(), expected);
}

TEST_F(StoreTest, CommandLineGetSetList) {
  struct Run {
    std::vector<std::wstring> args;
    int code;
    std::string out;
  } runs[] = {
      {{L"get", L"FW_Furnace1"}, 0, "\n"},
      {{L"set", L"FW_Furnace1", L"Sample 4 measuring"}, 0, ""},
      {{L"get", L"FW_Furnace1"}, 0, "Sample 4 measuring\n"},
      {{L"set", L"FS_Furnace1", L"0"}, 0, ""},
      {{L"list"}, 0, "FS_Furnace1=0\nFW_Furnace1=Sample 4 measuring\n"},
      {{}, 2, ""},
      {{L"get"}, 2, ""},
      {{L"set", L"FW_Furnace1"}, 2, ""},
      {{L"remove", L"FW_Furnace1"}, 2, ""},
  };
  for (const auto& run : runs) {
    std::ostringstream out, err;
    EXPECT_EQ(karvo::RunKarvoReg(run.args, out, err), run.code);
    EXPECT_EQ(out.str(), run.out);
    EXPECT_EQ(err.str().empty(), run.code == 0) << err.str();
  }
  // --help is the full text on stdout; a value named so is still read.
  std::ostringstream out, err;
  EXPECT_EQ(karvo::RunKarvoReg({L"--help"}, out, err), 0);
  EXPECT_TRUE(out.str().starts_with("usage: karvo-reg get NAME\n")) << out.str();
  EXPECT_NE(out.str().find("-h, --help"), std::string::npos) << out.str();
  EXPECT_EQ(err.str(), "");
  out.str("");
  EXPECT_EQ(karvo::RunKarvoReg({L"get", L"--help"}, out, err), 0);
  EXPECT_EQ(out.str(), "\n");
}

// The registry store of Windows.
#include <windows.h>

#include "StoreFixture.h"
#include "supervisor/store/KarvoRegistry.h"

TEST_F(StoreTest, AValueOfAnotherTypeReadsAsEmptyText) {
  karvo::WriteRegistryString(L"FS_Furnace1", L"1");
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\TalvikAS\\Karvo\\", 0, KEY_WRITE, &key), ERROR_SUCCESS);
  const DWORD number = 7;
  ASSERT_EQ(RegSetValueExW(key, L"FW_Furnace1", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), sizeof number),
            ERROR_SUCCESS);
  RegCloseKey(key);
  EXPECT_EQ(karvo::ReadRegistryString(L"FW_Furnace1"), L"");
  EXPECT_EQ(karvo::ListRegistryStrings().size(), 1u);
}

TEST_F(StoreTest, ValuesAreStringsUnderTheUsersKey) {
  karvo::WriteRegistryString(L"FW_Furnace1", L"Sample 4 measuring");
  wchar_t buf[64] = {};
  DWORD size = sizeof buf, type = 0;
  ASSERT_EQ(
      RegGetValueW(HKEY_CURRENT_USER, L"Software\\TalvikAS\\Karvo", L"FW_Furnace1", RRF_RT_ANY, &type, buf, &size),
      ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(std::wstring(buf), L"Sample 4 measuring");
}

#include <windows.h>

#include "StoreFixture.h"

void IsolateStore() { RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\TalvikAS\\Karvo"); }

// Windows: the arguments are taken as wide text, so names and values keep
// characters outside the ANSI code page.
#include <windows.h>
#include <shellapi.h>

#include <iostream>

#include "KarvoReg.h"

int main() {
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  std::vector<std::wstring> args;
  for (int i = 1; argv && i < argc; ++i) args.emplace_back(argv[i]);
  if (argv) LocalFree(argv);
  return karvo::RunKarvoReg(args, std::cout, std::cerr);
}

#include <iostream>

#include "KarvoReg.h"
#include "common/Text.h"

int main(int argc, char** argv) {
  std::vector<std::wstring> args;
  for (int i = 1; i < argc; ++i) args.push_back(karvo::SystemToWide(argv[i]));
  return karvo::RunKarvoReg(args, std::cout, std::cerr);
}

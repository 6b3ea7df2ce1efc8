// The replay of a fuzz target's saved inputs as an ordinary test program:
// LLVMFuzzerTestOneInput runs once on every file of the folders named on
// the command line, in name order (files whose names start with "." are no
// inputs). A property that does not hold aborts the program, so the test
// fails; the input that made it fail is the last one named on stderr.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

std::vector<std::filesystem::path> InputsIn(const std::filesystem::path& folder) {
  std::vector<std::filesystem::path> inputs;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    if (entry.is_regular_file() && entry.path().filename().string()[0] != '.') inputs.push_back(entry.path());
  }
  std::sort(inputs.begin(), inputs.end());
  return inputs;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s FOLDER...\n", argv[0]);
    return 2;
  }
  std::size_t total = 0;
  for (int i = 1; i < argc; ++i) {
    const std::filesystem::path folder = argv[i];
    if (!std::filesystem::is_directory(folder)) {
      std::fprintf(stderr, "%s: no such folder\n", argv[i]);
      return 2;
    }
    const std::vector<std::filesystem::path> inputs = InputsIn(folder);
    for (const auto& path : inputs) {
      std::fprintf(stderr, "replaying %s\n", path.c_str());
      std::ifstream in(path, std::ios::binary);
      const std::vector<char> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
      // An empty vector's data() may be null; libFuzzer passes a valid pointer.
      static const std::uint8_t kNothing = 0;
      const auto* data = bytes.empty() ? &kNothing : reinterpret_cast<const std::uint8_t*>(bytes.data());
      LLVMFuzzerTestOneInput(data, bytes.size());
    }
    std::printf("%zu input(s) from %s\n", inputs.size(), argv[i]);
    total += inputs.size();
  }
  if (total == 0) {
    std::fprintf(stderr, "no inputs to replay\n");
    return 1;
  }
  std::printf("%zu input(s) replayed, every check held\n", total);
  return 0;
}

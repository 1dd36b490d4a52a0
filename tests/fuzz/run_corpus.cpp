// Stands in for libFuzzer in ordinary builds: feeds every file named on the
// command line, and every file in a folder named there, to the target once.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace fs = std::filesystem;

int main(int argc, char** argv) {
  std::vector<fs::path> files;
  for (int i = 1; i < argc; ++i) {
    std::error_code error;
    if (fs::is_directory(argv[i], error)) {
      for (const auto& entry : fs::directory_iterator(argv[i], error))
        if (entry.is_regular_file()) files.push_back(entry.path());
    } else if (fs::is_regular_file(argv[i], error)) {
      files.emplace_back(argv[i]);
    } else {
      std::fprintf(stderr, "no such file or folder: %s\n", argv[i]);
      return 1;
    }
  }
  std::sort(files.begin(), files.end());
  for (const fs::path& file : files) {
    std::ifstream in(file, std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    std::printf("%s (%zu bytes)\n", file.filename().c_str(), bytes.size());
    std::fflush(stdout);  // so a crash shows which input caused it
    // A copy of exactly the input's size, so ASan sees reads past its end.
    std::vector<std::uint8_t> data(bytes.begin(), bytes.end());
    LLVMFuzzerTestOneInput(data.data(), data.size());
  }
  std::printf("ran %zu inputs\n", files.size());
  return files.empty() ? 1 : 0;
}

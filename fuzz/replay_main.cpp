// Runs a fuzzer's entry point once over every file of the folders (or files) it is
// given, the way libFuzzer replays a corpus, for the test trees that have no libFuzzer.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

int replay(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "cannot read %s\n", file.c_str());
    return 1;
  }
  const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), {});
  // An empty vector's data() may be null; the entry point gets a valid pointer.
  static const std::uint8_t kNothing = 0;
  LLVMFuzzerTestOneInput(
      bytes.empty() ? &kNothing : reinterpret_cast<const std::uint8_t*>(bytes.data()),
      bytes.size());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  int inputs = 0;
  for (int i = 1; i < argc; ++i) {
    const std::filesystem::path path(argv[i]);
    std::vector<std::filesystem::path> files;
    if (std::filesystem::is_directory(path)) {
      for (const auto& entry : std::filesystem::directory_iterator(path)) {
        if (entry.is_regular_file()) files.push_back(entry.path());
      }
    } else {
      files.push_back(path);
    }
    for (const auto& file : files) {
      if (replay(file) != 0) return 1;
      ++inputs;
    }
  }
  std::printf("replayed %d inputs\n", inputs);
  // A corpus that went missing must not pass as a corpus that holds no fault.
  return inputs > 0 ? 0 : 1;
}

// A stand-in for libFuzzer where the compiler has none: runs the target over every file of the
// given corpus folders, then over a fixed number of mutations of them (bit flips, byte changes,
// cuts, insertions, splices) drawn from a seeded generator, so a run is repeatable.
//   replay [-mutations=N] [-seed=S] FOLDER_OR_FILE...
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

using Input = std::vector<uint8_t>;

Input ReadInput(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Input(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void Run(const Input& input) {
  LLVMFuzzerTestOneInput(input.data(), input.size());
}

Input Mutate(const std::vector<Input>& corpus, std::mt19937& random) {
  Input input = corpus[random() % corpus.size()];
  const int changes = 1 + static_cast<int>(random() % 4);
  for (int i = 0; i < changes; ++i) {
    const std::size_t at = input.empty() ? 0 : random() % input.size();
    switch (random() % 6) {
      case 0:
        if (!input.empty()) input[at] ^= static_cast<uint8_t>(1u << (random() % 8));
        break;
      case 1:
        if (!input.empty()) input[at] = static_cast<uint8_t>(random());
        break;
      case 2:
        input.resize(at);
        break;
      case 3:
        input.insert(input.begin() + static_cast<std::ptrdiff_t>(at),
                     static_cast<uint8_t>(random()));
        break;
      case 4: {
        const Input& other = corpus[random() % corpus.size()];
        input.insert(input.end(), other.begin(), other.end());
        break;
      }
      default:
        if (!input.empty()) input[at] = static_cast<uint8_t>(0xFF * (random() % 2));
        break;
    }
  }
  return input;
}

}  // namespace

int main(int argc, char** argv) {
  long mutations = 0;
  unsigned long seed = 1;
  std::vector<Input> corpus;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg.rfind("-mutations=", 0) == 0) {
      mutations = std::strtol(arg.c_str() + 11, nullptr, 10);
    } else if (arg.rfind("-seed=", 0) == 0) {
      seed = std::strtoul(arg.c_str() + 6, nullptr, 10);
    } else if (std::filesystem::is_directory(arg)) {
      for (const auto& entry : std::filesystem::directory_iterator(arg)) {
        if (entry.is_regular_file()) corpus.push_back(ReadInput(entry.path()));
      }
    } else {
      corpus.push_back(ReadInput(arg));
    }
  }
  if (corpus.empty()) {
    std::fputs("replay: no inputs\n", stderr);
    return 1;
  }
  for (const Input& input : corpus)
    Run(input);
  std::mt19937 random(static_cast<std::mt19937::result_type>(seed));
  for (long i = 0; i < mutations; ++i)
    Run(Mutate(corpus, random));
  std::printf("replay: %zu inputs and %ld mutations without a finding\n", corpus.size(), mutations);
  return 0;
}

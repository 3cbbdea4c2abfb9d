// Replays a fuzzer's corpus without libFuzzer: every file in the folders given.
#include <cstdint>
#include <filesystem>

#include "checks/tool_files.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

int main(int argc, char** argv) {
  int inputs = 0;
  for (int i = 1; i < argc; ++i)
    for (const auto& entry : std::filesystem::directory_iterator(argv[i])) {
      ++inputs;
      tovren::FileContent bytes = tovren::contentOf(entry.path());
      LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
    }
  return inputs > 0 ? 0 : 1;  // an empty corpus proves nothing
}

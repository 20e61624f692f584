// The tool's command line from arbitrary arguments (the input split at zero
// bytes). Anything it cannot take must raise a usage Failure with a message;
// anything it takes must be consistent.
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/byte_streams.h"
#include "tools/stampel/failure.h"
#include "tools/stampel/options.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<std::string> args{"stampel"};
  std::string current;
  for (size_t i = 0; i < size && args.size() < 32; ++i) {
    if (data[i] == 0) {
      args.push_back(current);
      current.clear();
    } else {
      current += static_cast<char>(data[i]);
    }
  }
  if (!current.empty() && args.size() < 32) args.push_back(current);
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);

  try {
    const Options options = ParseOptions(static_cast<int>(args.size()), argv.data());
    if (options.format.has_value() != options.sized) {
      FuzzFail("options", "--format without --size or the other way round");
    }
    if (options.sized && (options.width < 0 || options.height < 0)) {
      FuzzFail("options", "a negative size");
    }
    if (options.frames && *options.frames < 0) FuzzFail("options", "a negative frame count");
  } catch (const Failure& failure) {
    if (failure.ExitCode() != kExitUsage) FuzzFail("options", "not a usage failure");
    if (std::string(failure.what()).empty()) FuzzFail("options", "a failure without a message");
  }
  return 0;
}

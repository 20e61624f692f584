#include "tools/stampel/options.h"

#include <climits>
#include <string_view>
#include <vector>

#include "tools/stampel/failure.h"

namespace {

// A decimal integer within [low, high], an optional sign and digits only.
bool ParseInt(std::string_view text, long long low, long long high, long long* value) {
  bool negative = false;
  if (!text.empty() && (text[0] == '-' || text[0] == '+')) {
    negative = text[0] == '-';
    text.remove_prefix(1);
  }
  if (text.empty() || text.size() > 18) return false;
  long long v = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + (c - '0');
  }
  if (negative) v = -v;
  if (v < low || v > high) return false;
  *value = v;
  return true;
}

std::optional<FileLayout> FormatNamed(std::string_view name) {
  if (name == "rgb24") return FileLayout::kRgb24;
  if (name == "rgb32") return FileLayout::kRgb32;
  if (name == "yuy2") return FileLayout::kYuy2;
  if (name == "yv12") return FileLayout::kYv12;
  if (name == "i420") return FileLayout::kI420;
  return std::nullopt;
}

}  // namespace

const char* UsageText() {
  return "usage: stampel [--offset N] [--left] [--frames N] [--format FMT --size WxH]\n"
         "               [--plugin PATH] [--quiet] [INPUT [OUTPUT]]\n"
         "       stampel --check [--json] [--offset N] [--left] [--frames N]\n"
         "               [--format FMT --size WxH] [INPUT]\n"
         "\n"
         "Stamps every frame's number into its bottom 14 rows with the Stampel plugin.\n"
         "INPUT and OUTPUT are paths or - for standard input and output (the default).\n"
         "YUV4MPEG2 input (4:2:0 or 4:2:2) is recognised by its signature; raw input\n"
         "needs --format and --size.\n"
         "\n"
         "  --offset N      add N to each frame's index to give the number shown\n"
         "  --left          put the digits at the bottom left instead of the bottom right\n"
         "  --frames N      the clip's frame count, which sets the number of digits;\n"
         "                  needed for a pipe, taken from a file's size otherwise\n"
         "  --format FMT    raw input: rgb24 (B,G,R), rgb32 (B,G,R,A), yuy2 (Y0,U,Y1,V),\n"
         "                  yv12 (Y, V, U planes) or i420 (Y, U, V planes), rows top-down\n"
         "  --size WxH      raw input: the picture's width and height\n"
         "  --plugin PATH   the plugin module to use (default: the one beside stampel)\n"
         "  --quiet         no progress line on a terminal\n"
         "  --check         read the numbers stamped with these arguments back and report\n"
         "                  dropped, repeated, reordered and unreadable frames; without\n"
         "                  --frames the digit count is found from the picture\n"
         "  --json          with --check: the report as one JSON document\n"
         "  --help          show this text\n"
         "  --version       show the version\n"
         "\n"
         "Exit status: 0 on success, 2 for a usage error, 1 for any other failure;\n"
         "with --check, 3 when the numbers are not exactly the stamped sequence.\n";
}

Options ParseOptions(int argc, char** argv) {
  Options options;
  std::vector<std::string> operands;
  bool optionsEnd = false;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (optionsEnd || arg == "-" || arg.size() < 2 || arg[0] != '-') {
      operands.emplace_back(arg);
      continue;
    }
    if (arg == "--") {
      optionsEnd = true;
      continue;
    }
    // --name VALUE or --name=VALUE for the options that take one.
    std::string_view name = arg;
    std::optional<std::string_view> inlineValue;
    if (const size_t eq = arg.find('='); eq != std::string_view::npos) {
      name = arg.substr(0, eq);
      inlineValue = arg.substr(eq + 1);
    }
    auto value = [&]() -> std::string_view {
      if (inlineValue) return *inlineValue;
      if (i + 1 >= argc) UsageFail(std::string(name) + " needs a value");
      return argv[++i];
    };
    auto flag = [&]() {
      if (inlineValue) UsageFail(std::string(name) + " takes no value");
    };

    if (name == "--offset") {
      const std::string_view text = value();
      long long v;
      if (!ParseInt(text, INT_MIN, INT_MAX, &v)) {
        UsageFail("--offset needs a whole number from " + std::to_string(INT_MIN) + " to " +
                  std::to_string(INT_MAX) + ", not '" + std::string(text) + "'");
      }
      options.offset = static_cast<int>(v);
    } else if (name == "--frames") {
      const std::string_view text = value();
      long long v;
      if (!ParseInt(text, 1, INT_MAX, &v)) {
        UsageFail("--frames needs a frame count from 1 to " + std::to_string(INT_MAX) + ", not '" +
                  std::string(text) + "'");
      }
      options.frames = static_cast<int>(v);
    } else if (name == "--format") {
      const std::string_view text = value();
      options.format = FormatNamed(text);
      if (!options.format) {
        UsageFail("unknown --format '" + std::string(text) +
                  "' (rgb24, rgb32, yuy2, yv12 or i420)");
      }
    } else if (name == "--size") {
      const std::string_view text = value();
      const size_t x = text.find('x');
      long long w;
      long long h;
      if (x == std::string_view::npos || text.substr(0, 1) == "-" || text.substr(x + 1, 1) == "-" ||
          !ParseInt(text.substr(0, x), 0, LLONG_MAX, &w) ||
          !ParseInt(text.substr(x + 1), 0, LLONG_MAX, &h)) {
        UsageFail("--size needs WIDTHxHEIGHT in pixels, such as 640x480, not '" +
                  std::string(text) + "'");
      }
      options.width = w;
      options.height = h;
      options.sized = true;
    } else if (name == "--plugin") {
      options.plugin = value();
      if (options.plugin.empty()) UsageFail("--plugin needs a path");
    } else if (name == "--left") {
      flag();
      options.left = true;
    } else if (name == "--check") {
      flag();
      options.check = true;
    } else if (name == "--json") {
      flag();
      options.json = true;
    } else if (name == "--quiet") {
      flag();
      options.quiet = true;
    } else if (name == "--help" || name == "-h") {
      flag();
      options.help = true;
    } else if (name == "--version") {
      flag();
      options.version = true;
    } else {
      UsageFail("unknown option '" + std::string(arg) + "' (see --help)");
    }
  }

  if (operands.size() > 2) UsageFail("too many operands: '" + operands[2] + "' (see --help)");
  if (!operands.empty()) options.input = operands[0];
  if (operands.size() > 1) options.output = operands[1];
  if (options.format && !options.sized) UsageFail("--format needs --size WxH");
  if (options.sized && !options.format) UsageFail("--size needs --format");
  if (options.json && !options.check) UsageFail("--json goes with --check");
  if (options.check && operands.size() > 1) {
    UsageFail("--check reads one INPUT and writes its report to standard output");
  }
  return options;
}

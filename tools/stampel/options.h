// The command line.
#pragma once

#include <optional>
#include <string>

#include "tools/stampel/picture.h"

struct Options {
  std::optional<int> offset;
  bool left = false;
  std::optional<int> frames;
  std::optional<FileLayout> format;
  bool sized = false;  // --size given
  long long width = 0;
  long long height = 0;
  std::string plugin;  // empty: the default one
  bool quiet = false;
  bool check = false;  // read stamps back instead of stamping
  bool json = false;   // with check: the report as one JSON document
  bool help = false;
  bool version = false;
  std::string input = "-";
  std::string output = "-";
};

// Raises a usage Failure for anything it cannot take.
Options ParseOptions(int argc, char** argv);

const char* UsageText();

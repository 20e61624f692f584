// stampel --check: reads the numbers a stamp with the given arguments would
// show back out of every frame and reports where they are not the stamped
// sequence.
#pragma once

#include <string>

#include "tools/stampel/frame_io.h"
#include "tools/stampel/options.h"

// Reads every frame of reader; writes the report to standard output and
// returns the exit status (0 for exactly the stamped sequence, 3 otherwise).
// Bad input raises Failure as in stamping.
int RunCheck(const Options& options, FrameReader& reader, const std::string& inputName);

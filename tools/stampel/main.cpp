// stampel: stamps each frame's number into raw or YUV4MPEG2 video, with the
// Stampel plugin loaded and driven as its host would.
#include <climits>
#include <cstdio>
#include <memory>
#include <new>

#include "tools/stampel/checker.h"
#include "tools/stampel/failure.h"
#include "tools/stampel/input_clip.h"
#include "tools/stampel/options.h"
#include "tools/stampel/progress.h"
#include "tools/stampel/raw.h"
#include "tools/stampel/stamper.h"
#include "tools/stampel/stream.h"
#include "tools/stampel/y4m.h"

namespace {

int Run(int argc, char** argv) {
  const Options options = ParseOptions(argc, argv);
  if (options.help) {
    std::fputs(UsageText(), stdout);
    return 0;
  }
  if (options.version) {
    std::printf("stampel %s\n", STAMPEL_VERSION);
    return 0;
  }

  // Everything about the input is settled before the plugin sees a clip or
  // the output is created, so that a refused run leaves no output behind.
  std::optional<Picture> raw;
  if (options.format) {
    try {
      raw = MakePicture(*options.format, options.width, options.height, kExitUsage);
    } catch (const Failure& failure) {
      UsageFail(std::string("--size: ") + failure.what());
    }
  }
  const auto in = InStream::Open(options.input);
  std::unique_ptr<FrameReader> reader;
  Y4mReader* y4m = nullptr;
  if (raw) {
    reader = std::make_unique<RawReader>(*in, *raw);
  } else {
    auto y4mReader = std::make_unique<Y4mReader>(*in);
    y4m = y4mReader.get();
    reader = std::move(y4mReader);
  }

  if (options.check) return RunCheck(options, *reader, in->Name());

  const int64_t frames = options.frames ? *options.frames : reader->CountFrames();
  if (frames < 0) {
    UsageFail(in->Name() + " is no file, so its frame count is unknown: pass --frames N");
  }
  if (frames > INT_MAX) Fail(in->Name() + " holds more frames than a clip can have");
  const int count = static_cast<int>(frames);
  // Past the largest 32-bit number the plugin's frame numbers wrap around to
  // negative ones and its digit count with them: every frame would show a
  // wrong, cut-off number.
  if (options.offset && int64_t{count} + *options.offset > INT_MAX) {
    UsageFail("--offset " + std::to_string(*options.offset) + " with " + std::to_string(count) +
              " frames takes the frame numbers past " + std::to_string(INT_MAX));
  }

  Stamper stamper(options.plugin.empty() ? DefaultPluginPath() : options.plugin);
  auto* input = new InputClip(*reader, stamper.Env().Frames(), count);
  const PClip source(input);
  const PClip stamped = stamper.Stamp(source, options.offset, options.left);

  const auto out = OutStream::Open(options.output, *in);
  std::unique_ptr<FrameWriter> writer;
  if (y4m) {
    writer = std::make_unique<Y4mWriter>(*out, *y4m);
  } else {
    writer = std::make_unique<RawWriter>(*out, *raw);
  }
  writer->Begin();

  Progress progress(count, !options.quiet);
  for (int n = 0; n < count; ++n) {
    if (!input->Fetch(n)) {
      Fail(in->Name() + " ends after " + std::to_string(n) + " of " + std::to_string(count) +
           " frames");
    }
    const PVideoFrame frame = stamped->GetFrame(n, &stamper.Env());
    if (!frame) Fail("the plugin gave no frame " + std::to_string(n));
    writer->Write(*frame.get());
    progress.Done(n + 1);
  }
  if (reader->MoreFollows()) {
    Fail(in->Name() + " holds more than " + std::to_string(count) +
         " frames; pass --frames with its frame count");
  }
  progress.Finish();
  out->Close();
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return Run(argc, argv);
  } catch (const Failure& failure) {
    std::fprintf(stderr, "stampel: %s\n", failure.what());
    return failure.ExitCode();
  } catch (const std::bad_alloc&) {
    std::fprintf(stderr, "stampel: out of memory\n");
    return kExitFailure;
  }
}

// What a frame costs in the project's own host, for every pixel type at three
// picture sizes, with the plugin module loaded and called as a frame server
// loads and calls it:
//   stamp         Stampel over an unshared frame: the stamping alone
//   stamp_shared  Stampel over a shared frame: the host's copy plus stamping
//   copy          the host's copy of a shared frame alone (MakeWritable)
//   passthrough   the source alone: a frame handed out and released
// Every case reports allocs_per_frame, heap allocations per frame (after one
// warm-up frame), and the picture's pixels and stored bytes.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "bench/alloc_count.h"
#include "bench/still_clip.h"
#include "host/local/environment.h"
#include "host/local/plugin_library.h"
#include "host/local/source_clip.h"

namespace {

struct PixelType {
  const char* name;
  uint32_t value;
};

constexpr PixelType kPixelTypes[] = {
    {"RGB24", CS_BGR24}, {"RGB32", CS_BGR32}, {"YUY2", CS_YUY2},
    {"YV12", CS_YV12},   {"I420", CS_I420},
};

struct PictureSize {
  int width;
  int height;
};

constexpr PictureSize kSizes[] = {{720, 480}, {1920, 1080}, {3840, 2160}};

// A long clip: six digits per frame.
constexpr int kFrames = 100000;

const PluginLibrary* plugin = nullptr;

void Report(benchmark::State& state, long long allocations, const VideoInfo& vi, int bytes) {
  state.counters["allocs_per_frame"] =
      benchmark::Counter(static_cast<double>(allocations), benchmark::Counter::kAvgIterations);
  state.counters["pixels"] = static_cast<double>(vi.width) * vi.height;
  state.counters["bytes"] = bytes;
}

// True when the digits are in the frame: some byte of the bottom 14 picture
// rows, stored first in RGB and last otherwise, differs from the still
// picture's fill.
bool Stamped(const VideoFrame& frame) {
  for (int y = 0; y < frame.GetHeight(); ++y) {
    if (y == 14) y = frame.GetHeight() - 14;
    const uint8_t* row = frame.GetReadPtr() + static_cast<ptrdiff_t>(y) * frame.GetPitch();
    for (int x = 0; x < frame.GetRowSize(); ++x) {
      if (row[x] != 0x80) return true;
    }
  }
  return false;
}

void Stamp(benchmark::State& state, uint32_t pixelType, PictureSize size, Sharing sharing) {
  try {
    LocalEnvironment env;
    plugin->Init(&env);
    const VideoInfo vi = MakeVideoInfo(size.width, size.height, pixelType, kFrames);
    auto* still = new StillClip(vi, env, sharing);
    const PClip source(still);

    const long long beforeCall = AllocationCount();
    const AVSValue args[3] = {source, AVSValue(), AVSValue()};
    const PClip filter = env.CallFunction("Stampel", AVSValue(args, 3)).AsClip();
    if (AllocationCount() == beforeCall) {
      state.SkipWithError("the allocation count does not see the module's allocations");
      return;
    }
    if (!Stamped(*filter->GetFrame(7, &env).get())) {
      state.SkipWithError("the filter drew no digits");
      return;
    }

    const int copiesBefore = env.CopiesMade();
    const long long before = AllocationCount();
    int n = 0;
    for (auto _ : state) {
      PVideoFrame frame = filter->GetFrame(n, &env);
      benchmark::DoNotOptimize(frame.get());
      if (++n == kFrames) n = 0;
    }
    const long long allocations = AllocationCount() - before;

    const long long copies = env.CopiesMade() - copiesBefore;
    const long long expected = sharing == Sharing::kShared ? state.iterations() : 0;
    if (copies != expected) {
      state.SkipWithError("the host made an unexpected number of copies");
      return;
    }
    Report(state, allocations, vi, still->StorageBytes());
  } catch (const HostError& e) {
    state.SkipWithError(e.what());
  }
}

void Copy(benchmark::State& state, uint32_t pixelType, PictureSize size) {
  LocalEnvironment env;
  const VideoInfo vi = MakeVideoInfo(size.width, size.height, pixelType, kFrames);
  auto* still = new StillClip(vi, env, Sharing::kShared);
  const PClip source(still);
  const PVideoFrame shared = source->GetFrame(0, &env);
  {
    PVideoFrame warmUp = shared;
    env.MakeWritable(&warmUp);
  }

  const long long before = AllocationCount();
  for (auto _ : state) {
    PVideoFrame frame = shared;
    env.MakeWritable(&frame);
    benchmark::DoNotOptimize(frame.get());
  }
  Report(state, AllocationCount() - before, vi, still->StorageBytes());
}

void PassThrough(benchmark::State& state, uint32_t pixelType, PictureSize size) {
  LocalEnvironment env;
  const VideoInfo vi = MakeVideoInfo(size.width, size.height, pixelType, kFrames);
  auto* still = new StillClip(vi, env, Sharing::kUnshared);
  const PClip source(still);
  source->GetFrame(0, &env);

  const long long before = AllocationCount();
  int n = 0;
  for (auto _ : state) {
    PVideoFrame frame = source->GetFrame(n, &env);
    benchmark::DoNotOptimize(frame.get());
    if (++n == kFrames) n = 0;
  }
  Report(state, AllocationCount() - before, vi, still->StorageBytes());
}

void RegisterAll() {
  for (const PixelType& type : kPixelTypes) {
    for (const PictureSize& size : kSizes) {
      const std::string suffix = std::string("/") + type.name + "/" + std::to_string(size.width) +
                                 "x" + std::to_string(size.height);
      const uint32_t t = type.value;
      benchmark::RegisterBenchmark(("stamp" + suffix).c_str(), [t, size](benchmark::State& s) {
        Stamp(s, t, size, Sharing::kUnshared);
      });
      benchmark::RegisterBenchmark(
          ("stamp_shared" + suffix).c_str(),
          [t, size](benchmark::State& s) { Stamp(s, t, size, Sharing::kShared); });
      benchmark::RegisterBenchmark(("copy" + suffix).c_str(),
                                   [t, size](benchmark::State& s) { Copy(s, t, size); });
      benchmark::RegisterBenchmark(("passthrough" + suffix).c_str(),
                                   [t, size](benchmark::State& s) { PassThrough(s, t, size); });
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  std::string error;
  const std::unique_ptr<PluginLibrary> library = PluginLibrary::Open(STAMPEL_PLUGIN_PATH, &error);
  if (!library) {
    std::fprintf(stderr, "stampel_bench: %s\n", error.c_str());
    return 1;
  }
  plugin = library.get();

  RegisterAll();
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}

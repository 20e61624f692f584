// What a frame costs in the project's own host, for every pixel type at three
// picture sizes, with the plugin module loaded and called as a frame server
// loads and calls it:
//   stamp         Stampel over an unshared frame: the stamping alone
//   stamp_shared  Stampel over a shared frame: the host's copy plus stamping
//   copy          the host's copy of a shared frame alone (MakeWritable)
//   passthrough   the source alone: a frame handed out and released
//   read          reading a stamped frame's number back, as stampel --check does
// Every case reports allocs_per_frame, heap allocations per frame (after one
// warm-up frame), and the picture's pixels and stored bytes.
//
// Two paired cases time the comparisons the limits are stated in, by running
// both sides alternately in one loop, so that both meet the same load on a
// shared machine:
//   pair_growth   stamping an unshared 3840x2160 frame against a 720x480 one
//   pair_shared   stamp_shared against copy, at one size
// They report the median time per frame of each side and the ratio.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "bench/alloc_count.h"
#include "bench/still_clip.h"
#include "host/local/environment.h"
#include "host/local/plugin_library.h"
#include "host/local/source_clip.h"
#include "tools/check/stamp_reader.h"

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

// True when the digits are in the frame: some byte of the first or last 14
// stored rows (the picture's bottom rows, stored first in RGB and last
// otherwise) differs from the still picture's fill.
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

// Stampel(source) in env, checked: the allocation count must see the
// module's allocations and the filter must draw. Null, with the benchmark
// marked as failed, otherwise.
PClip MakeStampel(benchmark::State& state, LocalEnvironment& env, const PClip& source) {
  const long long beforeCall = AllocationCount();
  const AVSValue args[3] = {source, AVSValue(), AVSValue()};
  PClip filter = env.CallFunction("Stampel", AVSValue(args, 3)).AsClip();
  if (AllocationCount() == beforeCall) {
    state.SkipWithError("the allocation count does not see the module's allocations");
    return PClip();
  }
  if (!Stamped(*filter->GetFrame(7, &env).get())) {
    state.SkipWithError("the filter drew no digits");
    return PClip();
  }
  return filter;
}

void Stamp(benchmark::State& state, uint32_t pixelType, PictureSize size, Sharing sharing) {
  try {
    LocalEnvironment env;
    plugin->Init(&env);
    const VideoInfo vi = MakeVideoInfo(size.width, size.height, pixelType, kFrames);
    auto* still = new StillClip(vi, env, sharing);
    const PClip source(still);
    const PClip filter = MakeStampel(state, env, source);
    if (!filter) return;

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

double Median(std::vector<double>& values) {
  if (values.empty()) return 0;
  const auto middle = values.begin() + static_cast<ptrdiff_t>(values.size() / 2);
  std::nth_element(values.begin(), middle, values.end());
  return *middle;
}

// Each iteration times a batch of frames of each side, in alternating order;
// reports the median time per frame of each side (first_ns, second_ns) and
// ratio = second / first. Single batches that the scheduler interrupts fall
// outside the median.
template <class First, class Second>
void Paired(benchmark::State& state, int batch, First first, Second second) {
  using Clock = std::chrono::steady_clock;
  std::vector<double> firstTimes, secondTimes;
  firstTimes.reserve(static_cast<size_t>(state.max_iterations));
  secondTimes.reserve(static_cast<size_t>(state.max_iterations));
  auto timeBatch = [batch](auto& action) {
    const auto start = Clock::now();
    for (int i = 0; i < batch; ++i) action();
    return std::chrono::duration<double, std::nano>(Clock::now() - start).count() / batch;
  };
  bool firstLeads = true;
  for (auto _ : state) {
    if (firstLeads) {
      firstTimes.push_back(timeBatch(first));
      secondTimes.push_back(timeBatch(second));
    } else {
      secondTimes.push_back(timeBatch(second));
      firstTimes.push_back(timeBatch(first));
    }
    firstLeads = !firstLeads;
  }
  const double a = Median(firstTimes);
  const double b = Median(secondTimes);
  state.counters["first_ns"] = a;
  state.counters["second_ns"] = b;
  state.counters["ratio"] = a > 0 ? b / a : 0;
}

// A frame fetched through a clip and released, numbered on from n.
auto Fetch(const PClip& clip, LocalEnvironment& env) {
  return [&clip, &env, n = 0]() mutable {
    PVideoFrame frame = clip->GetFrame(n, &env);
    benchmark::DoNotOptimize(frame.get());
    if (++n == kFrames) n = 0;
  };
}

void PairGrowth(benchmark::State& state, uint32_t pixelType) {
  try {
    LocalEnvironment env;
    plugin->Init(&env);
    const PictureSize small = kSizes[0];
    const PictureSize large = kSizes[std::size(kSizes) - 1];
    const PClip smallSource(new StillClip(
        MakeVideoInfo(small.width, small.height, pixelType, kFrames), env, Sharing::kUnshared));
    const PClip largeSource(new StillClip(
        MakeVideoInfo(large.width, large.height, pixelType, kFrames), env, Sharing::kUnshared));
    const PClip smallFilter = MakeStampel(state, env, smallSource);
    const PClip largeFilter = MakeStampel(state, env, largeSource);
    if (!smallFilter || !largeFilter) return;
    // Batches long enough that the clock's own cost is small beside them.
    Paired(state, 64, Fetch(smallFilter, env), Fetch(largeFilter, env));
  } catch (const HostError& e) {
    state.SkipWithError(e.what());
  }
}

void PairShared(benchmark::State& state, uint32_t pixelType, PictureSize size) {
  try {
    LocalEnvironment env;
    plugin->Init(&env);
    const VideoInfo vi = MakeVideoInfo(size.width, size.height, pixelType, kFrames);
    const PClip source(new StillClip(vi, env, Sharing::kShared));
    const PClip filter = MakeStampel(state, env, source);
    if (!filter) return;
    const PVideoFrame shared = source->GetFrame(0, &env);
    auto copy = [&shared, &env] {
      PVideoFrame frame = shared;
      env.MakeWritable(&frame);
      benchmark::DoNotOptimize(frame.get());
    };
    Paired(state, 1, copy, Fetch(filter, env));
  } catch (const HostError& e) {
    state.SkipWithError(e.what());
  }
}

// Reads the six digits of one stamped frame, again and again.
void Read(benchmark::State& state, uint32_t pixelType, PictureSize size) {
  try {
    LocalEnvironment env;
    plugin->Init(&env);
    const VideoInfo vi = MakeVideoInfo(size.width, size.height, pixelType, kFrames);
    auto* still = new StillClip(vi, env, Sharing::kUnshared);
    const PClip source(still);
    const PClip filter = MakeStampel(state, env, source);
    if (!filter) return;
    const PVideoFrame frame = filter->GetFrame(12345, &env);
    const StampReader reader(vi, false);

    const long long before = AllocationCount();
    StampReading reading;
    for (auto _ : state) {
      reading = reader.Read(*frame.get(), 6);
      benchmark::DoNotOptimize(reading.number);
    }
    const long long allocations = AllocationCount() - before;
    if (!reading.readable || reading.number != 12345) {
      state.SkipWithError("the stamp did not read back");
      return;
    }
    Report(state, allocations, vi, still->StorageBytes());
  } catch (const HostError& e) {
    state.SkipWithError(e.what());
  }
}

std::string SizeName(PictureSize size) {
  return std::to_string(size.width) + "x" + std::to_string(size.height);
}

void RegisterAll() {
  for (const PixelType& type : kPixelTypes) {
    const uint32_t t = type.value;
    for (const PictureSize& size : kSizes) {
      const std::string suffix = std::string("/") + type.name + "/" + SizeName(size);
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
      benchmark::RegisterBenchmark(("read" + suffix).c_str(),
                                   [t, size](benchmark::State& s) { Read(s, t, size); });
      benchmark::RegisterBenchmark(("pair_shared" + suffix).c_str(),
                                   [t, size](benchmark::State& s) { PairShared(s, t, size); });
    }
    benchmark::RegisterBenchmark((std::string("pair_growth/") + type.name + "/" +
                                  SizeName(kSizes[2]) + "_vs_" + SizeName(kSizes[0]))
                                     .c_str(),
                                 [t](benchmark::State& s) { PairGrowth(s, t); });
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

// Stamps one frame of a generated clip through the plugin's export, as a host
// does, and shows the digits it drew.
#include <cstdio>
#include <string>

#include "host/local/environment.h"
#include "host/local/plugin_library.h"
#include "host/local/source_clip.h"

int main(int argc, char** argv) {
  const std::string path = argc > 1 ? argv[1] : STAMPEL_DEFAULT_PLUGIN;
  std::string error;
  auto plugin = PluginLibrary::Open(path, &error);
  if (!plugin) {
    std::fprintf(stderr, "stamp_demo: %s\n", error.c_str());
    return 1;
  }
  LocalEnvironment env;
  std::printf("%s\n", plugin->Init(&env));
  try {
    const VideoInfo vi = MakeVideoInfo(320, 240, CS_YV12, 100);
    AVSValue args[3] = {new SourceClip(vi, env, Sharing::kShared), AVSValue(), AVSValue()};
    const AVSValue clip = env.CallFunction("Stampel", AVSValue(args, 3));
    const int n = 42;
    const PVideoFrame frame = clip.AsClip()->GetFrame(n, &env);
    std::printf("frame %d of a %dx%d YV12 clip of %d frames, luma of its bottom-right corner:\n", n,
                vi.width, vi.height, vi.num_frames);
    for (int y = vi.height - 14; y < vi.height; ++y) {
      const uint8_t* row = frame->GetReadPtr() + y * frame->GetPitch();
      std::string line;
      for (int x = vi.width - 34; x < vi.width; ++x) line += row[x] == 255 ? '#' : '.';
      std::printf("  %s\n", line.c_str());
    }
  } catch (const HostError& e) {
    std::fprintf(stderr, "stamp_demo: %s\n", e.what());
    return 1;
  }
  return 0;
}

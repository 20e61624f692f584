// The plugin as a host meets it: loaded from its module, registered through
// its export, and driven through the registered script function.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>

#include "tests/support/plugin_host.h"

namespace {

class PluginExport : public ::testing::Test {
 protected:
  PClip Source(int width, int height, uint32_t type = CS_YV12, int frames = 100) {
    return new SourceClip(MakeVideoInfo(width, height, type, frames), host.env, Sharing::kShared);
  }

  PluginHost host;
};

TEST_F(PluginExport, RegistersOneFunctionAndDescribesItself) {
  EXPECT_EQ(host.description, "`Stampel' Stampel plugin");
  ASSERT_EQ(host.env.Functions().size(), 1u);
  const auto& function = host.env.Functions()[0];
  EXPECT_EQ(function.name, "Stampel");
  EXPECT_EQ(function.params, "c[offset]i[left]i");
  EXPECT_EQ(function.user_data, nullptr);
}

// The argument array as the host packs it: omitted optional arguments are
// void values, or missing from a shorter array.
TEST_F(PluginExport, AcceptsOmittedAndGivenArguments) {
  const PClip source = Source(320, 240);
  {
    const AVSValue arrays[][3] = {
        {source, AVSValue(), AVSValue()},
        {source, AVSValue(100), AVSValue()},
        {source, AVSValue(), AVSValue(1)},
        {source, AVSValue(-3), AVSValue(5)},
    };
    for (const auto& args : arrays) {
      const AVSValue clip = host.env.CallFunction("Stampel", AVSValue(args, 3));
      ASSERT_TRUE(clip.IsClip());
      EXPECT_NE(clip.AsClip().get(), source.get());
    }
    const AVSValue onlyClip[1] = {source};
    EXPECT_TRUE(host.env.CallFunction("Stampel", AVSValue(onlyClip, 1)).IsClip());
  }
  EXPECT_EQ(source->RefCount(), 1);
}

TEST_F(PluginExport, PassesVideoInfoParityAudioAndCacheHintsThrough) {
  VideoInfo vi = MakeVideoInfo(64, 32, CS_YUY2, 77);
  vi.fps_numerator = 30000;
  vi.fps_denominator = 1001;
  vi.audio_samples_per_second = 48000;
  vi.sample_type = 2;
  vi.num_audio_samples = int64_t{1} << 40;
  vi.nchannels = 2;
  vi.image_type = 3;
  auto* source = new SourceClip(vi, host.env, Sharing::kShared);
  const PClip sourceClip = source;
  const PClip clip = host.Stampel(sourceClip);

  EXPECT_EQ(clip->GetVersion(), 2);
  EXPECT_EQ(std::memcmp(&clip->GetVideoInfo(), &vi, sizeof vi), 0);
  EXPECT_FALSE(clip->GetParity(4));
  EXPECT_TRUE(clip->GetParity(5));

  uint8_t audio[8] = {};
  clip->GetAudio(audio, (int64_t{1} << 33) + 3, 4, &host.env);
  EXPECT_EQ(source->LastAudioStart(), (int64_t{1} << 33) + 3);
  EXPECT_EQ(source->LastAudioCount(), 4);
  EXPECT_EQ(audio[0], 3);
  EXPECT_EQ(audio[7], 10);

  clip->SetCacheHints(1, 10);
  EXPECT_EQ(source->CacheHintCalls(), 0);
}

TEST_F(PluginExport, ReleasingTheFilterReleasesItsSourceOnce) {
  const PClip source = Source(320, 240);
  {
    PClip clip = host.Stampel(source);
    EXPECT_EQ(clip->RefCount(), 1);
    EXPECT_EQ(source->RefCount(), 2);
    const PVideoFrame frame = clip->GetFrame(3, &host.env);
  }
  EXPECT_EQ(source->RefCount(), 1);
}

struct Refusal {
  const char* what;
  int width;
  int height;
  int frames;
  int offset;
  bool refused;
};

class PluginRefusal : public PluginExport, public ::testing::WithParamInterface<Refusal> {};

// The narrowest accepted width is ten pixels a digit plus two.
TEST_P(PluginRefusal, RefusesClipsTooSmallAndLeavesNothingBehind) {
  const Refusal& c = GetParam();
  for (const uint32_t type : {CS_BGR24, CS_BGR32, CS_YUY2, CS_YV12, CS_I420, 0u}) {
    const PClip source = Source(c.width, c.height, type, c.frames);
    if (c.refused) {
      try {
        host.Stampel(source, AVSValue(c.offset));
        ADD_FAILURE() << "accepted";
      } catch (const HostError& e) {
        EXPECT_STREQ(e.what(), "Stampel: video too small");
      }
    } else {
      EXPECT_TRUE(host.Stampel(source, AVSValue(c.offset)));
    }
    EXPECT_EQ(source->RefCount(), 1);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, PluginRefusal,
    ::testing::Values(Refusal{"exactly wide enough", 32, 14, 100, 0, false},
                      Refusal{"one pixel too narrow", 31, 14, 100, 0, true},
                      Refusal{"13 rows", 320, 13, 100, 0, true},
                      Refusal{"no video", 0, 0, 100, 0, true},
                      Refusal{"one digit", 12, 14, 9, 0, false},
                      Refusal{"two digits one too narrow", 21, 14, 10, 0, true},
                      Refusal{"ten digits", 102, 14, 1000, INT_MAX - 1000, false},
                      Refusal{"ten digits one too narrow", 101, 14, 1000, INT_MAX - 1000, true},
                      Refusal{"wrapped sum needs one digit", 12, 14, 100, INT_MAX, false}),
    [](const auto& info) {
      std::string name = info.param.what;
      for (char& ch : name) ch = std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
      return name;
    });

TEST_F(PluginExport, CallWithoutAClipIsAScriptError) {
  const AVSValue args[3] = {AVSValue(), AVSValue(), AVSValue()};
  EXPECT_THROW(host.env.CallFunction("Stampel", AVSValue(args, 3)), HostError);
}

}  // namespace

// Loads Stampel.dll the way a host built with the MSVC C++ ABI does and drives
// it through the host's own declaration of the interface. Prints one line per
// check and ends with "N passed, M failed"; exits non-zero on any failure.
#include "tests/windows/expected_stamp.h"
#include "tests/windows/test_host.h"

namespace {

int passed = 0;
int failed = 0;

void Check(bool ok, const char* fmt, ...) {
  char line[300];
  va_list args;
  va_start(args, fmt);
  const int n = _vsnprintf(line, sizeof line - 1, fmt, args);
  va_end(args);
  line[n < 0 ? sizeof line - 1 : n] = 0;
  printf("%s %s\n", ok ? "ok  " : "FAIL", line);
  fflush(nullptr);  // so that a crash still shows how far the run got
  ++(ok ? passed : failed);
}

// Reasons a compound check failed, joined for its line.
struct Faults {
  char text[200] = {};
  bool Add(bool ok, const char* what) {
    if (!ok && strlen(text) + strlen(what) + 3 < sizeof text) {
      if (text[0]) memcpy(text + strlen(text), "; ", 3);
      memcpy(text + strlen(text), what, strlen(what) + 1);
    }
    return ok;
  }
  bool None() const { return text[0] == 0; }
};

unsigned StackPointer() {
  unsigned sp;
  __asm__ volatile("movl %%esp, %0" : "=r"(sp));
  return sp;
}
// True when a call through the interface left the stack as it found it: a
// callee that pops the wrong number of bytes shifts it.
#define BALANCED(call)                   \
  [&] {                                  \
    const unsigned sp_ = StackPointer(); \
    call;                                \
    return StackPointer() == sp_;        \
  }()

using InitFunc = const char*(__stdcall*)(IScriptEnvironment*);

const char* PixelName(int pixel_type) {
  switch (pixel_type) {
    case kCsBgr24:
      return "RGB24";
    case kCsBgr32:
      return "RGB32";
    case kCsYuy2:
      return "YUY2";
    case kCsYv12:
      return "YV12";
    default:
      return "I420";
  }
}

VideoInfo Video(int pixel_type, int width, int height, int num_frames) {
  VideoInfo vi{};
  vi.width = width;
  vi.height = height;
  vi.fps_numerator = 30000;
  vi.fps_denominator = 1001;
  vi.num_frames = num_frames;
  vi.pixel_type = pixel_type;
  vi.audio_samples_per_second = 48000;
  vi.sample_type = 2;
  vi.num_audio_samples = 0x123456789LL;
  vi.nchannels = 2;
  return vi;
}

// Script arguments; an absent one arrives as a void value.
struct Args {
  bool has_offset;
  int offset;
  bool has_left;
  int left;
};

// Stampel(clip, ...) as the host's script engine calls it: the argument array
// passed by value, the result returned by value.
AVSValue CallStampel(TestEnvironment& env, IClip* clip, const Args& a) {
  const AVSValue elements[3] = {AVSValue(clip), a.has_offset ? AVSValue(a.offset) : AVSValue(),
                                a.has_left ? AVSValue(a.left) : AVSValue()};
  return env.log.apply(AVSValue(elements, 3), env.log.user_data, &env);
}

void CheckRegistration(TestEnvironment& env, InitFunc init) {
  const char* description = nullptr;
  const bool balanced = BALANCED(description = init(&env));
  Check(balanced, "AvisynthPluginInit2 is __stdcall with one argument");
  Check(description && !strcmp(description, "`Stampel' Stampel plugin"), "description string: %s",
        description ? description : "(null)");
  const HostLog& log = env.log;
  Check(log.add_function_calls == 1, "AddFunction called once (%d)", log.add_function_calls);
  Check(log.function_name && !strcmp(log.function_name, "Stampel") && log.function_params &&
            !strcmp(log.function_params, "c[offset]i[left]i") && log.apply &&
            log.user_data == nullptr,
        "registers Stampel, \"c[offset]i[left]i\", null user data");
}

// Everything but the pixels: forwarded to the source or answered from the
// filter's copy of its VideoInfo; and the clip's lifetime.
void CheckPassThrough(TestEnvironment& env) {
  const VideoInfo vi = Video(kCsYuy2, 40, 20, 10);
  TestSource::Calls calls;
  auto* src = new TestSource(&env, vi, 4, false, &calls);
  PClip source(src);
  const int heap = plugin_heap::LiveBlocks();
  {
    AVSValue result = CallStampel(env, src, {false, 0, false, 0});
    Check(result.IsClip(), "Stampel(clip) without optional arguments returns a clip");
    if (!result.IsClip()) return;
    Check(src->refcnt == 2, "the filter holds one reference on its source (count %d)", src->refcnt);
    IClip* filter = result.clip;

    int version = 0;
    const bool versionBalanced = BALANCED(version = filter->GetVersion());
    Check(versionBalanced && version == 2, "GetVersion reports %d", version);
    const VideoInfo* fvi = nullptr;
    const bool infoBalanced = BALANCED(fvi = &filter->GetVideoInfo());
    Check(infoBalanced && !memcmp(fvi, &vi, sizeof vi), "GetVideoInfo equals the source's");
    // The source answers true for n = 1, 4, 7, ...: both answers, each asked
    // for the right frame.
    bool parity[2] = {true, false};
    int asked[2] = {-1, -1};
    bool parityBalanced = true;
    for (int i = 0; i < 2; ++i) {
      parityBalanced &= BALANCED(parity[i] = filter->GetParity(3 + i));
      asked[i] = calls.parity_n;
    }
    Check(parityBalanced && !parity[0] && parity[1] && asked[0] == 3 && asked[1] == 4,
          "GetParity is forwarded to the source (frame 3: %d, frame 4: %d)", parity[0], parity[1]);
    char buffer[8];
    const bool audioBalanced =
        BALANCED(filter->GetAudio(buffer, 0x100000002LL, 0x300000004LL, &env));
    Check(audioBalanced && calls.audio_buf == buffer && calls.audio_start == 0x100000002LL &&
              calls.audio_count == 0x300000004LL && calls.audio_env == &env,
          "GetAudio is forwarded with its 64-bit start and count");
    const bool hintsBalanced = BALANCED(filter->SetCacheHints(1, 100));
    Check(hintsBalanced && calls.cache_hints == 0, "SetCacheHints does nothing");
  }
  Check(src->refcnt == 1 && calls.destroyed == 0,
        "the host destroying the filter releases the source once (count %d)", src->refcnt);
  Check(plugin_heap::LiveBlocks() == heap, "the filter's memory is freed by its destructor");
  source = PClip();
  Check(calls.destroyed == 1, "the source is destroyed once, by the host's last release");
}

struct FrameCase {
  int pixel_type;
  int width;
  int height;
  int num_frames;
  int padding;
  bool shared;
  Args args;
  int n;
};

void CheckFrame(TestEnvironment& env, const FrameCase& c) {
  const VideoInfo vi = Video(c.pixel_type, c.width, c.height, c.num_frames);
  const bool left = c.args.has_left && c.args.left != 0;
  char text[16];
  ExpectedText(c.n, c.num_frames, c.args.has_offset ? c.args.offset : 0, text);
  Faults faults;

  TestSource::Calls calls;
  auto* src = new TestSource(&env, vi, c.padding, c.shared, &calls);
  PClip source(src);
  const int heap = plugin_heap::LiveBlocks();
  {
    AVSValue result = CallStampel(env, src, c.args);
    if (faults.Add(result.IsClip(), "no clip returned")) {
      env.log.make_writable_calls = env.log.frames_copied = 0;
      env.log.copy = nullptr;
      env.log.copy_snapshot = nullptr;
      PVideoFrame out;
      faults.Add(BALANCED(out = result.clip->GetFrame(c.n, &env)), "stack moved by GetFrame");
      faults.Add(env.log.make_writable_calls == 1, "MakeWritable not called once");
      VideoFrame* frame = out.get();
      if (faults.Add(frame != nullptr, "no frame")) {
        faults.Add(frame->refcount == 1, "returned frame not held once");
        faults.Add(frame->vfb->sequence_number != 0, "write pointer not taken");
        const uint8_t* before;
        if (c.shared) {
          faults.Add(env.log.frames_copied == 1 && frame == env.log.copy,
                     "shared frame not copied");
          faults.Add(!memcmp(src->last->vfb->data, src->last_original, src->last->vfb->data_size),
                     "source's frame changed");
          before = env.log.copy_snapshot;
        } else {
          faults.Add(env.log.frames_copied == 0 && frame == src->last, "not written in place");
          before = src->last_original;
        }
        if (before) {
          const int size = frame->vfb->data_size;
          auto* expected = static_cast<uint8_t*>(malloc(size));
          memcpy(expected, before, size);
          DrawExpected(expected, *frame, vi, text, left);
          int first = -1;
          for (int i = 0; i < size && first < 0; ++i) {
            if (expected[i] != frame->vfb->data[i]) first = i;
          }
          if (first >= 0) {
            char what[80];
            const int row = (first - frame->offset) / frame->pitch;
            const int col = (first - frame->offset) % frame->pitch;
            printf("     first difference at byte %d (stored row %d, byte %d): %d, expected %d\n",
                   first, row, col, frame->vfb->data[first], expected[first]);
            memcpy(what, "bytes differ from the expectation", 34);
            faults.Add(false, what);
          }
          free(expected);
        }
      }
    }
  }
  source = PClip();
  faults.Add(calls.destroyed == 1, "source not destroyed once");
  faults.Add(env.LiveFrames() == 0, "a frame is still referenced");
  faults.Add(plugin_heap::LiveBlocks() == heap, "plugin memory not freed");
  Check(faults.None(), "%s %dx%d pitch+%d %s, %s%s, offset %d: frame %d shows %s%s%s",
        PixelName(c.pixel_type), c.width, c.height, c.padding, c.shared ? "shared" : "unshared",
        left ? "left" : "right", c.args.has_left ? "" : " (left omitted)",
        c.args.has_offset ? c.args.offset : 0, c.n, text, faults.None() ? "" : ": ", faults.text);
}

void CheckFrames(TestEnvironment& env) {
  struct Picture {
    int pixel_type, width, height;
  };
  // Odd widths where the layout allows them, the lowest height allowed, and
  // rows padded past their picture bytes.
  const Picture pictures[] = {{kCsBgr24, 43, 20},
                              {kCsBgr32, 37, 14},
                              {kCsYuy2, 46, 17},
                              {kCsYv12, 34, 16},
                              {kCsI420, 52, 22}};
  int n = 40;
  for (const Picture& p : pictures) {
    for (int left = 0; left < 2; ++left) {
      for (int shared = 0; shared < 2; ++shared) {
        const Args args{shared != 0, left ? 100 : 0, left != 0 || shared != 0, left ? 1 : 0};
        CheckFrame(env,
                   {p.pixel_type, p.width, p.height, 100, 4 + 6 * shared, shared != 0, args, n++});
      }
    }
  }
  // Any non-zero left aligns left; numbers past the clip's digits lose their
  // tail; negative numbers lead with a minus sign.
  CheckFrame(env, {kCsYuy2, 30, 14, 5, 2, false, {false, 0, true, -7}, 3});
  CheckFrame(env, {kCsBgr24, 24, 15, 10, 0, true, {false, 0, false, 0}, 123});
  CheckFrame(env, {kCsYv12, 34, 16, 100, 6, false, {true, -3, false, 0}, 1});
  CheckFrame(env, {kCsBgr32, 40, 16, 100, 0, true, {true, -300, true, 1}, 2});
}

// A refusal or failure of the factory arrives as the host's own exception,
// with every reference the plugin took released and nothing allocated.
void CheckRefusal(TestEnvironment& env, const VideoInfo& vi, size_t fail_from, const char* expected,
                  const char* what) {
  TestSource::Calls calls;
  auto* src = new TestSource(&env, vi, 0, false, &calls);
  PClip source(src);
  const int heap = plugin_heap::LiveBlocks();
  const char* message = nullptr;
  bool returned = false;
  plugin_heap::FailAllocationsFrom(fail_from);
  try {
    AVSValue result = CallStampel(env, src, {false, 0, false, 0});
    returned = result.IsClip();
  } catch (const ScriptError& error) {
    message = error.message;
  }
  plugin_heap::FailAllocationsFrom(0);
  Check(!returned && message && !strcmp(message, expected) && src->refcnt == 1 &&
            plugin_heap::LiveBlocks() == heap,
        "%s: script error \"%s\", source count %d, plugin blocks %+d", what,
        message ? message : "(none)", src->refcnt, plugin_heap::LiveBlocks() - heap);
}

void CheckRefusals(TestEnvironment& env) {
  CheckRefusal(env, Video(kCsYv12, 21, 20, 10), 0, "Stampel: video too small",
               "21 pixels for 2 digits");
  CheckRefusal(env, Video(kCsBgr24, 40, 13, 10), 0, "Stampel: video too small", "13 rows");
  CheckRefusal(env, Video(kCsYuy2, 0, 0, 0), 0, "Stampel: video too small", "no video");
  // An exhausted heap, before the module has raised anything of its own; then
  // only the filter's allocation (over a kilobyte, with its own copy of the
  // font) failing.
  CheckRefusal(env, Video(kCsBgr32, 40, 20, 10), 1, "Stampel: out of memory",
               "every allocation failing");
  CheckRefusal(env, Video(kCsBgr32, 40, 20, 10), 1024, "Stampel: out of memory",
               "the filter's allocation failing");

  // The narrowest picture that holds the digits is accepted.
  TestSource::Calls calls;
  auto* src = new TestSource(&env, Video(kCsYv12, 22, 14, 10), 0, false, &calls);
  PClip source(src);
  bool accepted = false;
  try {
    accepted = CallStampel(env, src, {false, 0, false, 0}).IsClip();
  } catch (const ScriptError&) {
  }
  Check(accepted && src->refcnt == 1, "22 pixels for 2 digits is accepted");
}

int Run(const char* path) {
  void* module = LoadLibraryA(path);
  Check(module != nullptr, "LoadLibrary %s", path);
  if (!module) return 1;
  auto init = reinterpret_cast<InitFunc>(GetProcAddress(module, "_AvisynthPluginInit2@4"));
  Check(init != nullptr, "export _AvisynthPluginInit2@4 found");
  if (!init) return 1;
  Check(plugin_heap::Watch(module), "the plugin's allocator imports are watched");

  auto* env = new TestEnvironment;
  CheckRegistration(*env, init);
  if (!env->log.apply) return 1;
  CheckPassThrough(*env);
  CheckFrames(*env);
  CheckRefusals(*env);
  Check(env->log.unexpected_calls == 0, "no other slot of the environment was called");
  delete env;
  return 0;
}

}  // namespace

extern "C" int HostMain() {
  int argc = 0;
  char** argv = nullptr;
  char** envp = nullptr;
  int startup = 0;
  __getmainargs(&argc, &argv, &envp, 0, &startup);
  if (argc != 2) {
    printf("usage: stampel_msvc_host PATH-TO-Stampel.dll\n");
    fflush(nullptr);
    ExitProcess(2);
  }
  try {
    Run(argv[1]);
  } catch (const ScriptError& error) {
    Check(false, "unexpected script error: %s", error.message);
  } catch (...) {
    Check(false, "unexpected exception");
  }
  printf("%d passed, %d failed\n", passed, failed);
  fflush(nullptr);
  ExitProcess(failed ? 1 : 0);
}

#include "tests/windows/test_host.h"

int RowBytes(int pixel_type, int width) {
  switch (pixel_type) {
    case kCsBgr24:
      return width * 3;
    case kCsBgr32:
      return width * 4;
    case kCsYuy2:
      return width * 2;
    default:
      return width;
  }
}

bool IsPlanar(int pixel_type) {
  return pixel_type == kCsYv12 || pixel_type == kCsI420;
}

namespace {

constexpr int kLeadBytes = 16;
constexpr int kTailBytes = 16;

void Fill(uint8_t* p, int size, unsigned seed) {
  unsigned x = seed * 2654435761u + 12345u;
  for (int i = 0; i < size; ++i) {
    x = x * 1103515245u + 12345u;
    p[i] = static_cast<uint8_t>(x >> 16);
  }
}

}  // namespace

void TestEnvironment::Keep(void* block) {
  owned_ = new Node{block, owned_};
}

TestEnvironment::~TestEnvironment() {
  while (owned_) {
    Node* next = owned_->next;
    free(owned_->block);
    delete owned_;
    owned_ = next;
  }
  while (frames_) {
    FrameNode* next = frames_->next;
    free(frames_->frame->vfb->data);
    delete frames_->frame->vfb;
    delete frames_->frame;
    delete frames_;
    frames_ = next;
  }
}

VideoFrame* TestEnvironment::NewFrame(const FrameShape& shape, unsigned seed) {
  const int rowBytes = RowBytes(shape.pixel_type, shape.width);
  const int pitch = rowBytes + shape.padding;
  const bool planar = IsPlanar(shape.pixel_type);
  const int pitchUV = planar ? shape.width / 2 + shape.padding / 2 : 0;
  const int chromaBytes = planar ? pitchUV * (shape.height / 2) : 0;
  const int size = kLeadBytes + pitch * shape.height + 2 * chromaBytes + kTailBytes;

  auto* vfb = new VideoFrameBuffer{static_cast<uint8_t*>(malloc(size)), size, 0, 0};
  Fill(vfb->data, size, seed);
  auto* frame = new VideoFrame{};
  frame->vfb = vfb;
  frame->offset = kLeadBytes;
  frame->pitch = pitch;
  frame->row_size = rowBytes;
  frame->height = shape.height;
  frame->pitchUV = pitchUV;
  const int first = kLeadBytes + pitch * shape.height;
  // YV12 stores V before U, I420 U before V.
  frame->offsetU = shape.pixel_type == kCsYv12 ? first + chromaBytes : first;
  frame->offsetV = shape.pixel_type == kCsYv12 ? first : first + chromaBytes;
  ++vfb->refcount;  // the frame's own hold on its buffer, dropped on its last release
  frames_ = new FrameNode{frame, shape, frames_};
  return frame;
}

int TestEnvironment::LiveFrames() const {
  int live = 0;
  for (const FrameNode* n = frames_; n; n = n->next) {
    live += n->frame->refcount != 0 || n->frame->vfb->refcount != 0;
  }
  return live;
}

bool TestEnvironment::MakeWritable(PVideoFrame* handle) {
  ++log.make_writable_calls;
  VideoFrame* src = handle->get();
  if (!src || src->IsWritable()) return false;
  const FrameNode* node = frames_;
  while (node && node->frame != src) node = node->next;
  if (!node) return Unexpected(), false;

  // A copy with a pitch of its own, so that a plugin that keeps the source's
  // pitch draws in the wrong place.
  FrameShape shape = node->shape;
  shape.padding += 8;
  VideoFrame* copy = NewFrame(shape, 0xC0FFEEu);
  const int chromaRows = IsPlanar(shape.pixel_type) ? shape.height / 2 : 0;
  for (int y = 0; y < src->height; ++y) {
    memcpy(copy->vfb->data + copy->offset + y * copy->pitch,
           src->vfb->data + src->offset + y * src->pitch, src->row_size);
  }
  for (int y = 0; y < chromaRows; ++y) {
    memcpy(copy->vfb->data + copy->offsetU + y * copy->pitchUV,
           src->vfb->data + src->offsetU + y * src->pitchUV, shape.width / 2);
    memcpy(copy->vfb->data + copy->offsetV + y * copy->pitchUV,
           src->vfb->data + src->offsetV + y * src->pitchUV, shape.width / 2);
  }
  log.copy = copy;
  log.copy_snapshot = static_cast<uint8_t*>(malloc(copy->vfb->data_size));
  memcpy(log.copy_snapshot, copy->vfb->data, copy->vfb->data_size);
  Keep(log.copy_snapshot);
  ++log.frames_copied;
  *handle = PVideoFrame(copy);
  return true;
}

char* TestEnvironment::SaveString(const char* s, int length) {
  if (length < 0) length = static_cast<int>(strlen(s));
  char* saved = static_cast<char*>(malloc(length + 1));
  memcpy(saved, s, length);
  saved[length] = 0;
  Keep(saved);
  return saved;
}

char* TestEnvironment::VSprintf(const char* fmt, va_list args) {
  char buffer[512];
  int n = _vsnprintf(buffer, sizeof buffer - 1, fmt, args);
  buffer[n < 0 ? sizeof buffer - 1 : n] = 0;
  return SaveString(buffer, -1);
}

char* TestEnvironment::Sprintf(const char* fmt, ...) {
  va_list args;
  va_start(args, fmt);
  char* s = VSprintf(fmt, args);
  va_end(args);
  return s;
}

void TestEnvironment::ThrowError(const char* fmt, ...) {
  va_list args;
  va_start(args, fmt);
  char* message = VSprintf(fmt, args);
  va_end(args);
  throw ScriptError{message};
}

void TestEnvironment::AddFunction(const char* name, const char* params, ApplyFunc apply,
                                  void* user_data) {
  ++log.add_function_calls;
  log.function_name = name;
  log.function_params = params;
  log.apply = apply;
  log.user_data = user_data;
}

TestSource::TestSource(TestEnvironment* env, const VideoInfo& vi, int padding, bool shared,
                       Calls* calls)
    : env_(env), vi_(vi), padding_(padding), shared_(shared), calls_(calls) {}

TestSource::~TestSource() {
  free(last_original);
  ++calls_->destroyed;
}

PVideoFrame TestSource::GetFrame(int n, IScriptEnvironment*) {
  VideoFrame* frame = env_->NewFrame({vi_.pixel_type, vi_.width, vi_.height, padding_},
                                     static_cast<unsigned>(n) + 1u);
  last = frame;
  free(last_original);
  last_original = static_cast<uint8_t*>(malloc(frame->vfb->data_size));
  memcpy(last_original, frame->vfb->data, frame->vfb->data_size);
  PVideoFrame handle(frame);
  if (shared_) kept_ = handle;
  return handle;
}

bool TestSource::GetParity(int n) {
  calls_->parity_n = n;
  return n % 3 == 1;
}

void TestSource::GetAudio(void* buf, int64_t start, int64_t count, IScriptEnvironment* env) {
  calls_->audio_buf = buf;
  calls_->audio_start = start;
  calls_->audio_count = count;
  calls_->audio_env = env;
}

// The plugin's heap, seen through its import address table: each import of
// the allocator from msvcrt.dll is pointed at a counting stand-in.
namespace plugin_heap {
namespace {

int live = 0;
size_t failing_from = 0;  // requests of this many bytes or more fail; 0: none

void* __cdecl Malloc(size_t size) {
  if (failing_from && size >= failing_from) return nullptr;
  void* p = malloc(size);
  live += p != nullptr;
  return p;
}
void* __cdecl Calloc(size_t count, size_t size) {
  if (failing_from && count * size >= failing_from) return nullptr;
  void* p = calloc(count, size);
  live += p != nullptr;
  return p;
}
void* __cdecl Realloc(void* block, size_t size) {
  if (failing_from && size >= failing_from) return nullptr;
  void* p = realloc(block, size);
  if (!block && p) ++live;
  if (block && !size) --live;
  return p;
}
void __cdecl Free(void* block) {
  live -= block != nullptr;
  free(block);
}

template <typename T>
T At(uint8_t* base, unsigned rva) {
  return reinterpret_cast<T>(base + rva);
}
unsigned Read32(const uint8_t* p) {
  unsigned v;
  memcpy(&v, p, 4);
  return v;
}

}  // namespace

bool Watch(void* module) {
  auto* base = static_cast<uint8_t*>(module);
  const uint8_t* nt = base + Read32(base + 0x3C);
  const unsigned importsRva = Read32(nt + 24 + 104);  // optional header, data directory 1
  int hooked = 0;
  for (const uint8_t* d = base + importsRva; Read32(d + 12) != 0; d += 20) {
    if (_stricmp(At<const char*>(base, Read32(d + 12)), "msvcrt.dll") != 0) continue;
    auto* names = At<unsigned*>(base, Read32(d));
    auto* slots = At<void**>(base, Read32(d + 16));
    for (int i = 0; names[i]; ++i) {
      if (names[i] & 0x80000000u) continue;  // imported by ordinal
      const char* name = At<const char*>(base, names[i] + 2);
      void* stand_in = !strcmp(name, "malloc")    ? reinterpret_cast<void*>(&Malloc)
                       : !strcmp(name, "calloc")  ? reinterpret_cast<void*>(&Calloc)
                       : !strcmp(name, "realloc") ? reinterpret_cast<void*>(&Realloc)
                       : !strcmp(name, "free")    ? reinterpret_cast<void*>(&Free)
                                                  : nullptr;
      if (!stand_in) continue;
      unsigned old;
      if (!VirtualProtect(&slots[i], sizeof(void*), 0x04 /* PAGE_READWRITE */, &old)) {
        return false;
      }
      slots[i] = stand_in;
      VirtualProtect(&slots[i], sizeof(void*), old, &old);
      ++hooked;
    }
  }
  return hooked >= 2;
}

int LiveBlocks() {
  return live;
}
void FailAllocationsFrom(size_t size) {
  failing_from = size;
}

}  // namespace plugin_heap

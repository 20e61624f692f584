#include "tests/windows/expected_stamp.h"

namespace {

// The font as it looks on screen, top row first; glyph 10 is the minus.
constexpr const char* kFont[11][14] = {
#include "tests/support/font_art.inc"
};

// Picture rows of a digit, 10 pixels each: 8 of glyph, 2 black.
constexpr int kCell = 10;
constexpr int kRows = 14;

}  // namespace

void ExpectedText(int n, int num_frames, int offset, char (&text)[16]) {
  int total = static_cast<int>(static_cast<unsigned>(num_frames) + static_cast<unsigned>(offset));
  int width = 1;
  for (; total > 9; total /= 10) ++width;

  const int value = static_cast<int>(static_cast<unsigned>(n) + static_cast<unsigned>(offset));
  unsigned magnitude = value < 0 ? 0u - static_cast<unsigned>(value) : static_cast<unsigned>(value);
  char digits[16];
  int count = 0;
  do {
    digits[count++] = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude);

  char full[32];
  int len = 0;
  if (value < 0) full[len++] = '-';
  for (int pad = width - count - (value < 0 ? 1 : 0); pad > 0; --pad) full[len++] = '0';
  while (count) full[len++] = digits[--count];
  // Only as many characters as the clip has digit cells.
  for (int i = 0; i < width; ++i) text[i] = full[i];
  text[width] = 0;
}

void DrawExpected(uint8_t* bytes, const VideoFrame& frame, const VideoInfo& vi, const char* text,
                  bool left) {
  const int cells = static_cast<int>(strlen(text));
  const bool rgb = vi.pixel_type == kCsBgr24 || vi.pixel_type == kCsBgr32;
  const bool planar = vi.pixel_type == kCsYv12 || vi.pixel_type == kCsI420;
  const int firstPixel = left ? 0 : vi.width - kCell * cells - (planar ? 2 : 0);

  for (int t = 0; t < kRows; ++t) {  // t: glyph row counted from the top
    const int pictureRow = vi.height - kRows + t;
    const int stored = rgb ? vi.height - 1 - pictureRow : pictureRow;
    uint8_t* row = bytes + frame.offset + stored * frame.pitch;
    for (int px = 0; px < kCell * cells; ++px) {
      const char c = text[px / kCell];
      const int col = px % kCell;
      const char* art = kFont[c == '-' ? 10 : c - '0'][t];
      const bool black = col >= 8;
      const uint8_t v = !black && art[col] == '#' ? 255 : 0;
      const int x = firstPixel + px;
      switch (vi.pixel_type) {
        case kCsBgr24:
          row[3 * x] = row[3 * x + 1] = row[3 * x + 2] = v;
          break;
        case kCsBgr32:
          row[4 * x] = row[4 * x + 1] = row[4 * x + 2] = v;
          if (black) row[4 * x + 3] = 0;
          break;
        case kCsYuy2:
          row[2 * x] = v;
          row[2 * x + 1] = 127;
          break;
        default:
          row[x] = v;
          break;
      }
    }
  }
}

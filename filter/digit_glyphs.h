// The built-in digit font: ten glyphs of 8 x 14 bytes, each byte 255 (stroke)
// or 0 (background), stored bottom row first.
#pragma once

#include <cstdint>

inline constexpr int kGlyphWidth = 8;
inline constexpr int kGlyphHeight = 14;
inline constexpr int kGlyphBytes = kGlyphWidth * kGlyphHeight;

// Glyph d, row r (0 = bottom), column c at [d * 112 + r * 8 + c].
extern const uint8_t (&DigitGlyphs)[10 * kGlyphBytes];

// The minus sign of negative numbers, laid out like one digit glyph: an opaque
// cell with a bar across its middle rows.
extern const uint8_t (&MinusGlyph)[kGlyphBytes];

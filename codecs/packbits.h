// PackBits, the byte-oriented run-length coding of TIFF strips: a control
// byte n, then n + 1 literal bytes (n 0 to 127), or one byte repeated
// 1 - n times (n -127 to -1 as a signed byte); -128 does nothing.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vc::packbits {

// Decodes in[0 .. size) into out[0 .. capacity); returns the bytes written.
// Decoding stops, without failing, where the input ends inside a run or the
// output is full: a damaged stream keeps what it reached.
size_t decode(const uint8_t *in, size_t size, uint8_t *out, size_t capacity);

// Most bytes that encodeRow can write for a row of n bytes: one control byte
// per 128 literal bytes, never fewer than the row itself plus one.
constexpr size_t rowBound(size_t n) { return n + (n + 127) / 128 + 1; }

// Encodes one row on its own (runs never cross rows) into out, which must
// hold rowBound(n) bytes; returns the bytes written.
size_t encodeRow(const uint8_t *row, size_t n, uint8_t *out);

}  // namespace vc::packbits

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

// Most bytes that encodeRow can write for a row of n bytes. The worst row
// alternates one odd byte and a pair ("x y y"): a one-byte literal and a
// two-byte repeat, 4 bytes for every 3; long literals add one control byte
// per 128 bytes.
constexpr size_t rowBound(size_t n) { return n + (n + 2) / 3 + n / 128 + 2; }

// Encodes one row on its own (runs never cross rows) into out, which must
// hold rowBound(n) bytes; returns the bytes written.
size_t encodeRow(const uint8_t *row, size_t n, uint8_t *out);

}  // namespace vc::packbits

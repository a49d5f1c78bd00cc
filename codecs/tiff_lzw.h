// LZW as TIFF strips use it: codes packed most significant bit first, Clear
// 256, End of Information 257, first free code 258, and the code width
// growing one code early (10 bits once the next free code is 511 on the
// reading side, 512 on the writing side, which is the same point in the
// stream).
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/platform.h"

namespace vc::tifflzw {

constexpr uint32_t kClear = 256;
constexpr uint32_t kEnd = 257;
constexpr uint32_t kFirstFree = 258;

// Decodes one strip's bytes into out[0 .. capacity) with the LZW decoder
// GIF uses too (common/lzw.h); returns the bytes written. Never fails: End
// of Information, the end of the input, a code beyond the table, or a full
// output stop decoding and leave what was decoded so far. Up to 16 bytes
// behind them (inside the buffer) are set to zero.
size_t decodeStrip(const uint8_t *in, size_t size, uint8_t *out, size_t capacity);

// The encoder's string table (the keys of 4096 codes, the place each code
// took, then 65536 places of 16-bit codes: 152 KB) lives in a movable block
// allocated once per save and reused strip after strip; between strips its
// places are all free again.
struct EncodeTable {
    MemHandle block = nullptr;
    uint32_t *keys = nullptr;  // the start of the locked block
};
bool encodeTableAlloc(EncodeTable &table);  // false when memory is refused
void encodeTableFree(EncodeTable &table);

// Bytes encodeStrip needs in its output for n input bytes: at most one
// 12-bit code per byte, plus Clear codes at the start and after every full
// table, the last string and End of Information, and 8 bytes of room for
// the bit writer's word stores.
constexpr size_t encodeBound(size_t n) { return n + n / 2 + n / 1024 + 24; }

// Codes one strip on its own: Clear, the codes, End of Information, the
// last byte completed with zero bits. out must hold encodeBound(size)
// bytes; returns the bytes written.
size_t encodeStrip(const uint8_t *in, size_t size, uint8_t *out, EncodeTable &table);

}  // namespace vc::tifflzw

// LZW as TIFF strips use it: codes packed most significant bit first, Clear
// 256, End of Information 257, first free code 258, and the code width
// growing one code early (10 bits once the next free code is 511 on the
// reading side, 512 on the writing side, which is the same point in the
// stream).
#pragma once

#include <cstddef>
#include <cstdint>

#include <vector>

#include "common/lzw.h"

namespace vc::tifflzw {

constexpr uint32_t kClear = 256;
constexpr uint32_t kEnd = 257;
constexpr uint32_t kFirstFree = 258;

// Decodes one strip's bytes into out[0 .. capacity) with the LZW decoder
// GIF uses too (common/lzw.h); returns the bytes written. Never fails: End
// of Information, the end of the input, a code beyond the table, or a full
// output stop decoding and leave what was decoded so far. Up to 16 bytes
// behind them (inside the buffer) are set to zero.
// A reader of many strips keeps one table (about 64 KiB) for all of them;
// the form without a table makes one of its own.
using DecodeTable = lzw::Table;
size_t decodeStrip(const uint8_t *in, size_t size, uint8_t *out, size_t capacity, DecodeTable &table);
size_t decodeStrip(const uint8_t *in, size_t size, uint8_t *out, size_t capacity);

// The encoder's string tables and code lists (two of each, one per strip of
// a pair: about 400 KB) are allocated once per save and reused strip after
// strip; between strips the tables are empty again. They belong to the
// caller, so saves on different threads never share one.
struct EncodeState;
struct EncodeTable {
    std::vector<uint8_t> storage;  // zeroed when allocated
    EncodeState *state = nullptr;  // its bytes
};
bool encodeTableAlloc(EncodeTable &table);  // false when memory is refused
void encodeTableFree(EncodeTable &table);

// Bytes encodeStrip needs in its output for n input bytes: at most one
// 12-bit code per byte, plus Clear codes at the start and after every full
// table, the last string and End of Information, with bytes to spare.
constexpr size_t encodeBound(size_t n) { return n + n / 2 + n / 1024 + 24; }

// Codes one strip on its own: Clear, the codes, End of Information, the
// last byte completed with zero bits. out must hold encodeBound(size)
// bytes; returns the bytes written.
size_t encodeStrip(const uint8_t *in, size_t size, uint8_t *out, EncodeTable &table);

// Codes two strips side by side, each on its own as encodeStrip does (the
// same bytes); interleaving the two keeps the processor busy while either
// waits for its table. Each output must hold encodeBound of its strip's size.
void encodeStripPair(const uint8_t *in0, size_t size0, uint8_t *out0, size_t &length0, const uint8_t *in1,
                     size_t size1, uint8_t *out1, size_t &length1, EncodeTable &table);

}  // namespace vc::tifflzw

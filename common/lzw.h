// The LZW decoder shared by the GIF reader and the TIFF reader.
//
// Contract of lzw::decode:
// - Input is the whole code stream as one contiguous span (a GIF reader
//   gathers the data sub-blocks first). Codes are read least-significant bit
//   first (GIF) or most-significant bit first (TIFF).
// - Minimum code size s (0..11): root codes 0 .. 2^s - 1, clear code 2^s,
//   end code 2^s + 1, first free code 2^s + 2, codes start s + 1 bits wide.
//   Larger sizes would index past the 4096-entry table and are refused
//   (status -6, nothing decoded).
// - After a new table entry the next free code n is checked: when
//   (n + earlyChange) AND mask is 0 and n + earlyChange < 4096, the code
//   width grows by one and mask += n + earlyChange. GIF uses earlyChange 0,
//   TIFF 1. Codes never grow past 12 bits; once the table holds 4096 entries
//   nothing is added until a clear code. (For s of 0 and 1 that rule
//   makes masks that are not all ones; only the bits inside the current
//   code width are ever taken.)
// - A code above the next free code fails the stream (status -6), and so
//   does a first code after a clear that names no string. After a failure
//   the remaining codes are read (an end code still ends the stream) but not
//   decoded: the failure sticks, clear codes included.
// - The end code stops decoding at once; the rest of the input is not
//   looked at (sawEnd is set).
// - Output goes to out[0 .. capacity); what would land past capacity is
//   dropped, but still counted in produced, so a caller can compare the
//   pixel count it expected.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace vc::lzw {

static_assert(std::endian::native == std::endian::little, "the bit readers load little-endian words");

enum class BitOrder : uint8_t { LsbFirst, MsbFirst };

constexpr unsigned kMaxCodes = 4096;
constexpr unsigned kMaxMinCodeSize = 11;
constexpr uint32_t kNoCode = 4096;

struct DecodeParams {
    unsigned minCodeSize = 8;
    BitOrder order = BitOrder::LsbFirst;
    unsigned earlyChange = 0;
};

struct DecodeResult {
    int status = 1;         // 1, or -6 once a code could not be decoded
    uint64_t produced = 0;  // output position reached, dropped output included
    bool sawEnd = false;    // stopped at an end code
};

namespace detail {

// Where each string of the table was last written: a known code's string is
// copied from earlier output instead of being walked through its prefixes.
struct Tables {
    size_t offset[kMaxCodes];
    uint16_t length[kMaxCodes];
    uint16_t prefix[kMaxCodes];
    uint8_t suffix[kMaxCodes];
    uint8_t first[kMaxCodes];
};

template <BitOrder Order>
struct BitReader {
    const uint8_t *p;
    const uint8_t *end;
    uint64_t acc = 0;
    unsigned bits = 0;

    // Ensures at least `need` bits (need <= 12) unless the input ran out;
    // false then.
    inline bool fill(unsigned need) {
        if (bits >= need) return true;
        if (end - p >= 8) {
            uint64_t v;
            std::memcpy(&v, p, 8);
            if constexpr (Order == BitOrder::LsbFirst)
                acc |= v << bits;
            else
                acc |= __builtin_bswap64(v) >> bits;
            p += (63 - bits) >> 3;
            bits |= 56;
            return true;
        }
        while (bits < need && p < end) {
            if constexpr (Order == BitOrder::LsbFirst)
                acc |= uint64_t(*p) << bits;
            else
                acc |= uint64_t(*p) << (56 - bits);
            ++p;
            bits += 8;
        }
        return bits >= need;
    }
    inline uint32_t take(unsigned width, uint32_t mask) {
        uint32_t code;
        if constexpr (Order == BitOrder::LsbFirst) {
            code = uint32_t(acc) & mask;
            acc >>= width;
        } else {
            code = uint32_t(acc >> (64 - width)) & mask;
            acc <<= width;
        }
        bits -= width;
        return code;
    }
};

template <BitOrder Order>
DecodeResult decodeWith(const uint8_t *in, size_t inSize, uint8_t *out, size_t capacity, unsigned s,
                        unsigned early, Tables &t) {
    DecodeResult r;
    const uint32_t clear = 1u << s, endCode = clear + 1;
    for (uint32_t c = 0; c < clear; ++c) {
        t.length[c] = 1;
        t.first[c] = uint8_t(c);
        t.suffix[c] = uint8_t(c);
        t.prefix[c] = uint16_t(kNoCode);
    }
    unsigned width = s + 1;
    uint32_t mask = (1u << width) - 1;
    uint32_t codeMask = mask;
    uint32_t next = clear + 2;
    uint32_t prev = kNoCode;
    size_t prevPos = 0;
    size_t pos = 0;
    bool failed = false;
    BitReader<Order> br{in, in + inSize};

    while (br.fill(width)) {
        const uint32_t code = br.take(width, codeMask);
        if (code == endCode) {
            r.sawEnd = true;
            break;
        }
        if (failed) continue;
        if (code == clear) {
            width = s + 1;
            mask = (1u << width) - 1;
            codeMask = mask;
            next = clear + 2;
            prev = kNoCode;
            continue;
        }
        if (code > next) {
            failed = true;
            continue;
        }
        if (prev == kNoCode) {
            // Only a root code names a string right after a clear.
            if (code >= clear) {
                failed = true;
                continue;
            }
            if (pos < capacity) out[pos] = uint8_t(code);
            prevPos = pos++;
            prev = code;
            continue;
        }
        size_t len;
        uint8_t firstChar;
        if (code < clear) {
            len = 1;
            firstChar = uint8_t(code);
            if (pos < capacity) out[pos] = firstChar;
        } else if (code < next) {
            len = t.length[code];
            firstChar = t.first[code];
            if (pos + 16 <= capacity && len <= 16) {
                // Whole words: the source ends before pos, and what is
                // written past the string is overwritten by the next one.
                uint64_t a, b;
                std::memcpy(&a, out + t.offset[code], 8);
                std::memcpy(&b, out + t.offset[code] + 8, 8);
                std::memcpy(out + pos, &a, 8);
                std::memcpy(out + pos + 8, &b, 8);
            } else if (pos + len <= capacity) {
                std::memcpy(out + pos, out + t.offset[code], len);
            } else {
                // Near the end of the buffer: walk the string backwards and
                // keep only what fits.
                uint32_t c = code;
                for (size_t i = len; i-- > 0;) {
                    if (pos + i < capacity) out[pos + i] = t.suffix[c];
                    c = t.prefix[c];
                }
            }
        } else {
            // code == next: the previous string followed by its own first
            // character.
            const size_t plen = t.length[prev];
            len = plen + 1;
            firstChar = t.first[prev];
            if (pos + len <= capacity) {
                std::memcpy(out + pos, out + prevPos, plen);
                out[pos + plen] = firstChar;
            } else {
                for (size_t i = 0; i < len; ++i) {
                    if (pos + i >= capacity) break;
                    out[pos + i] = i < plen ? out[prevPos + i] : firstChar;
                }
            }
        }
        if (next < kMaxCodes) {
            t.prefix[next] = uint16_t(prev);
            t.suffix[next] = firstChar;
            t.first[next] = t.first[prev];
            t.length[next] = uint16_t(t.length[prev] + 1);
            t.offset[next] = prevPos;
            ++next;
            const uint32_t grow = next + early;
            if ((grow & mask) == 0 && grow < kMaxCodes) {
                ++width;
                mask += grow;
                codeMask = mask & ((1u << width) - 1);
            }
        }
        prev = code;
        prevPos = pos;
        pos += len;
    }
    r.status = failed ? -6 : 1;
    r.produced = pos;
    return r;
}

}  // namespace detail

// Decodes one code stream; see the contract above. Uses about 60 KiB of
// stack for its tables.
inline DecodeResult decode(const uint8_t *in, size_t inSize, uint8_t *out, size_t capacity,
                           const DecodeParams &params) {
    if (params.minCodeSize > kMaxMinCodeSize || params.earlyChange > 1) return DecodeResult{-6, 0, false};
    detail::Tables tables;
    if (params.order == BitOrder::LsbFirst)
        return detail::decodeWith<BitOrder::LsbFirst>(in, inSize, out, capacity, params.minCodeSize,
                                                      params.earlyChange, tables);
    return detail::decodeWith<BitOrder::MsbFirst>(in, inSize, out, capacity, params.minCodeSize,
                                                  params.earlyChange, tables);
}

}  // namespace vc::lzw

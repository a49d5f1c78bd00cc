#include "codecs/packbits.h"

#include <cstring>

namespace vc::packbits {

size_t decode(const uint8_t *in, size_t size, uint8_t *out, size_t capacity) {
    size_t i = 0, o = 0;
    while (i < size && o < capacity) {
        const uint8_t n = in[i++];
        if (n == 128) continue;
        if (n > 128) {
            if (i >= size) break;
            size_t count = 257 - size_t(n);  // 1 - (n - 256)
            if (count > capacity - o) count = capacity - o;
            std::memset(out + o, in[i++], count);
            o += count;
        } else {
            size_t count = size_t(n) + 1;
            if (count > size - i) count = size - i;
            if (count > capacity - o) count = capacity - o;
            std::memcpy(out + o, in + i, count);
            i += count;
            o += count;
        }
    }
    return o;
}

size_t encodeRow(const uint8_t *row, size_t n, uint8_t *out) {
    size_t i = 0, o = 0;
    bool splitRun = false;  // the previous run was a repeat cut off at 128
    while (i < n) {
        size_t run = 1;
        while (i + run < n && run < 128 && row[i + run] == row[i]) ++run;
        if (run >= 2) {
            out[o++] = uint8_t(257 - run);
            out[o++] = row[i];
            // Cut off at 128 with more of the same byte to come.
            splitRun = run == 128 && i + run < n && row[i + run] == row[i];
            i += run;
            continue;
        }
        if (splitRun) {
            // The single byte left over from a repeat cut at 128 is written
            // on its own, as a run of one, not as the start of a literal.
            out[o++] = 0;
            out[o++] = row[i++];
            splitRun = false;
            continue;
        }
        // A literal run ends before two equal bytes, which open a repeat.
        size_t end = i;
        while (end < n && end - i < 128 && !(end + 1 < n && row[end] == row[end + 1])) ++end;
        out[o++] = uint8_t(end - i - 1);
        std::memcpy(out + o, row + i, end - i);
        o += end - i;
        i = end;
    }
    return o;
}

}  // namespace vc::packbits

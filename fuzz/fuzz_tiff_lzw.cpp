// Fuzzes the TIFF LZW strip coder on the raw input split into two strips:
// each strip's codes must decode back to it, and the two coded as a pair
// must give each strip the bytes it gets alone.
#include <cstdint>
#include <cstring>
#include <vector>

#include "codecs/tiff_lzw.h"
#include "fuzz_support.h"

namespace {

using vcfuzz::require;

// Never destroyed: at exit the platform's block table may go before it.
vc::tifflzw::EncodeTable &gTable = *new vc::tifflzw::EncodeTable;

// Buffers kept across inputs; a strip's codes never exceed encodeBound.
std::vector<uint8_t> gAlone, gPair, gBack;

// Codes one strip alone into gAlone; returns its length.
size_t codeAlone(const uint8_t *data, size_t size) {
    return vc::tifflzw::encodeStrip(data, size, gAlone.data(), gTable);
}

// The input is split into two strips. Each strip coded alone must decode
// back to its bytes, and the two coded as a pair must give each strip
// exactly the bytes it got alone. Every byte is coded twice and decoded
// once.
void checkStripCoder(const uint8_t *data, size_t size) {
    const size_t split = size / 3;
    const uint8_t *part[2] = {data, data + split};
    const size_t partSize[2] = {split, size - split};
    const size_t bound0 = vc::tifflzw::encodeBound(partSize[0]);
    size_t paired[2] = {0, 0};
    vc::tifflzw::encodeStripPair(part[0], partSize[0], gPair.data(), paired[0], part[1], partSize[1],
                                 gPair.data() + bound0, paired[1], gTable);
    for (int i = 0; i < 2; ++i) {
        const size_t length = codeAlone(part[i], partSize[i]);
        require(length == paired[i] && std::memcmp(gAlone.data(), gPair.data() + (i ? bound0 : 0), length) == 0,
                "strips coded as a pair differ from strips coded alone");
        require(vc::tifflzw::decodeStrip(gAlone.data(), length, gBack.data(), partSize[i]) == partSize[i] &&
                    std::memcmp(gBack.data(), part[i], partSize[i]) == 0,
                "a coded strip does not decode to its bytes");
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    require(vc::tifflzw::encodeTableAlloc(gTable), "no memory for the strip coder's table");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (gBack.size() < size + 16) {
        gAlone.resize(vc::tifflzw::encodeBound(size));
        gPair.resize(2 * vc::tifflzw::encodeBound(size));
        gBack.resize(size + 16);
    }
    checkStripCoder(data, size);
    return 0;
}

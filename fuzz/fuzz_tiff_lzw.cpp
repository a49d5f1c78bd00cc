// Fuzzes the TIFF LZW strip coder on the raw input, alone and as a pair of
// strips: the codes must decode back to the input, and the pair must give
// each strip the bytes it gets alone.
#include <cstdint>
#include <cstring>
#include <vector>

#include "codecs/tiff_lzw.h"
#include "fuzz_support.h"

namespace {

using vcfuzz::require;

// Never destroyed: at exit the platform's block table may go before it.
vc::tifflzw::EncodeTable &gTable = *new vc::tifflzw::EncodeTable;

std::vector<uint8_t> codeAlone(const uint8_t *data, size_t size) {
    std::vector<uint8_t> coded(vc::tifflzw::encodeBound(size));
    coded.resize(vc::tifflzw::encodeStrip(data, size, coded.data(), gTable));
    return coded;
}

void checkStripCoder(const uint8_t *data, size_t size) {
    const std::vector<uint8_t> coded = codeAlone(data, size);
    std::vector<uint8_t> back(size + 16);
    require(vc::tifflzw::decodeStrip(coded.data(), coded.size(), back.data(), size) == size &&
                std::memcmp(back.data(), data, size) == 0,
            "a coded strip does not decode to its bytes");
    const size_t half = size / 3;
    std::vector<uint8_t> first(vc::tifflzw::encodeBound(half)), second(vc::tifflzw::encodeBound(size - half));
    size_t length0 = 0, length1 = 0;
    vc::tifflzw::encodeStripPair(data, half, first.data(), length0, data + half, size - half, second.data(), length1,
                                 gTable);
    first.resize(length0), second.resize(length1);
    require(first == codeAlone(data, half) && second == codeAlone(data + half, size - half),
            "strips coded as a pair differ from strips coded alone");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    require(vc::tifflzw::encodeTableAlloc(gTable), "no memory for the strip coder's table");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    checkStripCoder(data, size);
    return 0;
}

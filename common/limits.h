// The size limits every reader and writer honours, in one record. A limit
// keeps a hostile number in a file from turning into a huge allocation or
// a long loop; none of them refuses a file that a 32-bit editor could hold.
//
// Readers read them through limits(); tests and fuzz harnesses lower them
// through the platform's test switch (vc::setLimits) to reach the refusal
// paths with small inputs and to keep each fuzz input fast.
#pragma once

#include <cstdint>

namespace vc {

struct Limits {
    // Bytes in one movable block: a 32-bit process could never hold more.
    uint64_t largestBlock = 0x7FFF0000;
    // Pixels in one picture a reader decodes. 256 Mi pixels is 256 MiB at
    // 8 bits and 768 MiB at 24, past what the editor can show; a larger
    // picture is refused with the memory code before anything is
    // allocated.
    uint64_t largestPicture = uint64_t(1) << 28;
    // Bytes a preview reads of one file (an icon file's directory and
    // images): previews run for every file the user passes in the file
    // dialog and must stay quick.
    uint64_t previewRead = uint64_t(64) << 20;
    // Bytes of picture rows per byte of compressed data. LZW and PackBits
    // cannot reach 4096, so a file claiming more is damaged or hostile.
    uint64_t expansion = 4096;
    // Frames one animation document or dialog works with.
    uint32_t largestFrameCount = 65536;
};

// The limits in force: the defaults above unless a test lowered them.
const Limits &limits();

// Test switch: tests and fuzz harnesses lower the limits to reach the
// refusal paths with small inputs; resetLimits brings back the defaults.
void setLimits(const Limits &limits);
void resetLimits();

}  // namespace vc

#include "platform/switches.h"

#include "platform/platform.h"

namespace vc::plat {

namespace {
long gFailCountdown = 0;
long gWriteBudget = -1;
bool gFailCloses = false;
uint64_t gLargestBlock = 0x7FFF0000;
}  // namespace

void setLargestBlock(uint64_t bytes) { gLargestBlock = bytes; }

size_t detail::maxBlock() { return size_t(gLargestBlock < SIZE_MAX ? gLargestBlock : SIZE_MAX); }

void memFailAt(long n) { gFailCountdown = n < 0 ? 0 : n; }
void fileFailWritesAfter(long n) { gWriteBudget = n; }
void fileFailCloses(bool on) { gFailCloses = on; }
bool detail::closeRefused() { return gFailCloses; }

bool detail::allocationRefused() { return gFailCountdown > 0 && --gFailCountdown == 0; }

uint32_t detail::writeAllowance(uint32_t count) {
    if (gWriteBudget < 0) return count;
    uint32_t allowed = uint64_t(count) > uint64_t(gWriteBudget) ? uint32_t(gWriteBudget) : count;
    gWriteBudget -= long(allowed);
    return allowed;
}

}  // namespace vc::plat

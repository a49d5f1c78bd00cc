#include "common/limits.h"

#include "platform/platform.h"

namespace vc {

namespace {
Limits gLimits;
}  // namespace

const Limits &limits() { return gLimits; }

void setLimits(const Limits &limits) {
    gLimits = limits;
    plat::setLargestBlock(limits.largestBlock);
}

void resetLimits() { setLimits(Limits{}); }

}  // namespace vc

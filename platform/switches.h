// The platform layer's test switches, shared by both sides: the allocation
// that is made to fail, the write budget after which writes come back
// short, and closes that report a failure.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vc::plat::detail {

// The largest block either side hands out: limits().largestBlock.
size_t maxBlock();

// Counts one allocation; true when the allocation switch says it fails.
bool allocationRefused();
// How many of count bytes a write may pass under the short-write switch
// (all of them when it is off); the budget shrinks by that many.
uint32_t writeAllowance(uint32_t count);
// True while closes are to report a failure.
bool closeRefused();

}  // namespace vc::plat::detail

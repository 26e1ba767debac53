// Counts the heap blocks that this test program allocates and frees while
// tracking is on (calloc and free are wrapped at link time), and can make the
// next allocations fail.
#pragma once
#include <cstddef>

namespace alloc_tracker {

void Begin();
// Stops tracking; the number of blocks allocated since Begin and not freed.
std::size_t End();
// The next n allocations return null (tracking on or off).
void FailNextAllocations(int n);
// Blocks allocated since Begin, freed or not.
std::size_t Allocated();

}  // namespace alloc_tracker

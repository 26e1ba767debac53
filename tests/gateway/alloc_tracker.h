// Counts the heap blocks this test program allocates and does not free while
// tracking is on (calloc and free are wrapped at link time), and can make the
// next allocations fail.
#pragma once
#include <cstddef>

namespace alloc_tracker {
void Begin();
std::size_t End();  // stops tracking; the blocks allocated since Begin and not freed
void FailNextAllocations(int n);
}  // namespace alloc_tracker

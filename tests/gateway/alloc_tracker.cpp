#include "tests/gateway/alloc_tracker.h"

#include <algorithm>
#include <atomic>
#include <mutex>

extern "C" void *__real_calloc(std::size_t count, std::size_t size);
extern "C" void __real_free(void *memory);

namespace {
std::mutex g_mutex;
bool g_tracking = false;
void *g_live[256];  // fixed storage: the tracker itself must not allocate
std::atomic<int> g_failures{0};
}  // namespace

extern "C" void *__wrap_calloc(std::size_t count, std::size_t size)
{
    if (g_failures > 0 && g_failures-- > 0)
        return nullptr;
    void *memory = __real_calloc(count, size);
    std::lock_guard<std::mutex> lock(g_mutex);
    void **slot = std::find(std::begin(g_live), std::end(g_live), nullptr);
    if (g_tracking && memory && slot != std::end(g_live))
        *slot = memory;
    return memory;
}

extern "C" void __wrap_free(void *memory)
{
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        if (memory)
            std::replace(std::begin(g_live), std::end(g_live), memory, static_cast<void *>(nullptr));
    }
    __real_free(memory);
}

namespace alloc_tracker {
void Begin()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    std::fill(std::begin(g_live), std::end(g_live), nullptr);
    g_tracking = true;
}
std::size_t End()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    g_tracking = false;
    return std::count_if(std::begin(g_live), std::end(g_live), [](void *p) { return p != nullptr; });
}
void FailNextAllocations(int n) { g_failures = n; }
}  // namespace alloc_tracker

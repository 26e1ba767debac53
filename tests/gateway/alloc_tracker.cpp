#include "tests/gateway/alloc_tracker.h"

#include <algorithm>
#include <mutex>

extern "C" void *__real_calloc(std::size_t count, std::size_t size);
extern "C" void __real_free(void *memory);

namespace {
std::mutex g_mutex;
bool g_tracking = false;
int g_failures = 0;
void *g_live[256];  // fixed storage: the tracker itself must not allocate
}  // namespace

extern "C" void *__wrap_calloc(std::size_t count, std::size_t size)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    if (g_failures > 0)
        return --g_failures, nullptr;
    void *memory = __real_calloc(count, size);
    void **slot = std::find(std::begin(g_live), std::end(g_live), nullptr);
    if (g_tracking && memory && slot != std::end(g_live))
        *slot = memory;
    return memory;
}

extern "C" void __wrap_free(void *memory)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    std::replace(std::begin(g_live), std::end(g_live), memory, static_cast<void *>(nullptr));
    __real_free(memory);
}

void alloc_tracker::Begin()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    std::fill(std::begin(g_live), std::end(g_live), nullptr);
    g_tracking = true;
}

std::size_t alloc_tracker::End()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    g_tracking = false;
    return std::count_if(std::begin(g_live), std::end(g_live), [](void *p) { return p != nullptr; });
}

void alloc_tracker::FailNextAllocations(int n)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    g_failures = n;
}

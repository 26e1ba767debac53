#include "tests/gateway/alloc_tracker.h"

#include <atomic>
#include <mutex>

extern "C" void *__real_calloc(std::size_t count, std::size_t size);
extern "C" void __real_free(void *memory);

namespace {

// Fixed storage: the tracker itself must not allocate.
constexpr std::size_t kSlots = 256;
std::mutex g_mutex;
bool g_tracking = false;
void *g_live[kSlots];
std::size_t g_allocated = 0;
std::atomic<int> g_failures{0};

}  // namespace

extern "C" void *__wrap_calloc(std::size_t count, std::size_t size)
{
    if (g_failures.load() > 0) {
        g_failures.fetch_sub(1);
        return nullptr;
    }
    void *memory = __real_calloc(count, size);
    std::lock_guard<std::mutex> lock(g_mutex);
    if (g_tracking && memory) {
        ++g_allocated;
        for (void *&slot : g_live) {
            if (!slot) {
                slot = memory;
                break;
            }
        }
    }
    return memory;
}

extern "C" void __wrap_free(void *memory)
{
    if (memory) {
        std::lock_guard<std::mutex> lock(g_mutex);
        for (void *&slot : g_live) {
            if (slot == memory)
                slot = nullptr;
        }
    }
    __real_free(memory);
}

namespace alloc_tracker {

void Begin()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    for (void *&slot : g_live)
        slot = nullptr;
    g_allocated = 0;
    g_tracking = true;
}

std::size_t End()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    g_tracking = false;
    std::size_t outstanding = 0;
    for (void *slot : g_live)
        outstanding += slot ? 1 : 0;
    return outstanding;
}

void FailNextAllocations(int n) { g_failures.store(n); }

std::size_t Allocated()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_allocated;
}

}  // namespace alloc_tracker

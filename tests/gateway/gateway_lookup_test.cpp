// The lookup against a scripted agent, whose every answer must be released
// (the leak count covers each kind of value), and the helpers it works with.
#include "link/gateway.h"
#include "platform/global_memory.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <mutex>
#include <vector>

using platform::BYTE;
using platform::UINT;

// Every heap block this program allocates or frees passes here (calloc and free
// are wrapped at link time): the tracker counts the blocks left unreleased while
// it is on, and can make the next allocations fail.
extern "C" void *__real_calloc(std::size_t count, std::size_t size);
extern "C" void __real_free(void *memory);
namespace alloc_tracker {
std::mutex mutex;
bool tracking = false;
int failures = 0;
void *live[256];  // fixed storage: the tracker itself must not allocate

void Begin(int failAllocations = 0)
{
    std::lock_guard<std::mutex> lock(mutex);
    std::fill(std::begin(live), std::end(live), nullptr);
    tracking = true;
    failures = failAllocations;
}
std::size_t End()
{
    std::lock_guard<std::mutex> lock(mutex);
    tracking = false;
    failures = 0;
    return std::count_if(std::begin(live), std::end(live), [](void *p) { return p != nullptr; });
}
}  // namespace alloc_tracker

extern "C" void *__wrap_calloc(std::size_t count, std::size_t size)
{
    using namespace alloc_tracker;
    std::lock_guard<std::mutex> lock(mutex);
    if (failures > 0)
        return --failures, nullptr;
    void *memory = __real_calloc(count, size);
    void **slot = std::find(std::begin(live), std::end(live), nullptr);
    if (tracking && memory && slot != std::end(live))
        *slot = memory;
    return memory;
}

extern "C" void __wrap_free(void *memory)
{
    std::lock_guard<std::mutex> lock(alloc_tracker::mutex);
    std::replace(std::begin(alloc_tracker::live), std::end(alloc_tracker::live), memory, static_cast<void *>(nullptr));
    __real_free(memory);
}

namespace {

using Address = std::array<BYTE, 4>;
constexpr Address kUntouched{0xEE, 0xEE, 0xEE, 0xEE};

// What the scripted agent answers.
struct Answer {
    platform::BOOL init = 1, query = 1;
    int failedAllocations = 0;  // from the lookup's start: its name copy fails
    std::vector<UINT> name = {1, 3, 6, 1, 2, 1, 4, 21, 1, 7, 0, 0, 0, 0};
    BYTE type = ASN_IPADDRESS;
    std::vector<BYTE> stored = {10, 0, 0, 1};  // empty: no storage
    UINT length = 4;
    bool owned = true;  // else the stream points into the agent's own data
} g_answer;

template <typename T>
T *Global(const std::vector<T> &from)
{
    auto *p = static_cast<T *>(platform::GlobalAlloc(platform::GPTR, from.size() * sizeof(T)));
    return std::copy(from.begin(), from.end(), p) - from.size();
}

// Runs in the test program, so that every block it allocates passes the tracker.
platform::BOOL ScriptedQuery(BYTE, SnmpVarBindList *list, AsnInteger32 *status, AsnInteger32 *index)
{
    static BYTE own[8];
    SnmpVarBind &b = list->list[0];
    *status = *index = 0;
    platform::GlobalFree(b.name.ids);
    b.name = {UINT(g_answer.name.size()), Global(g_answer.name)};
    b.value.asnType = g_answer.type;
    std::copy(g_answer.stored.begin(), g_answer.stored.end(), own);
    if (g_answer.type == ASN_OBJECTIDENTIFIER)
        b.value.asnValue.object = {3, Global(g_answer.name)};
    else if (g_answer.type != ASN_NULL)
        b.value.asnValue.string = {g_answer.stored.empty() ? nullptr : g_answer.owned ? Global(g_answer.stored) : own,
                                   g_answer.length, g_answer.owned};
    return g_answer.query;
}

TEST(GatewayLookup, AcceptsOnlyAMatchingIpAddressAndLeaksNothing)
{
    // Held, so that the script survives the lookup's own load and release.
    void *held = dlopen(FAKE_AGENT_PATH, RTLD_NOW);
    ASSERT_NE(held, nullptr);
    auto script = reinterpret_cast<void (*)(platform::BOOL, PFNSNMPEXTENSIONQUERY)>(dlsym(held, "FakeAgentScript"));
    ASSERT_NE(script, nullptr);
    const std::pair<std::function<void(Answer &)>, Address> cases[] = {
        {[](Answer &) {}, {10, 0, 0, 1}},
        {[](Answer &a) { a.stored = {192, 168, 1, 254, 9, 9}, a.length = 6; }, {192, 168, 1, 254}},
        {[](Answer &a) { a.name.resize(8); }, {10, 0, 0, 1}},    // a shorter name that agrees
        {[](Answer &a) { a.name.push_back(9); }, {10, 0, 0, 1}}, // the first fourteen agree
        {[](Answer &a) { a.owned = false; }, {10, 0, 0, 1}},     // the binding owns no storage
        {[](Answer &a) { a.name[13] = 1; }, kUntouched},
        {[](Answer &a) { a.query = 0; }, kUntouched},  // failed, after writing an answer
        {[](Answer &a) { a.type = ASN_OCTETSTRING; }, kUntouched},
        {[](Answer &a) { a.type = ASN_SEQUENCE; }, kUntouched},
        {[](Answer &a) { a.type = ASN_OPAQUE; }, kUntouched},
        {[](Answer &a) { a.type = ASN_OBJECTIDENTIFIER; }, kUntouched},
        {[](Answer &a) { a.type = ASN_NULL; }, kUntouched},  // nothing written
        {[](Answer &a) { a.length = 0; }, kUntouched},
        {[](Answer &a) { a.stored.resize(3), a.length = 3; }, kUntouched},
        {[](Answer &a) { a.stored.clear(); }, kUntouched},  // a length without storage
        {[](Answer &a) { a.init = 0; }, kUntouched},
        {[](Answer &a) { a.failedAllocations = 1; }, kUntouched},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(i);
        g_answer = Answer{};
        cases[i].first(g_answer);
        script(g_answer.init, ScriptedQuery);
        Address out = kUntouched;
        platform::SetLastError(0);
        alloc_tracker::Begin(g_answer.failedAllocations);
        EXPECT_EQ(GetGatewayAddress(out.data(), FAKE_AGENT_PATH), cases[i].second != kUntouched);
        EXPECT_EQ(alloc_tracker::End(), 0u);
        EXPECT_EQ(out, cases[i].second);
        EXPECT_EQ(platform::GetLastError(), g_answer.failedAllocations ? SNMP_MEM_ALLOC_ERROR : 0u);
    }
    dlclose(held);
}

TEST(GatewayLookup, ReleasesTheLibraryOnEveryWayOut)
{
    for (const char *path : {FAKE_AGENT_PATH, FAKE_AGENT_NO_QUERY_PATH, FAKE_AGENT_NO_INIT_PATH, "/dev/null"}) {
        Address out = kUntouched;
        EXPECT_FALSE(GetGatewayAddress(out.data(), path)) << path;
        EXPECT_EQ(out, kUntouched);
        EXPECT_EQ(dlopen(path, RTLD_NOW | RTLD_NOLOAD), nullptr) << path;
    }
}

// Sub-identifiers are compared with wrap-around; a length without storage
// compares like an empty identifier, never a read.
TEST(CompareOidPrefix, WrapsAroundAndNeverReadsMissingStorage)
{
    platform::UINT zero[] = {0}, top[] = {0xFFFFFFFFu}, half[] = {0x80000000u};
    AsnObjectIdentifier a{1, zero}, b{1, top}, c{1, half}, broken{14, nullptr};
    EXPECT_EQ(CompareOidPrefix(&a, &b, 1), 1);
    EXPECT_EQ(CompareOidPrefix(&c, &a, 1), INT32_MIN);
    EXPECT_EQ(CompareOidPrefix(&broken, &b, 14), 0);
}

// Zero-filled fixed blocks only; a zero size still yields a block, unlike a failure.
TEST(GlobalMemory, ZeroFilledFixedBlocksOnly)
{
    auto *block = static_cast<BYTE *>(platform::GlobalAlloc(platform::GMEM_FIXED, 64));
    EXPECT_EQ(std::count(block, block + 64, 0), 64);
    platform::GlobalFree(block);
    EXPECT_NE(block = static_cast<BYTE *>(platform::GlobalAlloc(platform::GMEM_FIXED, 0)), nullptr);
    platform::GlobalFree(block);
    EXPECT_EQ(platform::GlobalAlloc(0x0002 /* moveable */, 16), nullptr);
}

TEST(ModuleNames, PlatformNameMapsToTheModuleBesideTheExecutable)
{
    EXPECT_EQ(platform::ModulePathFor("inetmib1.dll"), platform::ExecutableDirectory() + "/libinetmib1.so");
    EXPECT_EQ(platform::ModulePathFor("OTHER.DLL"), "OTHER.DLL");
}

}  // namespace

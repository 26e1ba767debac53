// The lookup against a scripted agent, whose every answer must be released
// (the leak count covers each kind of value), and the helpers it works with.
#include "link/gateway.h"
#include "platform/global_memory.h"
#include "tests/gateway/alloc_tracker.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <vector>

using platform::BYTE;
using platform::UINT;

namespace {

using Address = std::array<BYTE, 4>;
constexpr Address kUntouched{0xEE, 0xEE, 0xEE, 0xEE};
const std::vector<UINT> kNextHop = {1, 3, 6, 1, 2, 1, 4, 21, 1, 7, 0, 0, 0, 0};

// What the scripted agent answers.
struct Answer {
    platform::BOOL init = 1, query = 1;
    int failedAllocations = 0;  // from the lookup's start: its name copy fails
    std::vector<UINT> name = kNextHop;
    BYTE type = ASN_IPADDRESS;
    std::vector<BYTE> stored = {10, 0, 0, 1};  // empty: no storage
    UINT length = 4;
    bool owned = true;  // else the stream points into the agent's own data
} g_answer;
struct Asked {
    int queries = 0;
    BYTE pdu = 0;
    UINT bindings = 0;
    std::vector<UINT> name;
} g_asked;

template <typename T>
T *Global(const std::vector<T> &from)
{
    auto *p = static_cast<T *>(platform::GlobalAlloc(platform::GPTR, from.size() * sizeof(T)));
    return std::copy(from.begin(), from.end(), p) - from.size();
}

// Runs in the test program, so that every block it allocates passes the tracker.
platform::BOOL ScriptedQuery(BYTE pdu, SnmpVarBindList *list, AsnInteger32 *status, AsnInteger32 *index)
{
    SnmpVarBind &b = list->list[0];
    g_asked = {g_asked.queries + 1, pdu, list->len, {b.name.ids, b.name.ids + b.name.idLength}};
    *status = *index = 0;
    platform::GlobalFree(b.name.ids);
    b.name = {UINT(g_answer.name.size()), Global(g_answer.name)};
    static BYTE own[8];
    std::copy(g_answer.stored.begin(), g_answer.stored.end(), own);
    b.value.asnType = g_answer.type;
    if (g_answer.type == ASN_OBJECTIDENTIFIER)
        b.value.asnValue.object = {3, Global(kNextHop)};
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
    auto script = reinterpret_cast<int (*)(platform::BOOL, PFNSNMPEXTENSIONQUERY)>(dlsym(held, "FakeAgentScript"));
    ASSERT_NE(script, nullptr);
    const struct {
        const char *label;
        std::function<void(Answer &)> change;
        Address found;  // kUntouched: nothing found
    } cases[] = {
        {"plain answer", [](Answer &) {}, {10, 0, 0, 1}},
        {"longer address", [](Answer &a) { a.stored = {192, 168, 1, 254, 9, 9}, a.length = 6; }, {192, 168, 1, 254}},
        {"shorter name that agrees", [](Answer &a) { a.name.resize(8); }, {10, 0, 0, 1}},
        {"longer name, the first fourteen agree", [](Answer &a) { a.name.push_back(9); }, {10, 0, 0, 1}},
        {"address not owned by the binding", [](Answer &a) { a.owned = false; }, {10, 0, 0, 1}},
        {"name differs last", [](Answer &a) { a.name[13] = 1; }, kUntouched},
        {"query failed after writing an answer", [](Answer &a) { a.query = 0; }, kUntouched},
        {"octet string", [](Answer &a) { a.type = ASN_OCTETSTRING; }, kUntouched},
        {"sequence", [](Answer &a) { a.type = ASN_SEQUENCE; }, kUntouched},
        {"opaque", [](Answer &a) { a.type = ASN_OPAQUE; }, kUntouched},
        {"object identifier", [](Answer &a) { a.type = ASN_OBJECTIDENTIFIER; }, kUntouched},
        {"no value written", [](Answer &a) { a.type = ASN_NULL; }, kUntouched},
        {"empty address", [](Answer &a) { a.length = 0; }, kUntouched},
        {"three bytes", [](Answer &a) { a.stored.resize(3), a.length = 3; }, kUntouched},
        {"length without storage", [](Answer &a) { a.stored.clear(); }, kUntouched},
        {"initialisation failed", [](Answer &a) { a.init = 0; }, kUntouched},
        {"name copy failed", [](Answer &a) { a.failedAllocations = 1; }, kUntouched},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.label);
        g_answer = Answer{};
        c.change(g_answer);
        const int inits = script(g_answer.init, ScriptedQuery), queries = g_asked.queries;
        Address out = kUntouched;
        platform::SetLastError(0);
        alloc_tracker::Begin();
        alloc_tracker::FailNextAllocations(g_answer.failedAllocations);
        EXPECT_EQ(GetGatewayAddress(out.data(), FAKE_AGENT_PATH), c.found != kUntouched);
        alloc_tracker::FailNextAllocations(0);
        EXPECT_EQ(alloc_tracker::End(), 0u);
        EXPECT_EQ(out, c.found);
        EXPECT_EQ(script(1, nullptr), inits + 1);
        // One GetRequest binding named ipRouteNextHop.0.0.0.0, unless the lookup gave up first.
        const bool queried = g_answer.init && !g_answer.failedAllocations;
        ASSERT_EQ(g_asked.queries, queries + queried);
        EXPECT_TRUE(!queried || (g_asked.pdu == SNMP_PDU_GET && g_asked.bindings == 1 && g_asked.name == kNextHop));
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
        void *still = dlopen(path, RTLD_NOW | RTLD_NOLOAD);
        EXPECT_EQ(still, nullptr) << path;
        if (still)
            dlclose(still);
    }
}

TEST(CompareOidPrefix, ComparesOnlyTheCommonPrefix)
{
    const struct {
        std::vector<UINT> first, second;
        UINT n;
        std::int32_t expected;
    } cases[] = {
        {{1, 3, 6}, {1, 3, 6, 1}, 4, 0},     // lengths alone never differ
        {{1, 3, 6, 9}, {1, 3, 6, 1}, 3, 0},  // a difference beyond n
        {{0}, {0xFFFFFFFFu}, 1, 1},          // 32-bit wrap-around
        {{0x80000000u}, {0}, 1, INT32_MIN},
    };
    for (auto c : cases) {
        AsnObjectIdentifier first{UINT(c.first.size()), c.first.data()}, second{UINT(c.second.size()), c.second.data()};
        EXPECT_EQ(CompareOidPrefix(&first, &second, c.n), c.expected) << c.first.back();
    }
    // A length without storage compares like an empty identifier, never a read.
    UINT ids[] = {1, 3, 6};
    AsnObjectIdentifier broken{14, nullptr}, good{3, ids};
    EXPECT_EQ(CompareOidPrefix(&broken, &good, 14), 0);
}

TEST(GlobalMemory, ZeroFilledFixedBlocksOnly)
{
    auto *block = static_cast<BYTE *>(platform::GlobalAlloc(platform::GPTR, 64));
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(std::count(block, block + 64, 0), 64);
    EXPECT_EQ(platform::GlobalFree(block), nullptr);
    void *empty = platform::GlobalAlloc(platform::GMEM_FIXED, 0);  // a real block, unlike a failure
    EXPECT_NE(empty, nullptr);
    platform::GlobalFree(empty);
    EXPECT_EQ(platform::GlobalAlloc(0x0002 /* moveable */, 16), nullptr);
}

TEST(ModuleNames, PlatformNameMapsToTheModuleBesideTheExecutable)
{
    EXPECT_EQ(platform::ModulePathFor("inetmib1.dll"), platform::ExecutableDirectory() + "/libinetmib1.so");
    EXPECT_EQ(platform::ModulePathFor("OTHER.DLL"), "OTHER.DLL");
    EXPECT_FALSE(platform::LoadLibraryA("/nonexistent/libnothing.so").IsLoaded());
}

}  // namespace

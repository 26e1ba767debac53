// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The lookup against a scripted agent, whose every answer must be released, and the helpers it works with.
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

// calloc and free are wrapped at link time: while on, the tracker counts the blocks left unreleased and can make the
// next allocations fail. Fixed storage: the tracker itself must not allocate.
extern "C" void *__real_calloc(std::size_t count, std::size_t size);
extern "C" void __real_free(void *memory);
namespace tracker {
std::mutex mutex;
bool on = false;
int failures = 0;
void *live[256];
}  // namespace tracker

extern "C" void *__wrap_calloc(std::size_t count, std::size_t size)
{
    std::lock_guard<std::mutex> lock(tracker::mutex);
    if (tracker::failures > 0)
        return --tracker::failures, nullptr;
    void *memory = __real_calloc(count, size);
    void **slot = std::find(std::begin(tracker::live), std::end(tracker::live), nullptr);
    if (tracker::on && memory && slot != std::end(tracker::live))
        *slot = memory;
    return memory;
}

extern "C" void __wrap_free(void *memory)
{
    std::lock_guard<std::mutex> lock(tracker::mutex);
    std::replace(std::begin(tracker::live), std::end(tracker::live), memory, static_cast<void *>(nullptr));
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
        b.value.asnValue.string = {g_answer.stored.empty() ? nullptr
                                   : g_answer.owned        ? Global(g_answer.stored)
                                                           : own,
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
        {[](Answer &a) { a.name.resize(8); }, {10, 0, 0, 1}},     // a shorter name that agrees
        {[](Answer &a) { a.name.push_back(9); }, {10, 0, 0, 1}},  // the first fourteen agree
        {[](Answer &a) { a.owned = false; }, {10, 0, 0, 1}},      // the binding owns no storage
        {[](Answer &a) { a.name[13] = 1; }, kUntouched},
        {[](Answer &a) { a.query = 0; }, kUntouched},  // failed, after writing an answer
        {[](Answer &a) { a.type = ASN_OCTETSTRING; }, kUntouched},
        {[](Answer &a) { a.type = ASN_OBJECTIDENTIFIER; }, kUntouched},
        {[](Answer &a) { a.type = ASN_NULL; }, kUntouched},
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
        {
            std::lock_guard<std::mutex> lock(tracker::mutex);
            std::fill(std::begin(tracker::live), std::end(tracker::live), nullptr);
            tracker::on = true;
            tracker::failures = g_answer.failedAllocations;
        }
        EXPECT_EQ(GetGatewayAddress(out.data(), FAKE_AGENT_PATH), cases[i].second != kUntouched);
        tracker::mutex.lock();
        tracker::on = false;
        const auto left = 256 - std::count(std::begin(tracker::live), std::end(tracker::live), nullptr);
        tracker::mutex.unlock();
        EXPECT_EQ(left, 0) << "blocks left unreleased";
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
    EXPECT_EQ(platform::ModulePathFor("inetmib1.dll"), platform::ExecutableDirectory() + "/libinetmib1.so");
    EXPECT_EQ(platform::ModulePathFor("OTHER.DLL"), "OTHER.DLL");
}

// Sub-identifiers compare with wrap-around; a length without storage compares like an empty identifier, never a read.
TEST(CompareOidPrefix, WrapsAroundAndNeverReadsMissingStorage)
{
    UINT zero[] = {0}, top[] = {0xFFFFFFFFu}, half[] = {0x80000000u};
    AsnObjectIdentifier a{1, zero}, b{1, top}, c{1, half}, broken{14, nullptr};
    EXPECT_EQ(CompareOidPrefix(&a, &b, 1), 1);
    EXPECT_EQ(CompareOidPrefix(&c, &a, 1), INT32_MIN);
    EXPECT_EQ(CompareOidPrefix(&broken, &b, 14), 0);
}

}  // namespace

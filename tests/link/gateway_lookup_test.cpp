// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The gateway lookup against a scripted agent and against our MIB-II agent module (pointed at a routing table file of
// the test's own, never at the host's): the address it finds, and every block it allocates released.
#include "link/gateway.h"
#include "platform/global_memory.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <fstream>
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
constexpr Address kNone{0xEE, 0xEE, 0xEE, 0xEE}, kHome{192, 168, 1, 1};

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

// A line of /proc/net/route.
std::string Row(const char *gateway, const char *flags = "0003", const char *metric = "0",
                const char *mask = "00000000", const char *destination = "00000000")
{
    return std::string("eth0\t") + destination + "\t" + gateway + "\t" + flags + "\t0\t0\t" + metric + "\t" + mask +
           "\t0\t0\t0\n";
}

// One lookup from `path`; the last error must name only a failed allocation. With the scripted agent the tracker must
// find every block released (our module frees the lookup's blocks with its own free, which the tracker cannot see).
Address Lookup(const char *path, bool tracked)
{
    Address out = kNone;
    platform::SetLastError(0);
    {
        std::lock_guard<std::mutex> lock(tracker::mutex);
        std::fill(std::begin(tracker::live), std::end(tracker::live), nullptr);
        tracker::on = tracked;
        tracker::failures = g_answer.failedAllocations;
    }
    const bool found = GetGatewayAddress(out.data(), path);
    EXPECT_EQ(found, out != kNone);
    std::lock_guard<std::mutex> lock(tracker::mutex);
    tracker::on = false;
    EXPECT_EQ(std::count(std::begin(tracker::live), std::end(tracker::live), nullptr), 256) << "blocks unreleased";
    EXPECT_EQ(platform::GetLastError(), g_answer.failedAllocations ? SNMP_MEM_ALLOC_ERROR : 0u);
    return out;
}

const std::string subnet = Row("00000000", "0001", "0", "00FFFFFF", "0001A8C0");
const std::string header = "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT\n";

// clang-format off
// The scripted agent's answer changed by each row.
const std::pair<void (*)(Answer &), Address> scripts[] = {
    {[](Answer &) {}, {10, 0, 0, 1}},
    {[](Answer &a) { a.stored = {192, 168, 1, 254, 9, 9}, a.length = 6; }, {192, 168, 1, 254}},
    {[](Answer &a) { a.name.resize(8); }, {10, 0, 0, 1}},     // a shorter name that agrees
    {[](Answer &a) { a.name.push_back(9); }, {10, 0, 0, 1}},  // the first fourteen agree
    {[](Answer &a) { a.owned = false; }, {10, 0, 0, 1}},      // the binding owns no storage
    {[](Answer &a) { a.name[13] = 1; }, kNone},
    {[](Answer &a) { a.query = 0; }, kNone},  // failed, after writing an answer
    {[](Answer &a) { a.type = ASN_OCTETSTRING; }, kNone},
    {[](Answer &a) { a.type = ASN_OBJECTIDENTIFIER; }, kNone},
    {[](Answer &a) { a.stored.resize(3), a.length = 3; }, kNone},
    {[](Answer &a) { a.stored.clear(); }, kNone},  // a length without storage
    {[](Answer &a) { a.init = 0; }, kNone},
    {[](Answer &a) { a.failedAllocations = 1; }, kNone},
};
// Our module reading each routing table ("-": no table file at all).
const std::pair<std::string, Address> tables[] = {
    {header + subnet + Row("0101A8C0"), kHome},
    {subnet, kNone},
    {Row("FE01000A", "0003", "600") + Row("0101A8C0", "0003", "100") + Row("0201A8C0", "0003", "100"), kHome},
    {Row("0101A8C0", "0002") + Row("0101A8C0", "0001"), kNone},  // not up; not via a gateway
    {Row("0101A8C0", "0003", "0", "000000FF"), kNone},           // not the default's mask
    // Each row but the last would win on its metric if it were read as a route.
    {"eth0\t00000000\t0101A8C0\n" + Row("ZZ01A8C0") + Row("10101A8C0") + Row("0101A8C0", "0003", "-1") + "garbage\n\n" +
         Row("0201A8C0", "0003", "5"), {192, 168, 1, 2}},
    {"Iface\tGateway\r\neth0\t00000000\t0101a8c0\t0003\t0\t0\t0\t00000000", kHome},  // no final newline
    {Row("0101A8C0", "0003", "4294967295"), kHome},                                  // the largest metric is ten digits
    {Row("FE01000A", "0003", "4294967296") + Row("0101A8C0", "0003", "9"), kHome},   // past it: no route
    {Row("FE01000A", "0003", "00000000001") + Row("0101A8C0", "0003", "9"), kHome},  // nor eleven digits
    {"", kNone},
    {"-", kNone},
};
// clang-format on

TEST(GatewayLookup, TakesOnlyTheDefaultRoutesIpAddressAndLeaksNothing)
{
    // Both held, so that the script and the table set here survive the lookup's own load and release.
    void *agent = dlopen(FAKE_AGENT_PATH, RTLD_NOW), *module = dlopen(MIB_AGENT_PATH, RTLD_NOW);
    ASSERT_TRUE(agent && module);
    auto script = reinterpret_cast<void (*)(platform::BOOL, PFNSNMPEXTENSIONQUERY)>(dlsym(agent, "FakeAgentScript"));
    auto setTable = reinterpret_cast<void (*)(const char *)>(dlsym(module, "KestrumAgentSetRouteTable"));
    ASSERT_TRUE(script && setTable);
    const std::string file = testing::TempDir() + "kestrum_agent_route_table";
    setTable(file.c_str());
    int row = 0;
    for (const auto &[change, expected] : scripts) {
        SCOPED_TRACE(row++);
        g_answer = Answer{};
        change(g_answer);
        script(g_answer.init, ScriptedQuery);
        EXPECT_EQ(Lookup(FAKE_AGENT_PATH, true), expected);
    }
    g_answer = Answer{};
    for (const auto &[table, expected] : tables) {
        if (table == "-")
            std::remove(file.c_str());
        else
            std::ofstream(file, std::ios::binary) << table;
        SCOPED_TRACE(table);
        EXPECT_EQ(Lookup(MIB_AGENT_PATH, false), expected);
    }
    setTable("/nonexistent/kestrum-route-table");
    dlclose(module);
    dlclose(agent);
}

TEST(GatewayLookup, ReleasesTheLibraryOnEveryWayOut)
{
    for (const char *path : {FAKE_AGENT_PATH, FAKE_AGENT_NO_QUERY_PATH, FAKE_AGENT_NO_INIT_PATH, "/dev/null"}) {
        Address out = kNone;
        EXPECT_FALSE(GetGatewayAddress(out.data(), path)) << path;
        EXPECT_EQ(out, kNone);
        EXPECT_EQ(dlopen(path, RTLD_NOW | RTLD_NOLOAD), nullptr) << path;
    }
    EXPECT_EQ(platform::ModulePathFor("inetmib1.dll"), platform::ExecutableDirectory() + "/libinetmib1.so");
    EXPECT_EQ(platform::ModulePathFor("OTHER.DLL"), "OTHER.DLL");
    // Sub-identifiers compare with wrap-around; a length without storage compares like an empty identifier.
    UINT zero[] = {0}, top[] = {0xFFFFFFFFu}, half[] = {0x80000000u};
    AsnObjectIdentifier a{1, zero}, b{1, top}, c{1, half}, broken{14, nullptr};
    EXPECT_EQ(CompareOidPrefix(&a, &b, 1), 1);
    EXPECT_EQ(CompareOidPrefix(&c, &a, 1), INT32_MIN);
    EXPECT_EQ(CompareOidPrefix(&broken, &b, 14), 0);
}

// Our module straight through its entry point, as another caller might ask: the next hop is answered; a prefix of it,
// a name without storage or a get-next is refused.
TEST(GatewayLookup, TheModuleAnswersTheNextHopAndRefusesTheRest)
{
    platform::Module module = platform::Module::Open(MIB_AGENT_PATH);
    auto setTable = reinterpret_cast<void (*)(const char *)>(module.Symbol("KestrumAgentSetRouteTable"));
    auto query = reinterpret_cast<PFNSNMPEXTENSIONQUERY>(module.Symbol(SnmpExtensionQueryName));
    ASSERT_TRUE(setTable && query);
    const std::string file = testing::TempDir() + "kestrum_agent_route_table";
    std::ofstream(file, std::ios::binary) << Row("0101A8C0");
    setTable(file.c_str());
    UINT ids[] = {1, 3, 6, 1, 2, 1, 4, 21, 1, 7, 0, 0, 0, 0};
    const AsnObjectIdentifier nextHop{14, ids};
    const std::tuple<BYTE, AsnObjectIdentifier, AsnInteger32> cases[] = {
        {SNMP_PDU_GET, nextHop, 0},
        {SNMP_PDU_GET, {10, ids}, SNMP_ERRORSTATUS_NOSUCHNAME * 10 + 2},
        {SNMP_PDU_GET, {14, nullptr}, SNMP_ERRORSTATUS_GENERR * 10 + 2},
        {SNMP_PDU_GETNEXT, nextHop, SNMP_ERRORSTATUS_GENERR * 10},
    };
    for (const auto &[pdu, name, expected] : cases) {
        SnmpVarBind b[2] = {};
        b[1].name = name;
        ASSERT_TRUE(CopyOid(&b[0].name, &nextHop) && (!name.ids || CopyOid(&b[1].name, &name)));
        SnmpVarBindList list{b, 2};
        AsnInteger32 status = -1, index = -1;
        EXPECT_NE(query(pdu, &list, &status, &index), 0);
        EXPECT_EQ(status * 10 + index, expected) << "status*10+index";
        const AsnOctetString &address = b[0].value.asnValue.address;
        const bool answered = b[0].value.asnType == ASN_IPADDRESS && address.length == 4 && address.dynamic &&
                              std::memcmp(address.stream, kHome.data(), 4) == 0;
        EXPECT_EQ(answered, pdu == SNMP_PDU_GET);
        FreeVarBind(&b[0]);
        FreeVarBind(&b[1]);
    }
    AsnInteger32 s = -1;
    EXPECT_FALSE(query(SNMP_PDU_GET, nullptr, &s, &s));  // nowhere to answer into
    setTable("/nonexistent/kestrum-route-table");
    std::remove(file.c_str());
}

}  // namespace

// The lookup against scripted agents: every way the answer can fail, and that
// each way releases what was allocated and the library.
#include "link/gateway.h"
#include "platform/global_memory.h"
#include "platform/module.h"
#include "tests/gateway/alloc_tracker.h"
#include "tests/gateway/fake_agent.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <array>
#include <cstring>

using platform::UINT;

namespace {

using Bytes = std::array<std::uint8_t, 4>;
constexpr Bytes kUntouched{0xEE, 0xEE, 0xEE, 0xEE};
const UINT kRequest[14] = {1, 3, 6, 1, 2, 1, 4, 21, 1, 7, 0, 0, 0, 0};

bool IsStillLoaded(const char *path)
{
    void *handle = dlopen(path, RTLD_NOW | RTLD_NOLOAD);
    if (handle)
        dlclose(handle);
    return handle != nullptr;
}

// Holds the fake loaded so that its script survives the lookup's own load and release.
class ScriptedAgent : public testing::Test {
protected:
    void SetUp() override
    {
        m_module = platform::Module::Open(FAKE_AGENT_PATH);
        ASSERT_TRUE(m_module.IsLoaded());
        m_setScript = reinterpret_cast<PFNFAKESETSCRIPT>(m_module.Symbol("FakeAgentSetScript"));
        m_getRecord = reinterpret_cast<PFNFAKEGETRECORD>(m_module.Symbol("FakeAgentGetRecord"));
        auto setAllocator = reinterpret_cast<PFNFAKESETALLOCATOR>(m_module.Symbol("FakeAgentSetAllocator"));
        ASSERT_TRUE(m_setScript && m_getRecord && setAllocator);
        setAllocator(platform::GlobalAlloc, platform::GlobalFree);
    }

    // Runs one lookup under the script; the output bytes, the result and the
    // blocks left unreleased.
    bool Lookup(const FakeAgentScript &script, Bytes &out, std::size_t &leaked, FakeAgentRecord &before,
                FakeAgentRecord &after)
    {
        m_setScript(&script);
        m_getRecord(&before);
        out = kUntouched;
        alloc_tracker::Begin();
        const bool found = GetGatewayAddress(out.data(), FAKE_AGENT_PATH);
        leaked = alloc_tracker::End();
        m_getRecord(&after);
        return found;
    }

    platform::Module m_module;
    PFNFAKESETSCRIPT m_setScript = nullptr;
    PFNFAKEGETRECORD m_getRecord = nullptr;
};

struct AnswerCase {
    const char *label;
    void (*script)(FakeAgentScript &);
    bool found;
    Bytes expected;
};

const AnswerCase kAnswers[] = {
    {"plain answer", [](FakeAgentScript &) {}, true, {10, 0, 0, 1}},
    {"longer address: first four bytes",
     [](FakeAgentScript &s) {
         s.valueLength = s.storedBytes = 6;
         std::memcpy(s.valueBytes, "\xC0\xA8\x01\xFE\x09\x09", 6);
     },
     true, {192, 168, 1, 254}},
    {"name left as asked", [](FakeAgentScript &s) { s.writeName = false; }, true, {10, 0, 0, 1}},
    {"shorter name that agrees",
     [](FakeAgentScript &s) { s.nameLength = 8; }, true, {10, 0, 0, 1}},
    {"longer name, first fourteen agree",
     [](FakeAgentScript &s) {
         s.nameLength = 15;
         s.nameIds[14] = 9;
     },
     true, {10, 0, 0, 1}},
    {"address not owned by the binding",
     [](FakeAgentScript &s) { s.valueDynamic = 0; }, true, {10, 0, 0, 1}},
    {"query failed after writing an answer", [](FakeAgentScript &s) { s.queryResult = 0; }, false, kUntouched},
    {"name differs first", [](FakeAgentScript &s) { s.nameIds[0] = 2; }, false, kUntouched},
    {"name differs in the middle", [](FakeAgentScript &s) { s.nameIds[7] = 22; }, false, kUntouched},
    {"name differs last", [](FakeAgentScript &s) { s.nameIds[13] = 1; }, false, kUntouched},
    {"shorter name that differs",
     [](FakeAgentScript &s) {
         s.nameLength = 8;
         s.nameIds[5] = 2;
     },
     false, kUntouched},
    {"octet string", [](FakeAgentScript &s) { s.valueType = ASN_OCTETSTRING; }, false, kUntouched},
    {"opaque", [](FakeAgentScript &s) { s.valueType = ASN_OPAQUE; }, false, kUntouched},
    {"object identifier value",
     [](FakeAgentScript &s) {
         s.valueType = ASN_OBJECTIDENTIFIER;
         s.valueLength = 3;
     },
     false, kUntouched},
    {"integer value", [](FakeAgentScript &s) { s.valueType = ASN_INTEGER; }, false, kUntouched},
    {"no value written", [](FakeAgentScript &s) { s.writeValue = false; }, false, kUntouched},
    {"empty address", [](FakeAgentScript &s) { s.valueLength = 0; }, false, kUntouched},
    {"one byte", [](FakeAgentScript &s) { s.valueLength = s.storedBytes = 1; }, false, kUntouched},
    {"two bytes", [](FakeAgentScript &s) { s.valueLength = s.storedBytes = 2; }, false, kUntouched},
    {"three bytes", [](FakeAgentScript &s) { s.valueLength = s.storedBytes = 3; }, false, kUntouched},
    {"length without storage", [](FakeAgentScript &s) { s.storedBytes = 0; }, false, kUntouched},
};

TEST_F(ScriptedAgent, AcceptsOnlyAMatchingIpAddressAndLeaksNothing)
{
    for (const AnswerCase &c : kAnswers) {
        FakeAgentScript script;
        c.script(script);
        Bytes out;
        std::size_t leaked = 0;
        FakeAgentRecord before, after;
        const bool found = Lookup(script, out, leaked, before, after);
        EXPECT_EQ(found, c.found) << c.label;
        EXPECT_EQ(out, c.expected) << c.label;
        EXPECT_EQ(leaked, 0u) << c.label;
        EXPECT_EQ(after.initCalls, before.initCalls + 1) << c.label;
        ASSERT_EQ(after.queryCalls, before.queryCalls + 1) << c.label;
        // The request itself: one GetRequest binding named ipRouteNextHop.0.0.0.0.
        EXPECT_EQ(after.pduType, SNMP_PDU_GET) << c.label;
        EXPECT_EQ(after.listLength, 1u) << c.label;
        ASSERT_EQ(after.requestLength, 14u) << c.label;
        EXPECT_EQ(std::memcmp(after.requestIds, kRequest, sizeof kRequest), 0) << c.label;
    }
}

TEST_F(ScriptedAgent, FailedInitialisationSkipsTheQuery)
{
    FakeAgentScript script;
    script.initResult = 0;
    Bytes out;
    std::size_t leaked = 0;
    FakeAgentRecord before, after;
    EXPECT_FALSE(Lookup(script, out, leaked, before, after));
    EXPECT_EQ(out, kUntouched);
    EXPECT_EQ(leaked, 0u);
    EXPECT_EQ(after.initCalls, before.initCalls + 1);
    EXPECT_EQ(after.queryCalls, before.queryCalls);
}

TEST_F(ScriptedAgent, FailedNameCopySkipsTheQuery)
{
    FakeAgentScript script;
    m_setScript(&script);
    FakeAgentRecord before, after;
    m_getRecord(&before);
    Bytes out = kUntouched;
    platform::SetLastError(0);
    alloc_tracker::FailNextAllocations(1);
    EXPECT_FALSE(GetGatewayAddress(out.data(), FAKE_AGENT_PATH));
    alloc_tracker::FailNextAllocations(0);
    m_getRecord(&after);
    EXPECT_EQ(out, kUntouched);
    EXPECT_EQ(platform::GetLastError(), SNMP_MEM_ALLOC_ERROR);
    EXPECT_EQ(after.initCalls, before.initCalls + 1);
    EXPECT_EQ(after.queryCalls, before.queryCalls);
}

// Modules not held by the test: after each lookup the library must be gone.
// (A fresh fake uses its own heap calls, so leaks are counted by the tests above.)
TEST(AgentLibrary, ReleasedOnEveryWayOut)
{
    struct Case {
        const char *label;
        const char *path;
        bool found;
    };
    const Case cases[] = {
        {"complete agent", FAKE_AGENT_PATH, true},
        {"no SnmpExtensionQuery", FAKE_AGENT_NO_QUERY_PATH, false},
        {"no SnmpExtensionInit", FAKE_AGENT_NO_INIT_PATH, false},
        {"no such library", "/nonexistent/libinetmib1.so", false},
        {"not a library", "/dev/null", false},
    };
    for (const Case &c : cases) {
        ASSERT_FALSE(IsStillLoaded(c.path)) << c.label;
        Bytes out = kUntouched;
        EXPECT_EQ(GetGatewayAddress(out.data(), c.path), c.found) << c.label;
        EXPECT_EQ(out, (c.found ? Bytes{10, 0, 0, 1} : kUntouched)) << c.label;
        EXPECT_FALSE(IsStillLoaded(c.path)) << c.label;
    }
}

TEST(AgentLibrary, MissingQueryEntryIsNeverCalled)
{
    // The agent initialises, but without a query entry nothing more may happen.
    platform::Module held = platform::Module::Open(FAKE_AGENT_NO_QUERY_PATH);
    ASSERT_TRUE(held.IsLoaded());
    auto getRecord = reinterpret_cast<PFNFAKEGETRECORD>(held.Symbol("FakeAgentGetRecord"));
    ASSERT_NE(getRecord, nullptr);
    Bytes out = kUntouched;
    EXPECT_FALSE(GetGatewayAddress(out.data(), FAKE_AGENT_NO_QUERY_PATH));
    FakeAgentRecord record;
    getRecord(&record);
    EXPECT_EQ(record.initCalls, 1);
    EXPECT_EQ(record.queryCalls, 0);
    EXPECT_EQ(out, kUntouched);
}

}  // namespace

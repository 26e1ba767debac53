// Our MIB-II agent module, loaded as the program loads it, always pointed at a
// routing table file of the test's own, never at the host's.
#include "link/gateway.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <vector>

namespace {

using Address = std::array<std::uint8_t, 4>;
const Address kHome{192, 168, 1, 1}, kUntouched{0xEE, 0xEE, 0xEE, 0xEE};
const std::string kDefaultRoute = "eth0\t00000000\t0101A8C0\t0003\t0\t0\t100\t00000000\t0\t0\t0\n";

class MibAgentModule : public testing::Test {
protected:
    // Held for the whole test, so that the table set here outlives the lookup's
    // own load and release of the same module.
    void SetUp() override
    {
        m_setTable = reinterpret_cast<void (*)(const char *)>(m_module.Symbol("KestrumAgentSetRouteTable"));
        ASSERT_TRUE(m_setTable && m_query);
        m_setTable(m_table.c_str());
    }
    void TearDown() override
    {
        if (m_setTable)
            m_setTable("/nonexistent/kestrum-route-table");
        std::remove(m_table.c_str());
    }
    void WriteTable(const std::string &text) { std::ofstream(m_table, std::ios::binary) << text; }
    Address Lookup(bool byPlatformName = false)
    {
        Address out = kUntouched;
        const bool found = byPlatformName ? GetGatewayAddress(out.data()) : GetGatewayAddress(out.data(), MIB_AGENT_PATH);
        EXPECT_EQ(found, out != kUntouched);
        return out;
    }

    const std::string m_table = testing::TempDir() + "kestrum_agent_route_table";
    platform::Module m_module = platform::Module::Open(MIB_AGENT_PATH);
    void (*m_setTable)(const char *) = nullptr;
    PFNSNMPEXTENSIONQUERY m_query = reinterpret_cast<PFNSNMPEXTENSIONQUERY>(m_module.Symbol(SnmpExtensionQueryName));
};

TEST_F(MibAgentModule, LookupThroughTheModule)
{
    const std::string subnet = "eth0\t0001A8C0\t00000000\t0001\t0\t0\t100\t00FFFFFF\t0\t0\t0\n";
    for (const auto &c : {std::make_pair(subnet + kDefaultRoute, kHome), {subnet, kUntouched}, {"", kUntouched}}) {
        WriteTable("Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT\n" + c.first);
        EXPECT_EQ(Lookup(), c.second) << c.first;
    }
    std::remove(m_table.c_str());
    EXPECT_EQ(Lookup(), kUntouched);
}

// The program's own call, by platform name, only when that name resolves to the
// very module held here, whose table is the test's.
TEST_F(MibAgentModule, PlatformNameLoadsThisModule)
{
    void *named = dlopen(platform::ModulePathFor("INETMIB1.DLL").c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (named)
        dlclose(named);
    if (reinterpret_cast<std::uintptr_t>(named) != m_module.HandleValue())
        GTEST_SKIP() << "INETMIB1.DLL does not resolve to the module under test";
    WriteTable(kDefaultRoute);
    EXPECT_EQ(Lookup(true), kHome);
}

// Requests straight through the entry point, as a caller other than the lookup might send them.
TEST_F(MibAgentModule, AnswersTheNextHopAndRefusesTheRest)
{
    WriteTable(kDefaultRoute);
    platform::UINT nextHop[] = {1, 3, 6, 1, 2, 1, 4, 21, 1, 7, 0, 0, 0, 0}, other[] = {1, 3, 6, 1, 2, 1, 1, 1, 0};
    const struct {
        platform::BYTE pdu;
        std::vector<AsnObjectIdentifier> names;
        AsnInteger32 status, index;
        std::size_t answered;  // leading bindings that must carry the gateway's address
    } cases[] = {
        {SNMP_PDU_GET, {{14, nextHop}}, SNMP_ERRORSTATUS_NOERROR, 0, 1},
        {SNMP_PDU_GET, {{10, nextHop}}, SNMP_ERRORSTATUS_NOSUCHNAME, 1, 0},  // a prefix of the object
        {SNMP_PDU_GET, {{14, nextHop}, {9, other}}, SNMP_ERRORSTATUS_NOSUCHNAME, 2, 1},
        {SNMP_PDU_GET, {{14, nullptr}}, SNMP_ERRORSTATUS_GENERR, 1, 0},
        {SNMP_PDU_GETNEXT, {{14, nextHop}}, SNMP_ERRORSTATUS_GENERR, 0, 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.names[0].idLength * 10 + c.names.size());
        std::vector<SnmpVarBind> bindings(c.names.size());
        for (std::size_t i = 0; i < c.names.size(); ++i) {
            bindings[i].value.asnType = ASN_NULL;
            bindings[i].name = c.names[i];  // a name without storage stays as it is
            ASSERT_TRUE(!c.names[i].ids || CopyOid(&bindings[i].name, &c.names[i]));
        }
        SnmpVarBindList list{bindings.data(), static_cast<platform::UINT>(bindings.size())};
        AsnInteger32 status = -1, index = -1;
        EXPECT_NE(m_query(c.pdu, &list, &status, &index), 0);
        EXPECT_EQ(status, c.status);
        EXPECT_EQ(index, c.index);
        for (std::size_t i = 0; i < bindings.size(); ++i) {
            const AsnOctetString &address = bindings[i].value.asnValue.address;
            EXPECT_EQ(bindings[i].value.asnType, i < c.answered ? ASN_IPADDRESS : ASN_NULL);
            EXPECT_TRUE(i >= c.answered || (address.length == 4 && address.dynamic &&
                                            !std::memcmp(address.stream, kHome.data(), 4) &&
                                            !std::memcmp(bindings[i].name.ids, nextHop, sizeof nextHop)));
            FreeVarBind(&bindings[i]);
        }
    }
    // Nowhere to answer into: refused; no bindings at all: nothing to do.
    SnmpVarBind binding{};
    SnmpVarBindList one{&binding, 1}, missing{nullptr, 1}, none{nullptr, 0};
    AsnInteger32 s = -1, i = -1;
    EXPECT_FALSE(m_query(SNMP_PDU_GET, nullptr, &s, &i) || m_query(SNMP_PDU_GET, &missing, &s, &i) ||
                 m_query(SNMP_PDU_GET, &one, nullptr, &i) || m_query(SNMP_PDU_GET, &one, &s, nullptr));
    EXPECT_TRUE(m_query(SNMP_PDU_GET, &none, &s, &i) && s == SNMP_ERRORSTATUS_NOERROR);
}

}  // namespace

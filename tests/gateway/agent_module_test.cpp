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

using platform::UINT;

namespace {

using Address = std::array<std::uint8_t, 4>;
const std::string kDefaultRoute = "eth0\t00000000\t0101A8C0\t0003\t0\t0\t100\t00000000\t0\t0\t0\n";
const std::string kSubnetRoute = "eth0\t0001A8C0\t00000000\t0001\t0\t0\t100\t00FFFFFF\t0\t0\t0\n";

class MibAgentModule : public testing::Test {
protected:
    void SetUp() override
    {
        // Held for the whole test, so that the table set here outlives the
        // lookup's own load and release of the same module.
        m_module = platform::Module::Open(MIB_AGENT_PATH);
        m_setTable = reinterpret_cast<void (*)(const char *)>(m_module.Symbol("KestrumAgentSetRouteTable"));
        m_query = reinterpret_cast<PFNSNMPEXTENSIONQUERY>(m_module.Symbol(SnmpExtensionQueryName));
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
    bool Lookup(Address &out, const char *library = MIB_AGENT_PATH)
    {
        out = {0xEE, 0xEE, 0xEE, 0xEE};
        return library ? GetGatewayAddress(out.data(), library) : GetGatewayAddress(out.data());
    }

    const std::string m_table = testing::TempDir() + "kestrum_agent_route_table";
    platform::Module m_module;
    void (*m_setTable)(const char *) = nullptr;
    PFNSNMPEXTENSIONQUERY m_query = nullptr;
};

TEST_F(MibAgentModule, LookupThroughTheModule)
{
    for (const auto &c : {std::make_pair(kSubnetRoute + kDefaultRoute, true), {kSubnetRoute, false}, {"", false}}) {
        WriteTable("Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT\n" + c.first);
        Address out;
        EXPECT_EQ(Lookup(out), c.second) << c.first;
        EXPECT_EQ(out, (c.second ? Address{192, 168, 1, 1} : Address{0xEE, 0xEE, 0xEE, 0xEE}));
    }
    std::remove(m_table.c_str());
    Address out;
    EXPECT_FALSE(Lookup(out));
}

TEST_F(MibAgentModule, PlatformNameLoadsThisModule)
{
    // The program's own call, by platform name, only when that name resolves to
    // the very module held here, whose table is the test's.
    void *named = dlopen(platform::ModulePathFor("INETMIB1.DLL").c_str(), RTLD_NOW | RTLD_NOLOAD);
    const bool same = named && reinterpret_cast<std::uintptr_t>(named) == m_module.HandleValue();
    if (named)
        dlclose(named);
    if (!same)
        GTEST_SKIP() << "INETMIB1.DLL does not resolve to the module under test";
    WriteTable(kDefaultRoute);
    Address out;
    EXPECT_TRUE(Lookup(out, nullptr));
    EXPECT_EQ(out, (Address{192, 168, 1, 1}));
}

// Requests straight through the entry point, as a caller other than the lookup might send them.
TEST_F(MibAgentModule, AnswersTheNextHopAndRefusesTheRest)
{
    WriteTable(kDefaultRoute);
    UINT nextHop[] = {1, 3, 6, 1, 2, 1, 4, 21, 1, 7, 0, 0, 0, 0}, sysDescr[] = {1, 3, 6, 1, 2, 1, 1, 1, 0};
    const struct {
        const char *label;
        platform::BYTE pdu;
        std::vector<AsnObjectIdentifier> names;
        AsnInteger32 status, index;
        std::size_t answered;  // leading bindings that must carry the gateway's address
    } cases[] = {
        {"next hop of the default route", SNMP_PDU_GET, {{14, nextHop}}, SNMP_ERRORSTATUS_NOERROR, 0, 1},
        {"unknown object", SNMP_PDU_GET, {{9, sysDescr}}, SNMP_ERRORSTATUS_NOSUCHNAME, 1, 0},
        {"prefix of the object", SNMP_PDU_GET, {{10, nextHop}}, SNMP_ERRORSTATUS_NOSUCHNAME, 1, 0},
        {"second binding unknown", SNMP_PDU_GET, {{14, nextHop}, {9, sysDescr}}, SNMP_ERRORSTATUS_NOSUCHNAME, 2, 1},
        {"name without storage", SNMP_PDU_GET, {{14, nullptr}}, SNMP_ERRORSTATUS_GENERR, 1, 0},
        {"get-next", SNMP_PDU_GETNEXT, {{14, nextHop}}, SNMP_ERRORSTATUS_GENERR, 0, 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.label);
        std::vector<SnmpVarBind> bindings(c.names.size());
        for (std::size_t i = 0; i < c.names.size(); ++i) {
            bindings[i].value.asnType = ASN_NULL;
            if (c.names[i].ids)
                ASSERT_TRUE(CopyOid(&bindings[i].name, &c.names[i]));
            else
                bindings[i].name = c.names[i];
        }
        SnmpVarBindList list{bindings.data(), static_cast<UINT>(bindings.size())};
        AsnInteger32 status = -1, index = -1;
        EXPECT_NE(m_query(c.pdu, &list, &status, &index), 0);
        EXPECT_EQ(status, c.status);
        EXPECT_EQ(index, c.index);
        for (std::size_t i = 0; i < bindings.size(); ++i) {
            const AsnOctetString &address = bindings[i].value.asnValue.address;
            EXPECT_EQ(bindings[i].value.asnType, i < c.answered ? ASN_IPADDRESS : ASN_NULL);
            if (i < c.answered) {
                ASSERT_TRUE(address.length == 4 && address.dynamic && bindings[i].name.idLength == 14);
                EXPECT_EQ(std::memcmp(address.stream, "\xC0\xA8\x01\x01", 4), 0);
                EXPECT_EQ(std::memcmp(bindings[i].name.ids, nextHop, sizeof nextHop), 0);
            }
            FreeVarBind(&bindings[i]);
        }
    }
    // Nowhere to answer into: refused; no bindings at all: nothing to do.
    SnmpVarBind binding{};
    SnmpVarBindList one{&binding, 1}, missing{nullptr, 1}, none{nullptr, 0};
    AsnInteger32 status = -1, index = -1;
    EXPECT_EQ(m_query(SNMP_PDU_GET, nullptr, &status, &index), 0);
    EXPECT_EQ(m_query(SNMP_PDU_GET, &missing, &status, &index), 0);
    EXPECT_EQ(m_query(SNMP_PDU_GET, &one, nullptr, &index), 0);
    EXPECT_EQ(m_query(SNMP_PDU_GET, &one, &status, nullptr), 0);
    EXPECT_NE(m_query(SNMP_PDU_GET, &none, &status, &index), 0);
    EXPECT_EQ(status, SNMP_ERRORSTATUS_NOERROR);
}

}  // namespace

// Our MIB-II agent module, loaded as the product loads it, always pointed at a
// routing table file of the test's own.
#include "link/gateway.h"
#include "platform/module.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

using platform::UINT;

namespace {

using Bytes = std::array<std::uint8_t, 4>;
constexpr Bytes kUntouched{0xEE, 0xEE, 0xEE, 0xEE};
const char *const kHeader = "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT\n";
const char *const kDefaultRoute = "eth0\t00000000\t0101A8C0\t0003\t0\t0\t100\t00000000\t0\t0\t0\n";
const char *const kSubnetRoute = "eth0\t0001A8C0\t00000000\t0001\t0\t0\t100\t00FFFFFF\t0\t0\t0\n";

typedef void (*PFNSETROUTETABLE)(const char *path);

class MibAgentModule : public testing::Test {
protected:
    void SetUp() override
    {
        m_table = testing::TempDir() + "kestrum_agent_route_table";
        WriteTable("");
        // Held for the whole test, so the table location set here outlives the
        // lookup's own load and release of the same module.
        m_module = platform::Module::Open(MIB_AGENT_PATH);
        ASSERT_TRUE(m_module.IsLoaded());
        m_setTable = reinterpret_cast<PFNSETROUTETABLE>(m_module.Symbol("KestrumAgentSetRouteTable"));
        m_init = reinterpret_cast<PFNSNMPEXTENSIONINIT>(m_module.Symbol(SnmpExtensionInitName));
        m_query = reinterpret_cast<PFNSNMPEXTENSIONQUERY>(m_module.Symbol(SnmpExtensionQueryName));
        ASSERT_TRUE(m_setTable && m_init && m_query);
        m_setTable(m_table.c_str());
    }

    void TearDown() override
    {
        // Never back to the host's table while anything may still ask.
        if (m_setTable)
            m_setTable("/nonexistent/kestrum-route-table");
        std::remove(m_table.c_str());
    }

    void WriteTable(const std::string &text)
    {
        std::ofstream out(m_table, std::ios::binary | std::ios::trunc);
        out << text;
    }

    std::string m_table;
    platform::Module m_module;
    PFNSETROUTETABLE m_setTable = nullptr;
    PFNSNMPEXTENSIONINIT m_init = nullptr;
    PFNSNMPEXTENSIONQUERY m_query = nullptr;
};

TEST_F(MibAgentModule, LookupThroughTheModule)
{
    struct Case {
        const char *label;
        std::string table;
        bool found;
    };
    const Case cases[] = {
        {"default route", std::string(kHeader) + kSubnetRoute + kDefaultRoute, true},
        {"no default route", std::string(kHeader) + kSubnetRoute, false},
        {"empty table", "", false},
    };
    for (const Case &c : cases) {
        WriteTable(c.table);
        Bytes out = kUntouched;
        EXPECT_EQ(GetGatewayAddress(out.data(), MIB_AGENT_PATH), c.found) << c.label;
        EXPECT_EQ(out, (c.found ? Bytes{192, 168, 1, 1} : kUntouched)) << c.label;
    }
    m_setTable("/nonexistent/kestrum-route-table");
    Bytes out = kUntouched;
    EXPECT_FALSE(GetGatewayAddress(out.data(), MIB_AGENT_PATH));
}

TEST_F(MibAgentModule, PlatformNameLoadsThisModule)
{
    // The program's own call, by platform name; only when that name resolves to
    // the very module held here, whose table is the test's.
    const std::string path = platform::ModulePathFor("INETMIB1.DLL");
    void *named = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
    const bool same = named && reinterpret_cast<std::uintptr_t>(named) == m_module.HandleValue();
    if (named)
        dlclose(named);
    if (!same)
        GTEST_SKIP() << "INETMIB1.DLL does not resolve to the module under test";
    WriteTable(std::string(kHeader) + kDefaultRoute);
    Bytes out = kUntouched;
    EXPECT_TRUE(GetGatewayAddress(out.data()));
    EXPECT_EQ(out, (Bytes{192, 168, 1, 1}));
}

TEST_F(MibAgentModule, InitialisationFillsTrapEventAndView)
{
    HANDLE trapEvent = reinterpret_cast<HANDLE>(0x1);
    AsnObjectIdentifier view{};
    EXPECT_NE(m_init(0, &trapEvent, &view), 0);
    EXPECT_EQ(trapEvent, nullptr);
    ASSERT_GT(view.idLength, 0u);
    ASSERT_NE(view.ids, nullptr);
    EXPECT_EQ(view.ids[0], 1u);
    EXPECT_NE(m_init(0, nullptr, nullptr), 0);
}

// Requests answered straight through the entry point, as a caller other than
// the lookup might send them.
TEST_F(MibAgentModule, AnswersRequestsAndRefusesTheRest)
{
    WriteTable(std::string(kHeader) + kDefaultRoute);
    UINT nextHop[] = {1, 3, 6, 1, 2, 1, 4, 21, 1, 7, 0, 0, 0, 0};
    UINT sysDescr[] = {1, 3, 6, 1, 2, 1, 1, 1, 0};
    struct Case {
        const char *label;
        platform::BYTE pdu;
        std::vector<AsnObjectIdentifier> names;
        AsnInteger32 status;
        AsnInteger32 index;
        std::size_t answered;  // bindings that must carry the gateway address
    };
    const Case cases[] = {
        {"next hop of the default route", SNMP_PDU_GET, {{14, nextHop}}, SNMP_ERRORSTATUS_NOERROR, 0, 1},
        {"unknown object", SNMP_PDU_GET, {{9, sysDescr}}, SNMP_ERRORSTATUS_NOSUCHNAME, 1, 0},
        {"prefix of the object", SNMP_PDU_GET, {{10, nextHop}}, SNMP_ERRORSTATUS_NOSUCHNAME, 1, 0},
        {"second binding unknown", SNMP_PDU_GET, {{14, nextHop}, {9, sysDescr}}, SNMP_ERRORSTATUS_NOSUCHNAME, 2, 1},
        {"name without storage", SNMP_PDU_GET, {{14, nullptr}}, SNMP_ERRORSTATUS_GENERR, 1, 0},
        {"get-next", SNMP_PDU_GETNEXT, {{14, nextHop}}, SNMP_ERRORSTATUS_GENERR, 0, 0},
        {"set", SNMP_PDU_SET, {{14, nextHop}}, SNMP_ERRORSTATUS_GENERR, 0, 0},
    };
    for (const Case &c : cases) {
        std::vector<SnmpVarBind> bindings(c.names.size());
        for (std::size_t i = 0; i < c.names.size(); ++i) {
            bindings[i] = SnmpVarBind{};
            bindings[i].value.asnType = ASN_NULL;
            if (c.names[i].ids)
                ASSERT_TRUE(CopyOid(&bindings[i].name, &c.names[i]));
            else
                bindings[i].name = c.names[i];
        }
        SnmpVarBindList list{bindings.data(), static_cast<UINT>(bindings.size())};
        AsnInteger32 status = -1, index = -1;
        EXPECT_NE(m_query(c.pdu, &list, &status, &index), 0) << c.label;
        EXPECT_EQ(status, c.status) << c.label;
        EXPECT_EQ(index, c.index) << c.label;
        for (std::size_t i = 0; i < bindings.size(); ++i) {
            const AsnAny &value = bindings[i].value;
            if (i < c.answered) {
                ASSERT_EQ(value.asnType, ASN_IPADDRESS) << c.label;
                ASSERT_EQ(value.asnValue.address.length, 4u) << c.label;
                EXPECT_NE(value.asnValue.address.dynamic, 0) << c.label;
                EXPECT_EQ(std::memcmp(value.asnValue.address.stream, "\xC0\xA8\x01\x01", 4), 0) << c.label;
                ASSERT_EQ(bindings[i].name.idLength, 14u) << c.label;
                EXPECT_EQ(std::memcmp(bindings[i].name.ids, nextHop, sizeof nextHop), 0) << c.label;
            } else {
                EXPECT_EQ(value.asnType, ASN_NULL) << c.label;
            }
            FreeVarBind(&bindings[i]);
        }
    }
}

TEST_F(MibAgentModule, MalformedCallsAreRefused)
{
    AsnInteger32 status = 0, index = 0;
    SnmpVarBindList noBindings{nullptr, 1};
    SnmpVarBind binding{};
    SnmpVarBindList one{&binding, 1};
    EXPECT_EQ(m_query(SNMP_PDU_GET, nullptr, &status, &index), 0);
    EXPECT_EQ(m_query(SNMP_PDU_GET, &noBindings, &status, &index), 0);
    EXPECT_EQ(m_query(SNMP_PDU_GET, &one, nullptr, &index), 0);
    EXPECT_EQ(m_query(SNMP_PDU_GET, &one, &status, nullptr), 0);
    SnmpVarBindList empty{nullptr, 0};
    EXPECT_NE(m_query(SNMP_PDU_GET, &empty, &status, &index), 0);
    EXPECT_EQ(status, SNMP_ERRORSTATUS_NOERROR);
}

}  // namespace

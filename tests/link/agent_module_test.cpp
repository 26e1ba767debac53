// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Our MIB-II agent module, loaded as the program loads it, always pointed at a routing table file of the test's own,
// never at the host's.
#include "link/gateway.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <tuple>

namespace {

using Address = std::array<std::uint8_t, 4>;
const Address kHome{192, 168, 1, 1}, kUntouched{0xEE, 0xEE, 0xEE, 0xEE};

std::string Row(const char *gateway, const char *flags = "0003", const char *metric = "0",
                const char *mask = "00000000", const char *destination = "00000000")
{
    return std::string("eth0\t") + destination + "\t" + gateway + "\t" + flags + "\t0\t0\t" + metric + "\t" + mask +
           "\t0\t0\t0\n";
}

class MibAgentModule : public testing::Test {
protected:
    // The module stays loaded for the whole test, so that the table set here outlives the lookup's own load and release
    // of it.
    void SetUp() override
    {
        m_setTable = reinterpret_cast<void (*)(const char *)>(m_module.Symbol("KestrumAgentSetRouteTable"));
        ASSERT_TRUE(m_setTable);
        ASSERT_TRUE(m_query);
        m_setTable(m_table.c_str());
    }
    void TearDown() override
    {
        if (m_setTable)
            m_setTable("/nonexistent/kestrum-route-table");
        std::remove(m_table.c_str());
    }
    void WriteTable(const std::string &text) { std::ofstream(m_table, std::ios::binary) << text; }
    Address Lookup()
    {
        Address out = kUntouched;
        const bool found = GetGatewayAddress(out.data(), MIB_AGENT_PATH);
        EXPECT_EQ(found, out != kUntouched);
        return out;
    }

    const std::string m_table = testing::TempDir() + "kestrum_agent_route_table";
    platform::Module m_module = platform::Module::Open(MIB_AGENT_PATH);
    void (*m_setTable)(const char *) = nullptr;
    PFNSNMPEXTENSIONQUERY m_query = reinterpret_cast<PFNSNMPEXTENSIONQUERY>(m_module.Symbol(SnmpExtensionQueryName));
};

// As the lookup reads it: the next hop of the default route, the one of lowest metric, the first among equals; lines
// that are no routes are passed over.
TEST_F(MibAgentModule, FindsTheDefaultRoutesNextHop)
{
    const std::string subnet = Row("00000000", "0001", "0", "00FFFFFF", "0001A8C0");
    const std::string header = "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT\n";
    // Each row of the sixth would win on its metric if it were read as a route.
    // clang-format off
    const std::pair<std::string, Address> cases[] = {
        {header + subnet + Row("0101A8C0"), kHome},
        {subnet, kUntouched},
        {Row("FE01000A", "0003", "600") + Row("0101A8C0", "0003", "100") + Row("0201A8C0", "0003", "100"), kHome},
        {Row("0101A8C0", "0002") + Row("0101A8C0", "0001"), kUntouched},  // not up; not via a gateway
        {Row("0101A8C0", "0003", "0", "000000FF"), kUntouched},           // not the default's mask
        {"eth0\t00000000\t0101A8C0\n" + Row("ZZ01A8C0") + Row("10101A8C0") + Row("0101A8C0", "0003", "-1") +
             "garbage\n\n" + Row("0201A8C0", "0003", "5"), {192, 168, 1, 2}},
        {"Iface\tGateway\r\neth0\t00000000\t0101a8c0\t0003\t0\t0\t0\t00000000", kHome},  // no final newline
        {Row("0101A8C0", "0003", "4294967295"), kHome},  // the largest metric is ten digits
        {Row("FE01000A", "0003", "4294967296") + Row("0101A8C0", "0003", "9"), kHome},  // past it: no route
        {"", kUntouched},
    };
    // clang-format on
    for (const auto &c : cases) {
        WriteTable(c.first);
        EXPECT_EQ(Lookup(), c.second) << c.first;
    }
    std::remove(m_table.c_str());
    EXPECT_EQ(Lookup(), kUntouched);
}

// Straight through the entry point, as another caller might ask: the next hop is answered, a prefix of it, a name
// without storage or a get-next is refused.
TEST_F(MibAgentModule, AnswersTheNextHopAndRefusesTheRest)
{
    WriteTable(Row("0101A8C0"));
    platform::UINT ids[] = {1, 3, 6, 1, 2, 1, 4, 21, 1, 7, 0, 0, 0, 0};
    const AsnObjectIdentifier nextHop{14, ids};
    const std::tuple<platform::BYTE, AsnObjectIdentifier, AsnInteger32, AsnInteger32> cases[] = {
        {SNMP_PDU_GET, nextHop, SNMP_ERRORSTATUS_NOERROR, 0},
        {SNMP_PDU_GET, {10, ids}, SNMP_ERRORSTATUS_NOSUCHNAME, 2},
        {SNMP_PDU_GET, {14, nullptr}, SNMP_ERRORSTATUS_GENERR, 2},
        {SNMP_PDU_GETNEXT, nextHop, SNMP_ERRORSTATUS_GENERR, 0},
    };
    for (const auto &[pdu, name, expectedStatus, expectedIndex] : cases) {
        SnmpVarBind b[2] = {};
        b[1].name = name;
        ASSERT_TRUE(CopyOid(&b[0].name, &nextHop));
        if (name.ids) {
            ASSERT_TRUE(CopyOid(&b[1].name, &name));
        }
        SnmpVarBindList list{b, 2};
        AsnInteger32 status = -1, index = -1;
        EXPECT_NE(m_query(pdu, &list, &status, &index), 0);
        EXPECT_EQ(status * 10 + index, expectedStatus * 10 + expectedIndex) << "status*10+index";
        const AsnOctetString &address = b[0].value.asnValue.address;
        if (pdu == SNMP_PDU_GET) {
            EXPECT_EQ(b[0].value.asnType, ASN_IPADDRESS);
            ASSERT_EQ(address.length, 4u);
            EXPECT_TRUE(address.dynamic);
            EXPECT_EQ(std::memcmp(address.stream, kHome.data(), 4), 0);
        } else {
            EXPECT_NE(b[0].value.asnType, ASN_IPADDRESS);
        }
        FreeVarBind(&b[0]);
        FreeVarBind(&b[1]);
    }
    AsnInteger32 s = -1;
    EXPECT_FALSE(m_query(SNMP_PDU_GET, nullptr, &s, &s));  // nowhere to answer into
}

}  // namespace

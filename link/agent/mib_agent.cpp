// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The MIB-II extension agent module, loaded in-process as "INETMIB1.DLL". It
// answers one object: ipRouteNextHop of the default route, from the host's
// routing table.
#include "link/agent/route_table.h"
#include "link/gateway.h"
#include "link/snmp_types.h"
#include "platform/global_memory.h"

#include <cstring>
#include <string>
#include <type_traits>

#define KESTRUM_AGENT_EXPORT extern "C" __attribute__((visibility("default")))

using platform::BOOL;
using platform::BYTE;
using platform::DWORD;
using platform::UINT;

namespace {

constexpr BOOL True = 1;
constexpr BOOL False = 0;

// The ip group of MIB-II: the view this agent serves.
UINT SupportedViewIds[] = {1, 3, 6, 1, 2, 1, 4};
// ipRouteNextHop.0.0.0.0: the next hop of the route to 0.0.0.0.
constexpr UINT DefaultNextHop[] = {1, 3, 6, 1, 2, 1, 4, 21, 1, 7, 0, 0, 0, 0};
constexpr UINT DefaultNextHopLength = sizeof DefaultNextHop / sizeof DefaultNextHop[0];

// Where the routing table is read from; only tests ever move it.
std::string &RouteTablePath()
{
    static std::string path = SystemRouteTable;
    return path;
}

bool IsDefaultNextHop(const AsnObjectIdentifier &name)
{
    return name.idLength == DefaultNextHopLength && name.ids &&
           std::memcmp(name.ids, DefaultNextHop, sizeof DefaultNextHop) == 0;
}

// Storage an earlier value of the binding may hold, released before it is replaced.
void ReleaseValue(AsnAny &value)
{
    FreeAsnValue(&value);
    value = AsnAny{};
    value.asnType = ASN_NULL;
}

// Answers one GetRequest binding in place; an SNMP error status.
AsnInteger32 AnswerGet(SnmpVarBind &binding)
{
    if (binding.name.idLength != 0 && !binding.name.ids)
        return SNMP_ERRORSTATUS_GENERR;
    if (!IsDefaultNextHop(binding.name))
        return SNMP_ERRORSTATUS_NOSUCHNAME;

    const std::optional<std::string> table = ReadRouteTable(RouteTablePath());
    const std::optional<Ipv4Address> gateway = table ? ParseDefaultGateway(*table) : std::nullopt;
    if (!gateway)
        return SNMP_ERRORSTATUS_NOSUCHNAME;  // no default route: no such instance

    AsnObjectIdentifier name{};
    if (!CopyOid(&name, &binding.name))
        return SNMP_ERRORSTATUS_GENERR;
    auto *stream = static_cast<BYTE *>(platform::GlobalAlloc(platform::GPTR, gateway->size()));
    if (!stream) {
        FreeOid(&name);
        return SNMP_ERRORSTATUS_GENERR;
    }
    std::memcpy(stream, gateway->data(), gateway->size());

    FreeOid(&binding.name);
    binding.name = name;
    ReleaseValue(binding.value);
    binding.value.asnType = ASN_IPADDRESS;
    binding.value.asnValue.address.stream = stream;
    binding.value.asnValue.address.length = static_cast<UINT>(gateway->size());
    binding.value.asnValue.address.dynamic = True;
    return SNMP_ERRORSTATUS_NOERROR;
}

}  // namespace

KESTRUM_AGENT_EXPORT BOOL SnmpExtensionInit(DWORD timeZeroReference, HANDLE *trapEvent,
                                            AsnObjectIdentifier *supportedView)
{
    (void)timeZeroReference;  // nothing here keeps time
    if (trapEvent)
        *trapEvent = nullptr;  // this agent raises no traps
    if (supportedView)
        *supportedView = AsnObjectIdentifier{sizeof SupportedViewIds / sizeof SupportedViewIds[0], SupportedViewIds};
    return True;
}

// True when the request was processed, errors included; false only when there
// is nowhere to answer into.
KESTRUM_AGENT_EXPORT BOOL SnmpExtensionQuery(BYTE pduType, SnmpVarBindList *list, AsnInteger32 *errorStatus,
                                             AsnInteger32 *errorIndex)
{
    if (!list || !errorStatus || !errorIndex || (list->len != 0 && !list->list))
        return False;
    *errorStatus = SNMP_ERRORSTATUS_NOERROR;
    *errorIndex = 0;
    if (pduType != SNMP_PDU_GET) {
        *errorStatus = SNMP_ERRORSTATUS_GENERR;
        return True;
    }
    for (UINT i = 0; i < list->len; ++i) {
        const AsnInteger32 status = AnswerGet(list->list[i]);
        if (status != SNMP_ERRORSTATUS_NOERROR) {
            *errorStatus = status;
            *errorIndex = static_cast<AsnInteger32>(i + 1);
            break;
        }
    }
    return True;
}

// Points the agent at another routing table file; null restores the system's.
// For tests only, so that none of them reads the host's real table.
KESTRUM_AGENT_EXPORT void KestrumAgentSetRouteTable(const char *path)
{
    RouteTablePath() = path ? path : SystemRouteTable;
}

static_assert(std::is_same_v<decltype(&SnmpExtensionInit), PFNSNMPEXTENSIONINIT>,
              "the init entry point matches the interface");
static_assert(std::is_same_v<decltype(&SnmpExtensionQuery), PFNSNMPEXTENSIONQUERY>,
              "the query entry point matches the interface");

// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/gateway.h"
#include "platform/event.h"

#include <cstring>

using platform::UINT;

namespace {

constexpr const char *AgentLibrary = "INETMIB1.DLL";
// Handle values below this are load errors on the platform, never modules.
constexpr std::uintptr_t SmallestModuleHandle = 32;
// ipRouteNextHop (ipRouteTable column 7) followed by the index ipRouteDest 0.0.0.0.
constexpr UINT GatewayRequestLength = 14;
constexpr std::size_t AddressBytes = 4;

}  // namespace

bool GetGatewayAddress(std::uint8_t out[4]) { return GetGatewayAddress(out, AgentLibrary); }

bool GetGatewayAddress(std::uint8_t out[4], const char *libraryName)
{
    MibAgent agent;
    if (!LoadMibAgent(agent, libraryName)) {
        UnloadMibAgent(agent.module);
        return false;
    }
    auto query =
        reinterpret_cast<PFNSNMPEXTENSIONQUERY>(platform::GetProcAddress(agent.module, SnmpExtensionQueryName));
    const bool result = query && QueryGatewayAddress(query, out);
    UnloadMibAgent(agent.module);
    return result;
}

bool QueryGatewayAddress(PFNSNMPEXTENSIONQUERY query, std::uint8_t out[4])
{
    if (!query)
        return false;
    UINT requestIds[GatewayRequestLength] = {1, 3, 6, 1, 2, 1, 4, 21, 1, 7, 0, 0, 0, 0};
    AsnObjectIdentifier GatewayRequestOid{GatewayRequestLength, requestIds};

    // The value starts as NULL without storage, so releasing the binding is safe
    // whatever the agent did or did not write.
    SnmpVarBind binding{};
    binding.value.asnType = ASN_NULL;
    SnmpVarBindList list{&binding, 1};

    bool result = false;
    if (CopyOid(&binding.name, &GatewayRequestOid)) {
        AsnInteger32 errorStatus = 0;
        AsnInteger32 errorIndex = 0;
        if (query(SNMP_PDU_GET, &list, &errorStatus, &errorIndex) != 0 &&
            CompareOidPrefix(&binding.name, &GatewayRequestOid, GatewayRequestLength) == 0 &&
            binding.value.asnType == ASN_IPADDRESS && binding.value.asnValue.address.length != 0) {
            const AsnOctetString &address = binding.value.asnValue.address;
            // Four bytes are read, so a shorter address is no address.
            if (address.length >= AddressBytes && address.stream) {
                std::memcpy(out, address.stream, AddressBytes);
                result = true;
            }
        }
    }
    FreeVarBind(&binding);
    return result;
}

bool LoadMibAgent(MibAgent &agent, const char *libraryName)
{
    agent.module.Close();
    agent.module = platform::LoadLibraryA(libraryName);
    if (agent.module.HandleValue() < SmallestModuleHandle) {
        agent.module.Close();
        return false;
    }
    auto init = reinterpret_cast<PFNSNMPEXTENSIONINIT>(platform::GetProcAddress(agent.module, SnmpExtensionInitName));
    if (!init)
        return false;
    // The agent's trap event and view are its own business; we only give it room.
    HANDLE trapEvent = nullptr;
    AsnObjectIdentifier supportedView{};
    return init(platform::GetTickCount(), &trapEvent, &supportedView) != 0;
}

void UnloadMibAgent(platform::Module &module)
{
    if (module.IsLoaded())
        platform::FreeLibrary(module);
}

// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The default gateway's address, asked in-process of the MIB-II SNMP extension
// agent ("INETMIB1.DLL"), plus the identifier and binding helpers it works with.
#pragma once
#include "link/snmp_types.h"
#include "platform/module.h"

#include <cstdint>

// The agent library while one lookup uses it; not loaded when Module is empty.
struct MibAgent {
    platform::Module module;
};

// True and the next hop of the default route, first octet first; false with out
// untouched when there is no agent, no default route or no usable answer.
bool GetGatewayAddress(std::uint8_t out[4]);
// The same with the agent taken from libraryName: a platform library name or the
// path of a module file.
bool GetGatewayAddress(std::uint8_t out[4], const char *libraryName);

// The query half of the lookup, given the agent's query entry point: asks for
// ipRouteNextHop.0.0.0.0, applies the acceptance test to the answer and releases
// the binding whatever the answer was. True and the four address bytes, or false
// with out untouched.
bool QueryGatewayAddress(PFNSNMPEXTENSIONQUERY query, std::uint8_t out[4]);

// Loads the agent and runs its initialisation; true when both succeed. The module
// is left empty when the load fails, and loaded when only the initialisation does.
bool LoadMibAgent(MibAgent &agent, const char *libraryName);
// Releases the library when one is loaded.
void UnloadMibAgent(platform::Module &module);

// A copy of source's sub-identifiers in global memory. On failure the last-error
// code is SNMP_MEM_ALLOC_ERROR, dst->ids is null and dst->idLength unchanged.
bool CopyOid(AsnObjectIdentifier *dst, const AsnObjectIdentifier *src);
// First minus second at the first differing sub-identifier among the first n that
// both have, with wrap-around; 0 when they agree there. Lengths alone never differ.
std::int32_t CompareOidPrefix(const AsnObjectIdentifier *first, const AsnObjectIdentifier *second, platform::UINT n);
// Releases ids (null is harmless) and empties the identifier.
void FreeOid(AsnObjectIdentifier *oid);
// Releases the binding's name and its value's storage; the value ends as NULL.
void FreeVarBind(SnmpVarBind *binding);
// Releases the storage of one value by its type and leaves it NULL.
void FreeAsnValue(AsnAny *value);

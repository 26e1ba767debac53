// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// A stand-in extension agent that hands its queries to the test; built with and without each entry point. Plain data
// only, so that it really unloads.
#include "link/snmp_types.h"

#define FAKE_EXPORT extern "C" __attribute__((visibility("default")))

static platform::BOOL g_initResult = 1;
static PFNSNMPEXTENSIONQUERY g_query = nullptr;

FAKE_EXPORT void FakeAgentScript(platform::BOOL initResult, PFNSNMPEXTENSIONQUERY query)
{
    g_initResult = initResult, g_query = query;
}
#ifndef FAKE_AGENT_WITHOUT_INIT
FAKE_EXPORT platform::BOOL SnmpExtensionInit(platform::DWORD, HANDLE *trapEvent, AsnObjectIdentifier *view)
{
    *trapEvent = nullptr, *view = AsnObjectIdentifier{};
    return g_initResult;
}
#endif
#ifndef FAKE_AGENT_WITHOUT_QUERY
FAKE_EXPORT platform::BOOL SnmpExtensionQuery(platform::BYTE pdu, SnmpVarBindList *list, AsnInteger32 *status,
                                              AsnInteger32 *index)
{
    return g_query ? g_query(pdu, list, status, index) : 0;
}
#endif

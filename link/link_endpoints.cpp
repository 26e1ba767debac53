// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The program's real destinations, kept apart from the rest of the link so that
// code (and tests) that bring their own endpoints never need the gateway lookup.
#include "link/protocol.h"
#include "link/worker_host.h"

#include <netinet/in.h>

#include "link/gateway.h"

LinkEndpoints LinkEndpoints::Defaults()
{
    LinkEndpoints ep;
    ep.broadcastAddress = htonl(INADDR_BROADCAST);
    ep.port = StatusPort;
    ep.gatewayLookup = [](std::uint8_t out[4]) { return GetGatewayAddress(out); };
    ep.listenLimitMs = 30000;
    return ep;
}

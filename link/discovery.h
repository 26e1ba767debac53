// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Finding the print servers on the local network: one broadcast probe, the
// answers collected two seconds at a time, and one probe to the default
// gateway when the broadcast finds nobody.
#pragma once
#include "link/worker_host.h"

#include <netinet/in.h>

#include <functional>

// What the search tells its caller as it goes, and asks it.
struct DiscoveryListener {
    // Each answer's sender, in order of arrival, with the count so far (1 for
    // the first); false ends the search at once with that count.
    std::function<bool(const sockaddr_in &server, int count)> answer;
    // Asked before every wait and before the fallback probe; true ends the
    // search with the count reached. May be empty.
    std::function<bool()> stopRequested;
};

// The search itself, without windows: one DiscoveryProbe to ep.broadcastAddress,
// answers collected two seconds at a time (every datagram restarts the window,
// the whole phase capped by ep.listenLimitMs), and, when nobody answered, one
// probe to the address ep.gatewayLookup gives. Every answer's sender lands in
// *source (a local record when null). Returns the number of answers, never
// negative; 0 when nobody answered or the search could not start.
int SearchServers(const LinkEndpoints &ep, sockaddr_in *source, const DiscoveryListener &listener);

// Runs on the worker thread. Every answer's sender lands in *source (a local
// record is used when it is null). The first answer closes the notice and asks
// the main window for the server list; each answer is then posted to that list
// as WM_ADD_SERVER carrying its own copy of the dotted-decimal text.
// Returns the number of answers, never negative; 0 when nobody answered or the
// search could not start.
int DiscoverServers(WorkerHost &host, sockaddr_in *source, const LinkEndpoints &ep);

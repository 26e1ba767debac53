// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The discover command: the monitor's own search (link/discovery.h) without
// windows, and its three output forms.
#pragma once
#include "link/worker_host.h"

#include <cstdint>
#include <string>
#include <vector>

namespace kprobe {

enum class DiscoverFormat { Text, Json, FileSd };

// The addresses that answered (network order), each once, in numeric order.
// The search ends by itself, at the latest after ep.listenLimitMs.
std::vector<std::uint32_t> DiscoverAddresses(const LinkEndpoints &ep);

// One address a line; {"servers": [...]} ; or a Prometheus file_sd list,
// [{"targets": [...], "labels": {}}] ([] when none answered).
std::string FormatDiscovery(const std::vector<std::uint32_t> &addresses, DiscoverFormat format);

}  // namespace kprobe

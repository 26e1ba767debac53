// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Status replies as they come off the wire: all eight slots used, each reply
// differing from the one before it.
#pragma once
#include <array>
#include <cstdio>
#include <cstring>
#include <vector>

#include "link/protocol.h"

inline std::vector<std::array<unsigned char, StatusReplySize>> MakeWireReplies(std::size_t variants)
{
    std::vector<std::array<unsigned char, StatusReplySize>> replies(variants);
    static const std::uint8_t flags[] = {0x88, 0x8C, 0xA0, 0x84, 0x08};
    for (std::size_t v = 0; v < variants; ++v) {
        PrinterRecord records[PrinterSlots];
        std::memset(records, 0, sizeof records);
        for (std::size_t i = 0; i < PrinterSlots; ++i) {
            PrinterRecord &r = records[i];
            std::snprintf(r.printerName, sizeof r.printerName, "Printer %zu on port %zu rev %zu", i + 1, i, v);
            std::snprintf(r.currentUser, sizeof r.currentUser, "user%zu", (i + v) % 5);
            r.userAddress[0] = 192;
            r.userAddress[1] = 168;
            r.userAddress[2] = static_cast<std::uint8_t>(v);
            r.userAddress[3] = static_cast<std::uint8_t>(10 + i);
            r.portType = static_cast<std::uint8_t>(i & 1);
            r.statusFlags = flags[(i + v) % 5];
            r.docSize = static_cast<std::int32_t>(1000 * (v + 1) * (i + 1) * (i + 1) * 37);
            r.printedPercent = static_cast<std::int32_t>((v * 7 + i * 13) % 101);
            r.jobCount = static_cast<std::int32_t>((v + i) % 4);
        }
        std::memcpy(replies[v].data(), records, StatusReplySize);
    }
    return replies;
}

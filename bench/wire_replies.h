// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Status replies as they come off the wire: all eight slots used, each reply
// differing from the one before it.
#pragma once
#include "tests/support/status_replies.h"

inline std::vector<WireReply> MakeWireReplies(std::size_t variants)
{
    static const std::uint8_t flags[] = {0x88, 0x8C, 0xA0, 0x84, 0x08};
    std::vector<WireReply> replies;
    for (std::size_t v = 0; v < variants; ++v) {
        std::vector<TestPrinter> printers;
        for (std::size_t i = 0; i < PrinterSlots; ++i) {
            const auto n = [](std::size_t x) { return static_cast<std::int32_t>(x); };
            const auto byte = [](std::size_t x) { return static_cast<std::uint8_t>(x); };
            printers.push_back(
                {"Printer " + std::to_string(i + 1) + " on port " + std::to_string(i) + " rev " + std::to_string(v),
                 flags[(i + v) % 5],
                 n((v + i) % 4),
                 n((v * 7 + i * 13) % 101),
                 "user" + std::to_string((i + v) % 5),
                 {192, 168, byte(v), byte(10 + i)},
                 n(1000 * (v + 1) * (i + 1) * (i + 1) * 37),
                 byte(i & 1)});
        }
        replies.push_back(BuildWireReply(printers));
    }
    return replies;
}

// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// IPv4 address ranges as --allow-target takes them: "A.B.C.D/N".
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace kprobe {

struct AddressRange {
    std::uint32_t network = 0;  // host order, the host bits zero
    int prefix = 0;             // 0 to 32

    bool Contains(std::uint32_t hostOrderAddress) const;
    std::string Text() const;
};

// Exactly "A.B.C.D/N": four decimal parts without leading zeros, N from 0 to
// 32 without leading zeros, and no bits set past the prefix (10.0.0.1/8 is a
// mistake for 10.0.0.0/8 or 10.0.0.1/32, and is refused saying so).
bool ParseAddressRange(const std::string &text, AddressRange &out, std::string &error);

// True when no ranges are given (every target allowed) or one holds the
// address (network order, as Target keeps it).
bool Allowed(const std::vector<AddressRange> &ranges, std::uint32_t networkOrderAddress);

}  // namespace kprobe

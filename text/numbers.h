// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Numbers as they are typed on command lines, in scenario files and in
// headers: plain digits, with no spaces, exponent, base prefix, "inf" or
// "nan", read the same whatever the locale.
#pragma once
#include <cstdint>
#include <optional>
#include <string_view>

namespace ktext {

struct DecimalRules {
    bool sign = false;      // a leading '-' or '+'
    bool fraction = false;  // one '.', with digits before it, after it, or both
};

// A decimal number from lo to hi (both included), or nothing.
std::optional<double> ParseDecimal(std::string_view text, double lo, double hi, DecimalRules rules = {});

// A whole decimal number from lo to hi; a sign only when lo is negative.
template <typename T>
std::optional<T> ParseWhole(std::string_view text, T lo, T hi)
{
    const std::optional<double> value =
        ParseDecimal(text, static_cast<double>(lo), static_cast<double>(hi), DecimalRules{lo < 0, false});
    return value ? std::optional<T>(static_cast<T>(*value)) : std::nullopt;
}

// 1 to maxDigits hexadecimal digits (either case) and nothing else.
std::optional<std::uint32_t> ParseHex(std::string_view text, std::size_t maxDigits = 8);

}  // namespace ktext

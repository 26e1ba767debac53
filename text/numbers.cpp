// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "text/numbers.h"

#include <charconv>
#include <cmath>

namespace ktext {

namespace {

bool IsPlain(std::string_view digits, bool fraction)
{
    const std::size_t dot = digits.find('.');
    if (digits.empty() || digits == "." || digits.find_first_not_of("0123456789.") != std::string_view::npos)
        return false;
    return dot == std::string_view::npos || (fraction && digits.find('.', dot + 1) == std::string_view::npos);
}

}  // namespace

std::optional<double> ParseDecimal(std::string_view text, double lo, double hi, DecimalRules rules)
{
    std::string_view digits = text;
    const bool negative = rules.sign && !digits.empty() && digits.front() == '-';
    if (rules.sign && !digits.empty() && (digits.front() == '-' || digits.front() == '+'))
        digits.remove_prefix(1);
    if (!IsPlain(digits, rules.fraction))
        return std::nullopt;
    double value = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (error != std::errc() || end != digits.data() + digits.size() || !std::isfinite(value))
        return std::nullopt;
    value = negative ? -value : value;
    if (!(value >= lo && value <= hi))
        return std::nullopt;
    return value;
}

std::optional<std::uint32_t> ParseHex(std::string_view text, std::size_t maxDigits)
{
    if (text.empty() || text.size() > maxDigits || maxDigits > 8 ||
        text.find_first_not_of("0123456789abcdefABCDEF") != std::string_view::npos)
        return std::nullopt;
    std::uint32_t value = 0;
    std::from_chars(text.data(), text.data() + text.size(), value, 16);
    return value;
}

}  // namespace ktext

// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "probe/ranges.h"

#include "text/numbers.h"

#include <limits>

namespace kprobe {

namespace {

bool Number(const std::string &text, double &out)
{
    // Plain decimal numbers only: no "inf", "nan" or hexadecimal.
    constexpr double Most = std::numeric_limits<double>::max();
    const std::optional<double> v = ktext::ParseDecimal(text, -Most, Most, ktext::DecimalRules{true, true});
    if (!v)
        return false;
    out = *v;
    return true;
}

}  // namespace

bool Range::Alerts(double value) const
{
    const bool aboveStart = startInfinite || value >= start;
    const bool belowEnd = endInfinite || value <= end;
    const bool within = aboveStart && belowEnd;
    return inside ? within : !within;
}

bool ParseRange(const std::string &text, Range &out, std::string &error)
{
    Range r;
    r.text = text;
    std::string body = text;
    auto bad = [&](const std::string &why) {
        error = "bad range '" + text + "': " + why;
        return false;
    };
    if (!body.empty() && body[0] == '@') {
        r.inside = true;
        body.erase(0, 1);
    }
    if (body.empty())
        return bad("empty");
    const std::size_t colon = body.find(':');
    if (colon == std::string::npos) {
        // "N": from 0 to N.
        if (!Number(body, r.end))
            return bad("expected a number, N:, ~:N, N:M or @N:M");
        r.endInfinite = false;
        r.start = 0;
    } else {
        const std::string start = body.substr(0, colon);
        const std::string end = body.substr(colon + 1);
        if (start == "~")
            r.startInfinite = true;
        else if (start.empty())
            r.start = 0;
        else if (!Number(start, r.start))
            return bad("the start is not a number or ~");
        if (end.empty()) {
            r.endInfinite = true;
        } else {
            if (!Number(end, r.end))
                return bad("the end is not a number");
            r.endInfinite = false;
        }
    }
    if (!r.startInfinite && !r.endInfinite && r.start > r.end)
        return bad("the start is above the end");
    out = r;
    return true;
}

}  // namespace kprobe

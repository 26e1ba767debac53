// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Threshold ranges in the Monitoring Plugins syntax: "10" (alert outside 0..10),
// "10:" (below 10), "~:10" (above 10), "10:20" (outside 10..20), and "@10:20"
// (inside 10..20, ends included).
#pragma once
#include <string>

namespace kprobe {

struct Range {
    double start = 0;
    bool startInfinite = false;  // "~"
    double end = 0;
    bool endInfinite = true;  // nothing after the colon
    bool inside = false;      // "@": alert inside the range
    std::string text;         // as given, for the performance data

    // Whether a value raises the alert.
    bool Alerts(double value) const;
};

// False with a one-line reason in error.
bool ParseRange(const std::string &text, Range &out, std::string &error);

}  // namespace kprobe

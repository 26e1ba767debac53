// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The clock of every time-out and deadline: steady, so that a change of the
// wall-clock time neither ends a wait early nor makes it last.
#pragma once
#include <chrono>
#include <cmath>

namespace platform {

using Clock = std::chrono::steady_clock;

// Seconds as options give them (0.25), as the clock's waits take them, rounded
// to the nearest millisecond.
inline std::chrono::milliseconds Millis(double seconds)
{
    return std::chrono::milliseconds(static_cast<long>(std::lround(seconds * 1000)));
}

}  // namespace platform

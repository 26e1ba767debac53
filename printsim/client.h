// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The client modes, for checking a server by hand or from a test.
#pragma once
#include "printsim/options.h"

namespace printsim {

// Sends one probe and lists every answer; 0 if at least one came, 2 if none.
int RunProbe(const Options &options);
// Sends one status request; 0 with "reply LEN" on stdout, 2 with "no reply".
int RunRequest(const Options &options);

}  // namespace printsim

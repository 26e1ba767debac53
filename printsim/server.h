// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The serving loop: one UDP socket, answers as the options say.
#pragma once
#include "printsim/options.h"
#include "printsim/scenario.h"

namespace printsim {

// Runs until SIGINT/SIGTERM or --max-seconds; returns the exit code.
int RunServer(const Options &options, Simulation &simulation);

}  // namespace printsim

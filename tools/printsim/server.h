// The serving loop: one UDP socket, answers as the options say.
#pragma once
#include "tools/printsim/options.h"
#include "tools/printsim/scenario.h"

namespace printsim {

// Runs until SIGINT/SIGTERM or --max-seconds; returns the exit code.
int RunServer(const Options &options, Simulation &simulation);

}  // namespace printsim

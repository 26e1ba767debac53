// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// kestrum-printsim: a print server for tests and demos, and a small client to check one.
#include "printsim/client.h"
#include "printsim/options.h"
#include "printsim/scenario.h"
#include "printsim/server.h"

#include <cstdio>
#include <string>

int main(int argc, char **argv)
{
    using namespace printsim;
    Options options;
    std::string error;
    if (!ParseOptions(argc, argv, options, error)) {
        std::fprintf(stderr, "kestrum-printsim: %s\n", error.c_str());
        return 64;
    }
    switch (options.mode) {
    case Mode::Help: std::fputs(UsageText().c_str(), stdout); return 0;
    case Mode::Version: std::printf("%s\n", VersionText().c_str()); return 0;
    case Mode::Probe: return RunProbe(options);
    case Mode::Request: return RunRequest(options);
    case Mode::Serve: break;
    }

    Scenario scenario = DefaultScenario();
    if (!options.scenarioFile.empty() && !LoadScenarioFile(options.scenarioFile, scenario, error)) {
        std::fprintf(stderr, "kestrum-printsim: %s\n", error.c_str());
        return 65;
    }
    Simulation simulation(std::move(scenario));
    return RunServer(options, simulation);
}

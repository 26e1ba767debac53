// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The simulator's command line.
#pragma once
#include "printsim/replies.h"

#include <cstdint>
#include <string>

namespace printsim {

enum class Mode { Serve, Probe, Request, Help, Version };

struct Options {
    Mode mode = Mode::Serve;

    // Serving
    std::string bindAddress = "127.0.0.1";  // the machine itself unless asked
    std::uint16_t port = StatusPort;        // 0: an ephemeral port, printed on stdout
    std::string scenarioFile;
    bool discovery = true;
    long stopAfter = -1;  // -1: answer every status request
    ReplyFault replyFault = ReplyFault::None;
    DiscoveryFault discoveryFault = DiscoveryFault::None;
    int delayMs = 0;
    bool answerTwice = false;
    int maxSeconds = 0;  // 0: run until a signal
    bool quiet = false;

    // Client modes
    std::string target;  // dotted address
    std::uint16_t targetPort = StatusPort;
    bool broadcast = false;
    int waitMs = -1;  // -1: 2000 for --probe, 1000 for --request
};

// Fills `out` from the arguments; false with a message on a bad command line.
// Never exits: --help and --version come back as Mode::Help and Mode::Version.
bool ParseOptions(int argc, const char *const *argv, Options &out, std::string &error);

// The --help text, made by the same parser.
std::string UsageText();
// The --version line: "kestrum-printsim VERSION".
std::string VersionText();

}  // namespace printsim

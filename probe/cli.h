// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// kestrum-probe's command line: parsing (which never exits, so that a fuzz
// target can drive it) and running the chosen command.
#pragma once
#include "probe/check.h"
#include "probe/discover.h"
#include "probe/serve.h"
#include "probe/target.h"

#include <ostream>
#include <string>
#include <vector>

namespace kprobe {

// Exit codes besides each command's own: 64 (EX_USAGE) for a bad command line;
// check follows the plugin rules instead and says 3 (UNKNOWN).
constexpr int ExitUsage = 64;

enum class Command { None, Discover, Status, Check, Serve };

struct CommandLine {
    Command command = Command::None;
    // Set when parsing already decided the outcome: --help, --version or a
    // usage error. Then `text` goes to stdout (exit 0, or check's usage
    // errors, as a plugin's output) or stderr (otherwise).
    bool finished = false;
    int exitCode = 0;
    std::string text;
    bool textToStdout = false;
    std::string complaint;  // a usage error's message alone
    bool jsonLog = false;   // --log.format json was asked: the usage error is a JSON line too

    // discover
    double discoverTimeout = 10.0;
    DiscoverFormat format = DiscoverFormat::Text;
    // status
    std::vector<Target> targets;
    double statusTimeout = 1.0;
    bool json = false;
    // check
    CheckOptions check;
    // serve
    ServeOptions serve;
};

// Parses argv (argv[0] is the program's name). Never exits and never touches
// the network.
CommandLine ParseCommandLine(int argc, const char *const *argv);

// Runs a parsed command line; returns the exit code.
int RunCommandLine(const CommandLine &line, std::ostream &out, std::ostream &err);

// Both, as main() does.
int ProbeMain(int argc, const char *const *argv, std::ostream &out, std::ostream &err);

}  // namespace kprobe

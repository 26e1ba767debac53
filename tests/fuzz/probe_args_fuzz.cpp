// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The probe's command line: any list of arguments either finishes with a message and a usage exit code, or gives a
// command whose values lie within the ranges its --help promises. Each word is also read as a target and as a scrape
// time-out header. Nothing is run, so nothing reaches a network.
#include "tests/fuzz/fuzz.h"
#include "probe/cli.h"
#include "probe/routes.h"

#include <arpa/inet.h>

#include <algorithm>

using namespace kprobe;

// One print server's address and port, and a text that reads back as the same target.
static void CheckTarget(const Target &t)
{
    const std::uint32_t host = ntohl(t.address);
    FUZZ_CHECK(host != 0 && host != 0xFFFFFFFFu && (host >> 28) != 0xE && t.port >= 1);
    Target again;
    std::string error;
    FUZZ_CHECK(ParseTarget(t.Text(), again, error) && again.address == t.address && again.port == t.port, t.Text());
}

static void CheckWord(const std::string &word)
{
    Target target;
    std::string error;
    if (ParseTarget(word, target, error))
        CheckTarget(target);
    else
        FUZZ_CHECK(!error.empty());
    for (double configured : {0.05, 1.0, 60.0}) {
        const double wait = ProbeWaitSeconds(configured, &word);
        FUZZ_CHECK(wait >= 0.05 - 1e-9 && wait <= configured + 1e-9, word);
    }
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    FuzzArgs args("kestrum-probe", data, size);
    for (int i = 1; i < args.argc(); ++i)
        CheckWord(args.argv()[i]);
    const CommandLine line = ParseCommandLine(args.argc(), args.argv());
    if (line.finished) {
        FUZZ_CHECK(!line.text.empty());
        FUZZ_CHECK(line.exitCode == 0 || line.exitCode == ExitUsage || line.exitCode == StateUnknown);
        return 0;
    }
    switch (line.command) {
    case Command::None: FUZZ_CHECK(false, "parsed without a command"); break;
    case Command::Discover: FUZZ_CHECK(line.discoverTimeout >= 0.1 && line.discoverTimeout <= 300); break;
    case Command::Status:
        FUZZ_CHECK(!line.targets.empty() && line.statusTimeout >= 0.01 && line.statusTimeout <= 60);
        std::for_each(line.targets.begin(), line.targets.end(), CheckTarget);
        break;
    case Command::Check:
        CheckTarget(line.check.host);
        FUZZ_CHECK(line.check.timeoutSeconds >= 0.01 && line.check.timeoutSeconds <= 60 &&
                   line.check.timeoutState >= StateOk && line.check.timeoutState <= StateUnknown);
        break;
    case Command::Serve:
        FUZZ_CHECK(line.serve.port >= 0 && line.serve.port <= 65535 && line.serve.timeoutSeconds >= 0.05 &&
                   line.serve.timeoutSeconds <= 60 && line.serve.maxConnections >= 1 &&
                   line.serve.maxConnections <= 10000);
        break;
    }
    return 0;
}

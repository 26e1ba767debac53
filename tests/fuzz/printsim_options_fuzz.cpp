// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The simulator's command line: any list of arguments either fails with a message or gives options within the ranges
// --help promises.
#include "tests/fuzz/fuzz.h"
#include "printsim/options.h"

#include <arpa/inet.h>

using namespace printsim;

static bool IsAddress(const std::string &text)
{
    in_addr a;
    return inet_pton(AF_INET, text.c_str(), &a) == 1;
}

// Whether some word asks for this flag: "--name", "--name=...", or a cluster of short flags that holds it ("-h",
// "-hq").
static bool Asks(const FuzzArgs &args, const std::string &longName, char shortName)
{
    for (int i = 1; i < args.argc(); ++i) {
        const std::string word = args.argv()[i];
        if (word.rfind(longName, 0) == 0)
            return true;
        const bool cluster = word.size() > 1 && word[0] == '-' && word[1] != '-';
        if (shortName && cluster && word.find(shortName) != std::string::npos)
            return true;
    }
    return false;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    FuzzArgs args("kestrum-printsim", data, size);
    Options o;
    std::string error;
    if (!ParseOptions(args.argc(), args.argv(), o, error)) {
        FUZZ_CHECK(!error.empty());
        return 0;
    }
    // Help and version come only when asked for: a parse that goes wrong must not end in either of them instead of its
    // message.
    if (o.mode == Mode::Help) {
        FUZZ_CHECK(Asks(args, "--help", 'h'));
        return 0;
    }
    if (o.mode == Mode::Version) {
        FUZZ_CHECK(Asks(args, "--version", 0));
        return 0;
    }
    FUZZ_CHECK(IsAddress(o.bindAddress) && o.stopAfter >= -1);
    FUZZ_CHECK(o.delayMs >= 0 && o.delayMs <= 600000 && o.maxSeconds >= 0 && o.maxSeconds <= 86400);
    FUZZ_CHECK(o.waitMs >= 1 && o.waitMs <= 60000);
    if (o.mode == Mode::Probe || o.mode == Mode::Request)
        FUZZ_CHECK(IsAddress(o.target) && o.targetPort >= 1);
    return 0;
}

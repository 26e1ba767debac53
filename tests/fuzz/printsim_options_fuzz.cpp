// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The simulator's command line: any list of arguments either fails with a
// message or gives options within the ranges --help promises.
#include "tests/fuzz/fuzz_args.h"
#include "tests/fuzz/fuzz_check.h"
#include "printsim/options.h"

#include <arpa/inet.h>

using namespace printsim;

static bool IsAddress(const std::string &text)
{
    in_addr a;
    return inet_pton(AF_INET, text.c_str(), &a) == 1;
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
    if (o.mode == Mode::Help || o.mode == Mode::Version)
        return 0;
    FUZZ_CHECK(IsAddress(o.bindAddress) && o.stopAfter >= -1);
    FUZZ_CHECK(o.delayMs >= 0 && o.delayMs <= 600000 && o.maxSeconds >= 0 && o.maxSeconds <= 86400);
    FUZZ_CHECK(o.waitMs >= 1 && o.waitMs <= 60000);
    if (o.mode == Mode::Probe || o.mode == Mode::Request)
        FUZZ_CHECK(IsAddress(o.target) && o.targetPort >= 1);
    return 0;
}

// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The simulator's command line; the fault shapes are checked on the wire by printsim_loopback_test.sh.
#include "printsim/options.h"

#include <gtest/gtest.h>

#include <vector>

using namespace printsim;

TEST(PrintsimOptions, CommandLines)
{
    Options o;
    std::string error;
    const auto parse = [&](std::vector<const char *> args) {
        args.insert(args.begin(), "kestrum-printsim");
        return ParseOptions(static_cast<int>(args.size()), args.data(), o, error);
    };
    ASSERT_TRUE(parse(
        {"--port", "5", "--port", "0", "--stop-after", "3", "--reply", "oversized", "--discovery-reply", "garbage"}));
    EXPECT_EQ(o.port, 0);  // the last of a repeated option counts
    EXPECT_EQ(o.stopAfter, 3);
    EXPECT_EQ(o.replyFault, ReplyFault::Oversized);
    EXPECT_EQ(o.discoveryFault, DiscoveryFault::Garbage);
    ASSERT_TRUE(parse({"--probe", "10.213.0.255:6000", "--broadcast"}));
    EXPECT_EQ(o.mode, Mode::Probe);
    EXPECT_EQ(o.target + ":" + std::to_string(o.targetPort) + " " + std::to_string(o.waitMs), "10.213.0.255:6000 2000");
    ASSERT_TRUE(parse({"--request", "127.0.0.1"}));
    EXPECT_EQ(o.target + ":" + std::to_string(o.targetPort) + " " + std::to_string(o.waitMs), "127.0.0.1:60000 1000");
    // Help and version come back to the caller instead of exiting.
    ASSERT_TRUE(parse({"--port", "0", "--help"}));
    EXPECT_EQ(o.mode, Mode::Help);
    EXPECT_NE(UsageText().find("--discovery-reply"), std::string::npos);
    ASSERT_TRUE(parse({"--version"}));
    EXPECT_EQ(o.mode, Mode::Version);
    EXPECT_EQ(VersionText().rfind("kestrum-printsim ", 0), 0u);

    const std::pair<std::vector<const char *>, std::string> bad[] = {
        {{"--port"}, "--port needs a value"},
        {{"--port", "65536"}, "--port: '65536' is not a port number"},
        {{"--bind", "localhost"}, "--bind: 'localhost' is not an IPv4 address"},
        {{"--max-seconds", "0"}, "--max-seconds: '0' is not 1 to 86400"},
        {{"--delay-ms", "5s"}, "--delay-ms: '5s' is not 0 to 600000"},
        {{"--probe", "1.2.3.4:"}, "--probe: '1.2.3.4:' is not ADDR or ADDR:PORT"},
        {{"--probe", "1.2.3.4", "--request", "1.2.3.4"}, "--probe and --request exclude each other"},
        {{"--verbose"}, "unknown option '--verbose' (try --help)"},
        {{"--reply", "long"}, "--reply: 'long' is not short, oversized or garbage"},
        {{"stray"}, "unexpected argument 'stray' (try --help)"},
    };
    for (const auto &c : bad) {
        EXPECT_FALSE(parse(c.first)) << c.second;
        EXPECT_EQ(error, c.second);
    }
}

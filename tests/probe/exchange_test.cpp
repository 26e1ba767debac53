// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Against fake servers on loopback: many status exchanges at once, each reply to its own request. Discovery through
// the link's search runs on the namespace LANs (probe_lan, probe_prometheus).
#include "tests/probe/records.h"

#include <gtest/gtest.h>

using namespace kprobe;

TEST(Exchange, ManyAtOnceEachReplyToItsOwnRequest)
{
    // Slot 1 named "server INDEX"; some are silent, oversized, short or answer from the wrong port (which must not
    // count). The first is asked twice and answers twice.
    std::vector<ServerAnswer> answers;
    std::vector<long> lengths;  // -1: no reply of its own
    for (std::size_t i = 0; i < 100; ++i) {
        const long length = i % 10 == 3 ? -1 : i % 50 == 7 ? 961 : i % 50 == 17 ? 130 : 960;
        const auto bytes = ReplyBytes(BuildReply({{"server " + std::to_string(i)}}), length < 0 ? 0 : length);
        answers.push_back({bytes, i % 50 == 27});
        lengths.push_back(i % 50 == 27 ? -1 : length);
    }
    FakePrintServers servers(answers);
    std::vector<Target> targets = servers.targets;
    targets.push_back(targets[0]);
    const std::vector<Exchange> result = ExchangeStatus(targets, std::chrono::milliseconds(500));
    ASSERT_EQ(result.size(), targets.size());
    for (std::size_t i = 0; i < result.size(); ++i) {
        const Exchange &e = result[i];
        const long length = lengths[i % lengths.size()];
        EXPECT_EQ(e.target.Text(), targets[i].Text()) << i;
        EXPECT_EQ(e.outcome, length < 0 ? Outcome::Silent : length > 960 ? Outcome::Oversized : Outcome::Reply) << i;
        EXPECT_EQ(e.replyBytes, length) << i;
        if (length == 960 || length == 130) {
            EXPECT_EQ(FieldText(e.reply.records[0].printerName), "server " + std::to_string(i % lengths.size()));
        } else if (length < 0) {
            EXPECT_EQ(e.seconds, 0.5) << i;  // the time waited
        }
    }
    EXPECT_EQ(servers.requests, 101);
    // A reply from another port of a silent server's address is not that server's reply.
    const std::vector<std::uint8_t> reply = ReplyBytes(BuildReply({{"other"}}));
    FakePrintServers pair({{}, {reply, true}});  // the other port is on the first one's address
    for (const Exchange &e : ExchangeStatus(pair.targets, std::chrono::milliseconds(300)))
        EXPECT_EQ(e.outcome, Outcome::Silent) << e.target.Text();
}

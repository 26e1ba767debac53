// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Against fake servers on loopback: many status exchanges at once, each reply to its own request. Discovery through
// the link's search runs on the namespace LANs (probe_lan, probe_prometheus).
#include "tests/probe/records.h"

#include <gtest/gtest.h>

using namespace kprobe;

namespace {

enum Behaviour { Answer, Silent, Oversized, Short, OtherPort };

// Slot 1 named "server INDEX", sent whole, cut, padded or from the wrong port.
std::vector<ServerAnswer> Answers(const std::vector<Behaviour> &behaviours)
{
    std::vector<ServerAnswer> answers;
    for (std::size_t i = 0; i < behaviours.size(); ++i) {
        const Behaviour b = behaviours[i];
        const std::vector<std::uint8_t> bytes =
            ReplyBytes(BuildReply({{"server " + std::to_string(i)}}), b == Short       ? 130
                                                                      : b == Oversized ? 961
                                                                                       : 960);
        answers.push_back({b == Silent ? std::vector<std::uint8_t>() : bytes, b == OtherPort});
    }
    return answers;
}

}  // namespace

TEST(Exchange, ManyAtOnceEachReplyToItsOwnRequest)
{
    // Some are silent, oversized, short or answer from the wrong port (which must not count); the first is asked twice
    // and answers twice.
    std::vector<Behaviour> behaviours(100);
    for (std::size_t i = 0; i < behaviours.size(); ++i)
        behaviours[i] = i % 10 == 3    ? Silent
                        : i % 50 == 7  ? Oversized
                        : i % 50 == 17 ? Short
                        : i % 50 == 27 ? OtherPort
                                       : Answer;
    FakePrintServers servers(Answers(behaviours));
    std::vector<Target> targets = servers.targets;
    targets.push_back(targets[0]);
    const std::vector<Exchange> result = ExchangeStatus(targets, std::chrono::milliseconds(500));
    ASSERT_EQ(result.size(), targets.size());
    for (std::size_t i = 0; i < result.size(); ++i) {
        const Exchange &e = result[i];
        const Behaviour b = behaviours[i % behaviours.size()];
        const bool answered = b == Answer || b == Short;
        EXPECT_EQ(e.target.Text(), targets[i].Text()) << i;
        const bool oversized = b == Oversized;
        EXPECT_EQ(e.outcome, answered ? Outcome::Reply : oversized ? Outcome::Oversized : Outcome::Silent) << i;
        EXPECT_EQ(e.replyBytes, b == Short ? 130 : oversized ? 961 : answered ? 960 : -1) << i;
        if (answered) {
            EXPECT_EQ(FieldText(e.reply.records[0].printerName), "server " + std::to_string(i % behaviours.size()));
        } else if (!oversized) {
            EXPECT_EQ(e.seconds, 0.5) << i;  // the time waited
        }
    }
    EXPECT_EQ(servers.requests, 101);
    // A reply from another port of a silent server's address is not that server's reply.
    FakePrintServers pair(Answers({Silent, OtherPort}));  // the other port is on the first one's address
    for (const Exchange &e : ExchangeStatus(pair.targets, std::chrono::milliseconds(300)))
        EXPECT_EQ(e.outcome, Outcome::Silent) << e.target.Text();
}

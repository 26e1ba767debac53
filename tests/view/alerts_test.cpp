// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The notification rule: which changes between replies notify, which close, which pass in silence.
#include <gtest/gtest.h>

#include "status_replies.h"
#include "view/printer_alerts.h"

constexpr std::uint8_t Ready = 0x88, Busy = 0x8C, Off = 0x00, Paper = 0xA0, Fault = 0x80;
constexpr std::uint8_t RawOff = 0x7F, ReadyPaperBit = 0xA8, OffPaperBit = 0x20;

// "+SLOT STATE NAME" to notify (O off line, P paper out, F fault), "-SLOT" to close.
static std::string Describe(const std::vector<AlertChange> &changes)
{
    std::string out;
    for (const AlertChange &c : changes)
        out += c.action == AlertChange::Action::Close
                   ? " -" + std::to_string(c.slot)
                   : " +" + std::to_string(c.slot) + " " + "-OPF"[static_cast<int>(c.alert)] + " " + c.name;
    return out;
}

TEST(AlertTracker, NotifiesEntriesClosesExitsAndRepeatsNothing)
{
    using Steps = std::vector<std::pair<std::vector<TestPrinter>, std::string>>;  // a reply, what it brings
    const std::vector<std::pair<const char *, Steps>> cases = {
        {"the first reply is the window's; staying repeats nothing",
         {{{{"A", Paper}, {"B", Fault}, {"C", Off}}, ""}, {{{"A", Paper}, {"B", Fault}, {"C", RawOff}}, ""}}},
        {"each alert state once, read from the status byte as the window reads it; ready or busy closes",
         {{{{"A", Ready}, {"B", Busy}, {"C", Ready}, {"D", Ready}}, ""},
          {{{"A", Paper}, {"B", Fault}, {"C", RawOff}, {"D", ReadyPaperBit}}, " +0 P A +1 F B +2 O C"},
          {{{"A", Paper}, {"B", Fault}, {"C", OffPaperBit}, {"D", Ready}}, ""},
          {{{"A", Busy}, {"B", Ready}, {"C", Off}, {"D", Busy}}, " -0 -1"}}},
        {"a new state or name in alert notifies anew; an emptied slot closes; a printer may arrive in alert",
         {{{{"A", Ready}, {"B", Ready}, {"C", Ready}}, ""},
          {{{"A", Paper}, {"B", Fault}, {"C", Off}}, " +0 P A +1 F B +2 O C"},
          {{{"A", Fault}, {"B2", Fault}, {}, {"D", Off}}, " +0 F A +1 F B2 -2 +3 O D"},
          {{{"A2", Ready}, {"B2", Fault}, {"C", Ready}, {"D", Off}}, " -0"}}},
    };
    for (const auto &[what, steps] : cases) {
        AlertTracker tracker;
        for (std::size_t i = 0; i < steps.size(); ++i)
            EXPECT_EQ(Describe(tracker.Update(BuildReply(steps[i].first))), steps[i].second)
                << what << ", reply " << i + 1;
    }
}

// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The notification rule: which changes between replies notify, which close, which pass in silence.
#include <gtest/gtest.h>

#include "status_replies.h"
#include "view/printer_alerts.h"

namespace {

constexpr std::uint8_t Ready = 0x88, Busy = 0x8C, Off = 0x00, Paper = 0xA0, Fault = 0x80;
constexpr std::uint8_t RawOff = 0x7F, ReadyPaperBit = 0xA8, OffPaperBit = 0x20;

struct Step {
    std::vector<TestPrinter> printers;
    std::string expected;  // "+SLOT ALERT NAME" to notify, "-SLOT" to close, joined by " | "
};

std::string Describe(const std::vector<AlertChange> &changes)
{
    static const char *const names[] = {"None", "OffLine", "PaperOut", "Fault"};
    std::string out;
    for (const AlertChange &c : changes) {
        out += out.empty() ? "" : " | ";
        out += (c.action == AlertChange::Action::Notify ? "+" : "-") + std::to_string(c.slot);
        if (c.action == AlertChange::Action::Notify)
            out += std::string(" ") + names[static_cast<int>(c.alert)] + " " + c.name;
    }
    return out;
}

TEST(AlertTracker, NotifiesEntriesClosesExitsAndRepeatsNothing)
{
    const std::vector<std::pair<const char *, std::vector<Step>>> cases = {
        {"the first reply is the window's; staying repeats nothing",
         {{{{"A", Paper}, {"B", Fault}, {"C", Off}}, ""}, {{{"A", Paper}, {"B", Fault}, {"C", RawOff}}, ""}}},
        {"each alert state once, in the window's reading of the status byte; ready or busy closes",
         {{{{"A", Ready}, {"B", Busy}, {"C", Ready}, {"D", Ready}}, ""},
          {{{"A", Paper}, {"B", Fault}, {"C", RawOff}, {"D", ReadyPaperBit}},
           "+0 PaperOut A | +1 Fault B | +2 OffLine C"},
          {{{"A", Paper}, {"B", Fault}, {"C", OffPaperBit}, {"D", Ready}}, ""},
          {{{"A", Busy}, {"B", Ready}, {"C", Off}, {"D", Busy}}, "-0 | -1"}}},
        {"a new state or name in alert notifies anew; an emptied slot closes; a printer may arrive in alert",
         {{{{"A", Ready}, {"B", Ready}, {"C", Ready}}, ""},
          {{{"A", Paper}, {"B", Fault}, {"C", Off}}, "+0 PaperOut A | +1 Fault B | +2 OffLine C"},
          {{{"A", Fault}, {"B2", Fault}, {}, {"D", Off}}, "+0 Fault A | +1 Fault B2 | -2 | +3 OffLine D"},
          {{{"A2", Ready}, {"B2", Fault}, {"C", Ready}, {"D", Off}}, "-0"}}},
    };
    for (const auto &[what, steps] : cases) {
        AlertTracker tracker;
        for (std::size_t i = 0; i < steps.size(); ++i)
            EXPECT_EQ(Describe(tracker.Update(BuildReply(steps[i].printers))), steps[i].expected)
                << what << ", reply " << i + 1;
    }
}

}  // namespace

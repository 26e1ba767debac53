// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Which printers need someone: the states worth a desktop notification, and
// what changed between two replies. Pure logic; the notifier only carries it out.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "link/protocol.h"

// The states that need a person, by the status byte as GetStatusText reads it.
enum class PrinterAlert { None, OffLine, PaperOut, Fault };

PrinterAlert AlertOf(std::uint8_t statusFlags);

// What to do about one slot's notification. Notify replaces the slot's open one, if any.
struct AlertChange {
    enum class Action { Notify, Close };
    Action action;
    std::size_t slot;
    PrinterAlert alert;  // Notify only
    std::string name;    // Notify only: 8-bit bytes as the server sent them
    std::uint8_t statusFlags;
};

// Remembers each slot's alert from one reply to the next. The first reply
// announces nothing, since the window shows it; a printer that enters an alert
// state (or, in one, changes its name or state) is announced; one that leaves it,
// or whose slot empties, has its notification closed; one that stays is left alone.
class AlertTracker {
public:
    std::vector<AlertChange> Update(const StatusReply &reply);

private:
    struct Seen {
        PrinterAlert alert = PrinterAlert::None;
        std::string name;
    };
    bool m_first = true;
    Seen m_seen[PrinterSlots];
};

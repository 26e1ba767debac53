// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "view/printer_alerts.h"

PrinterAlert AlertOf(std::uint8_t statusFlags)
{
    // The same reading as the status column: off line first, then ready, then paper out or a fault.
    if (!IsOnLine(statusFlags))
        return PrinterAlert::OffLine;
    if (IsOnLineReady(statusFlags))
        return PrinterAlert::None;
    return IsPaperOut(statusFlags) ? PrinterAlert::PaperOut : PrinterAlert::Fault;
}

std::vector<AlertChange> AlertTracker::Update(const StatusReply &reply)
{
    std::vector<AlertChange> changes;
    for (std::size_t slot = 0; slot < PrinterSlots; ++slot) {
        const PrinterRecord &record = reply.records[slot];
        Seen now;
        if (IsSlotUsed(record)) {
            now.alert = AlertOf(record.statusFlags);
            now.name = FieldText(record.printerName);
        }
        Seen &before = m_seen[slot];
        const bool same = now.alert == before.alert && (now.alert == PrinterAlert::None || now.name == before.name);
        if (!m_first && !same) {
            if (now.alert != PrinterAlert::None)
                changes.push_back({AlertChange::Action::Notify, slot, now.alert, now.name, record.statusFlags});
            else
                changes.push_back({AlertChange::Action::Close, slot, PrinterAlert::None, std::string(), 0});
        }
        before = std::move(now);
    }
    m_first = false;
    return changes;
}

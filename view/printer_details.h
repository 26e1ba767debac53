// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The texts shown for one printer: the status list row and the details text.
// Pure functions of the record; the window only hands them to its controls.
// Texts are 8-bit (Latin-1) bytes as the server sent them.
#pragma once
#include <cstdint>
#include <optional>
#include <string>

#include "link/protocol.h"

// "OFFLINE", "BUSY", "ON-LINE", "PAPER OUT" or "ERROR".
std::string GetStatusText(std::uint8_t statusFlags);

// One character, '0' plus the low 8 bits of the count; empty when that code is 0.
std::string FormatJobCount(std::int32_t jobCount);

// The "Printed Percent" cell, or no text at all (the cell stays empty).
std::optional<std::string> FormatPrintedPercent(const PrinterRecord &record);

// Port type, current user, user address and document size, CR LF lines.
std::string FormatDetailsText(const PrinterRecord &record);

// The size part of the "Current Doc Size" line (empty when there is none).
std::string FormatDocSize(const PrinterRecord &record);

// The value of the "Port Type" line: "LPT" or "Bi-direction".
const char *PortTypeText(std::uint8_t portType);

// The value of the "IP Address" line: the user's address in dotted form while
// a job is queued, otherwise empty.
std::string FormatUserAddress(const PrinterRecord &record);

// The one row of the status list, column by column.
struct StatusRow {
    std::string status;
    std::string jobs;
    std::optional<std::string> percent;
};

StatusRow MakeStatusRow(const PrinterRecord &record);

// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "view/printer_details.h"

#include "text/endpoint.h"

#include <cstdio>
#include <cstring>

std::string GetStatusText(std::uint8_t statusFlags)
{
    if (!IsOnLine(statusFlags))
        return "OFFLINE";
    if (IsOnLineReady(statusFlags))
        return IsBusy(statusFlags) ? "BUSY" : "ON-LINE";
    return IsPaperOut(statusFlags) ? "PAPER OUT" : "ERROR";
}

std::string FormatJobCount(std::int32_t jobCount)
{
    // The server's count is shown as a single character; wider counts wrap.
    const auto low = static_cast<std::uint8_t>(static_cast<std::uint32_t>(jobCount) & 0xFFu);
    const auto code = static_cast<std::uint8_t>(0x30u + low);
    if (code == 0)
        return std::string();
    return std::string(1, static_cast<char>(code));
}

std::optional<std::string> FormatPrintedPercent(const PrinterRecord &record)
{
    if (record.docSizeUnknown == 1)
        return std::string("UNKNOWN");
    if (record.jobCount <= 0 || !IsOnLine(record.statusFlags))
        return std::nullopt;
    const std::int32_t percent = record.printedPercent;
    if (percent >= 100)
        return std::string("100%");
    if (percent > 0)
        return std::to_string(percent) + "%";
    if (percent == 0)
        return std::string("Size Counting...");
    return std::nullopt;
}

std::string FormatDocSize(const PrinterRecord &record)
{
    if (record.docSizeUnknown == 1)
        return "UNKNOWN\r\n";
    const std::int32_t size = record.docSize;
    char buf[48];
    if (size >= 1048576)
        std::snprintf(buf, sizeof buf, "%.2fM Bytes\r\n", static_cast<double>(size) / 1048576.0);
    else if (size >= 1024)
        std::snprintf(buf, sizeof buf, "%.2fK Bytes\r\n", static_cast<double>(size) / 1024.0);
    else if (size >= 1)
        std::snprintf(buf, sizeof buf, "%d Bytes\r\n", static_cast<int>(size));
    else
        return std::string();
    return buf;
}

const char *PortTypeText(std::uint8_t portType) { return portType != 0 ? "LPT" : "Bi-direction"; }

std::string FormatUserAddress(const PrinterRecord &record)
{
    // The user's address means something only while a job is queued.
    if (record.jobCount <= 0)
        return std::string();
    std::uint32_t address = 0;  // the bytes in the written order are network order
    std::memcpy(&address, record.userAddress, sizeof address);
    return ktext::Ipv4Text(address);
}

std::string FormatDetailsText(const PrinterRecord &record)
{
    std::string text;
    text.reserve(160);
    text += "Port Type: \t\t";
    text += PortTypeText(record.portType);
    text += "\r\n";

    text += "Current User: \t\t";
    text += FieldText(record.currentUser);
    text += "\r\n";

    text += "IP Address: \t\t";
    text += FormatUserAddress(record);
    text += "\r\n";

    // With no size the text ends on the label's tabs, without a line break.
    text += "Current Doc Size: \t\t";
    text += FormatDocSize(record);
    return text;
}

StatusRow MakeStatusRow(const PrinterRecord &record)
{
    return StatusRow{GetStatusText(record.statusFlags), FormatJobCount(record.jobCount), FormatPrintedPercent(record)};
}

// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The print-server protocol: port, the one-byte datagrams, and the layout of the
// status reply with its eight printer records.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

constexpr std::uint16_t StatusPort = 60000;
constexpr std::uint8_t DiscoveryProbe = 0xAA;
constexpr std::uint8_t DiscoveryAnswer = 0x55;
constexpr std::uint8_t StatusRequest = 0x55;

constexpr std::size_t PrinterSlots = 8;

#pragma pack(push, 1)
struct PrinterRecord {
    char printerName[64];  // zero-terminated within the field; first byte 0 = empty slot
    char currentUser[32];
    std::uint8_t userAddress[4];  // dotted order
    std::uint8_t portType;        // non-zero: LPT; zero: bi-directional
    std::uint8_t statusFlags;
    std::uint8_t reserved[2];
    std::int32_t docSize;
    std::int32_t printedPercent;
    std::int32_t jobCount;
    std::uint32_t docSizeUnknown;  // exactly 1: size not known
};

struct StatusReply {
    PrinterRecord records[PrinterSlots];
};
#pragma pack(pop)

static_assert(sizeof(PrinterRecord) == 120, "a printer record is 120 bytes");
static_assert(sizeof(StatusReply) == 960, "a status reply is 960 bytes");
static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "records are used as received: little-endian host");

constexpr std::size_t PrinterRecordSize = sizeof(PrinterRecord);
constexpr std::size_t StatusReplySize = sizeof(StatusReply);

// statusFlags bits
constexpr std::uint8_t StatusOnLine = 0x80;
constexpr std::uint8_t StatusNoFault = 0x08;
constexpr std::uint8_t StatusBusy = 0x04;
constexpr std::uint8_t StatusPaperOut = 0x20;

inline bool IsOnLine(std::uint8_t flags) { return (flags & StatusOnLine) != 0; }
inline bool IsOnLineReady(std::uint8_t flags)
{
    return (flags & (StatusOnLine | StatusNoFault)) == (StatusOnLine | StatusNoFault);
}
inline bool IsBusy(std::uint8_t flags) { return (flags & StatusBusy) != 0; }
inline bool IsPaperOut(std::uint8_t flags) { return (flags & StatusPaperOut) != 0; }

inline bool IsSlotUsed(const PrinterRecord &r) { return r.printerName[0] != 0; }

// A reply as received: the first `length` bytes of data (at most 960), the rest zero.
StatusReply DecodeStatusReply(const void *data, std::size_t length);

// A text field read up to its zero byte, never past its width. Bytes are kept
// as they are (8-bit characters); the caller chooses how to show them.
std::string FieldText(const char *field, std::size_t width);

template <std::size_t N>
std::string FieldText(const char (&field)[N])
{
    return FieldText(field, N);
}

// Decoding of status replies as they come off the wire.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "link/protocol.h"
#include "tests/view/record_builder.h"

namespace {

std::vector<unsigned char> FullBuffer(unsigned char fill)
{
    return std::vector<unsigned char>(StatusReplySize, fill);
}

TEST(ReplyDecoding, ShortRepliesLeaveUncoveredSlotsEmpty)
{
    struct Case {
        const char *what;
        std::size_t length;
        bool slotUsed[PrinterSlots];
        std::size_t zeroFrom;  // first byte of the decoded reply that must read as zero
    };
    const Case cases[] = {
        {"zero bytes", 0, {false, false, false, false, false, false, false, false}, 0},
        {"130 bytes", 130, {true, true, false, false, false, false, false, false}, 130},
        {"one record", 120, {true, false, false, false, false, false, false, false}, 120},
        {"full", 960, {true, true, true, true, true, true, true, true}, 960},
        {"longer buffer is cut to 960", 2000, {true, true, true, true, true, true, true, true}, 960},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<unsigned char> wire(std::max<std::size_t>(c.length, 1), 'x');
        const StatusReply reply = DecodeStatusReply(wire.data(), c.length);
        for (std::size_t i = 0; i < PrinterSlots; ++i)
            EXPECT_EQ(IsSlotUsed(reply.records[i]), c.slotUsed[i]) << "slot " << i;
        const auto *bytes = reinterpret_cast<const unsigned char *>(&reply);
        for (std::size_t b = 0; b < StatusReplySize; ++b) {
            const unsigned char expected = b < c.zeroFrom ? 'x' : 0;
            ASSERT_EQ(bytes[b], expected) << "byte " << b;
        }
    }
}

TEST(ReplyDecoding, NullDataIsAnEmptyReply)
{
    const StatusReply reply = DecodeStatusReply(nullptr, 960);
    for (const PrinterRecord &r : reply.records)
        EXPECT_FALSE(IsSlotUsed(r));
}

TEST(ReplyDecoding, SlotsAndFieldsSitAtTheirOffsets)
{
    std::vector<unsigned char> wire = FullBuffer(0);
    for (std::size_t i = 0; i < PrinterSlots; ++i) {
        unsigned char *rec = wire.data() + 120 * i;
        rec[0] = static_cast<unsigned char>('A' + i);
        rec[64] = 'u';
        rec[96] = 10;
        rec[97] = 0;
        rec[98] = static_cast<unsigned char>(i);
        rec[99] = 255;
        rec[100] = static_cast<unsigned char>(i & 1);
        rec[101] = static_cast<unsigned char>(0x80 | i);
        PutLe32(rec + 104, 1000 + i);
        PutLe32(rec + 108, 10 * i);
        PutLe32(rec + 112, i);
        PutLe32(rec + 116, i == 3 ? 1 : 0);
    }
    const StatusReply reply = DecodeStatusReply(wire.data(), wire.size());
    for (std::size_t i = 0; i < PrinterSlots; ++i) {
        SCOPED_TRACE(i);
        const PrinterRecord &r = reply.records[i];
        EXPECT_EQ(FieldText(r.printerName), std::string(1, static_cast<char>('A' + i)));
        EXPECT_EQ(FieldText(r.currentUser), "u");
        EXPECT_EQ(r.userAddress[0], 10);
        EXPECT_EQ(r.userAddress[2], i);
        EXPECT_EQ(r.userAddress[3], 255);
        EXPECT_EQ(r.portType, i & 1);
        EXPECT_EQ(r.statusFlags, 0x80 | i);
        EXPECT_EQ(r.docSize, static_cast<std::int32_t>(1000 + i));
        EXPECT_EQ(r.printedPercent, static_cast<std::int32_t>(10 * i));
        EXPECT_EQ(r.jobCount, static_cast<std::int32_t>(i));
        EXPECT_EQ(r.docSizeUnknown, i == 3 ? 1u : 0u);
    }
}

TEST(ReplyDecoding, TextFieldsStopAtTheirWidth)
{
    std::vector<unsigned char> wire = FullBuffer(0);
    std::memset(wire.data(), 'N', 64);        // printerName without a zero byte
    std::memcpy(wire.data() + 64, "bob", 3);  // currentUser right behind it
    std::memset(wire.data() + 120 + 64, 0xE9, 32);  // 8-bit user name filling its field
    wire[120] = 'P';
    wire[120 + 96] = 1;  // userAddress right behind it
    const StatusReply reply = DecodeStatusReply(wire.data(), wire.size());

    const std::string name = FieldText(reply.records[0].printerName);
    EXPECT_EQ(name, std::string(64, 'N'));
    EXPECT_EQ(FieldText(reply.records[0].currentUser), "bob");
    EXPECT_EQ(FieldText(reply.records[1].currentUser), std::string(32, '\xE9'));
    EXPECT_EQ(FieldText(reply.records[1].printerName), "P");
}

TEST(ReplyDecoding, StatusPredicates)
{
    struct Case {
        std::uint8_t flags;
        bool onLine, ready, busy, paperOut;
    };
    const Case cases[] = {
        {0x00, false, false, false, false}, {0x7F, false, false, true, true},
        {0x80, true, false, false, false},  {0x88, true, true, false, false},
        {0x8C, true, true, true, false},    {0xA0, true, false, false, true},
        {0x08, false, false, false, false}, {0xFF, true, true, true, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(static_cast<int>(c.flags));
        EXPECT_EQ(IsOnLine(c.flags), c.onLine);
        EXPECT_EQ(IsOnLineReady(c.flags), c.ready);
        EXPECT_EQ(IsBusy(c.flags), c.busy);
        EXPECT_EQ(IsPaperOut(c.flags), c.paperOut);
    }
}

TEST(ReplyDecoding, IntegersAreSignedLittleEndian)
{
    struct Case {
        std::uint32_t wire;
        std::int32_t value;
    };
    const Case cases[] = {
        {0xFFFFFFFFu, -1}, {0x80000000u, INT32_MIN}, {0x7FFFFFFFu, INT32_MAX}, {0x00000102u, 258}, {0, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.wire);
        std::vector<unsigned char> wire = FullBuffer(0);
        wire[0] = 'P';
        PutLe32(wire.data() + 104, c.wire);
        PutLe32(wire.data() + 108, c.wire);
        PutLe32(wire.data() + 112, c.wire);
        PutLe32(wire.data() + 116, c.wire);
        const PrinterRecord r = DecodeStatusReply(wire.data(), wire.size()).records[0];
        EXPECT_EQ(r.docSize, c.value);
        EXPECT_EQ(r.printedPercent, c.value);
        EXPECT_EQ(r.jobCount, c.value);
        EXPECT_EQ(r.docSizeUnknown, c.wire);
    }
}

}  // namespace

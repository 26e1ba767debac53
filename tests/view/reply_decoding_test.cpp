// Decoding of status replies as they come off the wire.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "link/protocol.h"

namespace {

TEST(ReplyDecoding, ShortAndLongBuffers)
{
    // Only the bytes received are kept; the rest reads as zero, so uncovered slots are empty.
    std::vector<unsigned char> wire(2000, 'x');
    for (std::size_t length : {0, 1, 130, 960, 2000}) {
        const StatusReply reply = DecodeStatusReply(wire.data(), length);
        const auto *bytes = reinterpret_cast<const unsigned char *>(&reply);
        for (std::size_t b = 0; b < StatusReplySize; ++b)
            ASSERT_EQ(bytes[b], b < length ? 'x' : 0) << "byte " << b << " of " << length;
        for (std::size_t i = 0; i < PrinterSlots; ++i)
            EXPECT_EQ(IsSlotUsed(reply.records[i]), i * PrinterRecordSize < length) << i << " of " << length;
    }
    for (const PrinterRecord &r : DecodeStatusReply(nullptr, 960).records)
        EXPECT_FALSE(IsSlotUsed(r));
}

TEST(ReplyDecoding, FieldsSitAtTheirOffsets)
{
    // Signed little-endian integers at their boundaries, in the fourth record.
    for (std::uint32_t v : {0xFFFFFFFFu, 0x80000000u, 0x7FFFFFFFu, 0x102u}) {
        std::vector<unsigned char> wire(StatusReplySize, 0);
        unsigned char *rec = wire.data() + 3 * PrinterRecordSize;
        std::memset(rec, 'N', 64);  // a name without a zero byte, the user right behind it
        rec[64] = 'u';
        std::memset(rec + 65, 0xE9, 31);
        const unsigned char tail[] = {10, 0, 7, 255, 1, 0x8C};
        std::memcpy(rec + 96, tail, sizeof tail);
        for (int f = 0; f < 16; ++f)
            rec[104 + f] = static_cast<unsigned char>((v + static_cast<std::uint32_t>(f / 4)) >> (8 * (f % 4)));
        const PrinterRecord r = DecodeStatusReply(wire.data(), wire.size()).records[3];
        EXPECT_EQ(FieldText(r.printerName), std::string(64, 'N'));
        EXPECT_EQ(FieldText(r.currentUser), "u" + std::string(31, '\xE9'));
        EXPECT_EQ(std::vector<unsigned>(r.userAddress, r.userAddress + 4), (std::vector<unsigned>{10, 0, 7, 255}));
        EXPECT_EQ(r.portType, 1);
        EXPECT_EQ(r.statusFlags, 0x8C);
        EXPECT_EQ(r.docSize, static_cast<std::int32_t>(v)) << v;
        EXPECT_EQ(r.printedPercent, static_cast<std::int32_t>(v + 1u));
        EXPECT_EQ(r.jobCount, static_cast<std::int32_t>(v + 2u));
        EXPECT_EQ(r.docSizeUnknown, v + 3u);
    }
}

}  // namespace

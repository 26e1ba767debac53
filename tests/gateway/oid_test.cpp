#include "link/gateway.h"
#include "platform/global_memory.h"
#include "platform/module.h"
#include "tests/gateway/alloc_tracker.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

using platform::BYTE;
using platform::UINT;

namespace {

struct CompareCase {
    std::vector<UINT> first;
    std::vector<UINT> second;
    UINT n;
    std::int32_t expected;
};

TEST(CompareOidPrefix, ComparesOnlyTheCommonPrefix)
{
    const CompareCase cases[] = {
        {{1, 3, 6}, {1, 3, 6, 1}, 4, 0},          // shorter but agreeing: equal
        {{1, 3, 7}, {1, 3, 6}, 3, 1},
        {{1, 3, 5}, {1, 3, 6}, 3, -1},
        {{1, 3, 6, 9}, {1, 3, 6, 1}, 3, 0},       // difference beyond n
        {{1, 3, 6}, {2}, 0, 0},                   // nothing compared
        {{0}, {0xFFFFFFFFu}, 1, 1},               // 32-bit wrap-around
        {{0x80000000u}, {0}, 1, INT32_MIN},
        {{}, {1, 3, 6}, 14, 0},
    };
    for (const CompareCase &c : cases) {
        std::vector<UINT> a = c.first, b = c.second;
        AsnObjectIdentifier first{static_cast<UINT>(a.size()), a.empty() ? nullptr : a.data()};
        AsnObjectIdentifier second{static_cast<UINT>(b.size()), b.data()};
        EXPECT_EQ(CompareOidPrefix(&first, &second, c.n), c.expected) << "n=" << c.n;
    }
    // A length without storage compares like an empty identifier, never a read.
    UINT ids[] = {1, 3, 6};
    AsnObjectIdentifier broken{14, nullptr}, good{3, ids};
    EXPECT_EQ(CompareOidPrefix(&broken, &good, 14), 0);
}

TEST(CopyOid, CopiesAndReportsAFailedAllocation)
{
    UINT ids[] = {1, 3, 6, 1, 2, 1};
    const AsnObjectIdentifier source{6, ids};

    alloc_tracker::Begin();
    AsnObjectIdentifier copy{};
    ASSERT_TRUE(CopyOid(&copy, &source));
    ASSERT_EQ(copy.idLength, 6u);
    ASSERT_NE(copy.ids, ids);
    EXPECT_EQ(std::memcmp(copy.ids, ids, sizeof ids), 0);
    FreeOid(&copy);
    EXPECT_EQ(copy.ids, nullptr);
    EXPECT_EQ(copy.idLength, 0u);
    EXPECT_EQ(alloc_tracker::End(), 0u);

    platform::SetLastError(0);
    AsnObjectIdentifier failed{99, nullptr};
    alloc_tracker::FailNextAllocations(1);
    EXPECT_FALSE(CopyOid(&failed, &source));
    alloc_tracker::FailNextAllocations(0);
    EXPECT_EQ(platform::GetLastError(), SNMP_MEM_ALLOC_ERROR);
    EXPECT_EQ(failed.ids, nullptr);
    EXPECT_EQ(failed.idLength, 99u);  // left as it was
}

// Every value kind FreeVarBind knows, with and without storage of its own.
TEST(FreeVarBind, ReleasesExactlyWhatTheBindingOwns)
{
    struct Case {
        BYTE type;
        bool dynamic;
    };
    const Case cases[] = {
        {ASN_IPADDRESS, false}, {ASN_IPADDRESS, true}, {ASN_OCTETSTRING, true}, {ASN_OCTETSTRING, false},
        {ASN_SEQUENCE, true},   {ASN_OPAQUE, true},    {ASN_OBJECTIDENTIFIER, true}, {ASN_INTEGER, false},
        {ASN_NULL, false},
    };
    for (const Case &c : cases) {
        BYTE ownBytes[4] = {192, 168, 1, 1};
        UINT nameIds[] = {1, 3, 6};
        const AsnObjectIdentifier name{3, nameIds};

        alloc_tracker::Begin();
        SnmpVarBind binding{};
        ASSERT_TRUE(CopyOid(&binding.name, &name));
        binding.value.asnType = c.type;
        BYTE *stream = ownBytes;
        if (c.type == ASN_OBJECTIDENTIFIER) {
            ASSERT_TRUE(CopyOid(&binding.value.asnValue.object, &name));
        } else if (c.type == ASN_INTEGER) {
            binding.value.asnValue.number = 7;
        } else if (c.type != ASN_NULL) {
            if (c.dynamic)
                stream = static_cast<BYTE *>(platform::GlobalAlloc(platform::GPTR, 4));
            binding.value.asnValue.string = AsnOctetString{stream, 4, c.dynamic ? 1 : 0};
        }
        FreeVarBind(&binding);
        EXPECT_EQ(alloc_tracker::End(), 0u) << "type " << int(c.type);
        EXPECT_EQ(binding.value.asnType, ASN_NULL);
        EXPECT_EQ(binding.name.ids, nullptr);
        EXPECT_EQ(binding.name.idLength, 0u);
        if (c.type == ASN_IPADDRESS && !c.dynamic) {
            // Storage not owned stays where it was, untouched.
            EXPECT_EQ(binding.value.asnValue.address.stream, ownBytes);
            EXPECT_EQ(binding.value.asnValue.address.length, 4u);
            EXPECT_EQ(ownBytes[0], 192);
        }
    }
}

TEST(GlobalMemory, ZeroFilledFixedBlocksOnly)
{
    auto *block = static_cast<BYTE *>(platform::GlobalAlloc(platform::GPTR, 64));
    ASSERT_NE(block, nullptr);
    for (int i = 0; i < 64; ++i)
        EXPECT_EQ(block[i], 0);
    EXPECT_EQ(platform::GlobalFree(block), nullptr);
    EXPECT_EQ(platform::GlobalFree(nullptr), nullptr);
    void *empty = platform::GlobalAlloc(platform::GPTR, 0);
    EXPECT_NE(empty, nullptr);
    platform::GlobalFree(empty);
    EXPECT_EQ(platform::GlobalAlloc(0x0002 /* moveable */, 16), nullptr);
}

TEST(ModuleNames, PlatformNameMapsToTheModuleBesideTheExecutable)
{
    const std::string folder = platform::ExecutableDirectory();
    ASSERT_FALSE(folder.empty());
    EXPECT_EQ(platform::ModulePathFor("INETMIB1.DLL"), folder + "/libinetmib1.so");
    EXPECT_EQ(platform::ModulePathFor("inetmib1.dll"), folder + "/libinetmib1.so");
    EXPECT_EQ(platform::ModulePathFor("/opt/x/libother.so"), "/opt/x/libother.so");
    EXPECT_EQ(platform::ModulePathFor("OTHER.DLL"), "OTHER.DLL");

    platform::Module missing = platform::LoadLibraryA("/nonexistent/libnothing.so");
    EXPECT_FALSE(missing.IsLoaded());
    EXPECT_EQ(platform::GetProcAddress(missing, "SnmpExtensionInit"), nullptr);
}

}  // namespace

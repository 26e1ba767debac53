// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The agent's answers as the gateway lookup sees them: a query that returns any result and leaves in the binding a name
// of any length (or none) and a value of any type and size, owned or not. The lookup accepts exactly an IpAddress of at
// least four bytes under the requested name, leaves out untouched otherwise and releases what it owns (LeakSanitizer
// sees the rest).
#include <fuzzer/FuzzedDataProvider.h>

#include "tests/fuzz/fuzz.h"
#include "link/gateway.h"
#include "platform/global_memory.h"

#include <cstring>
#include <vector>

namespace {

using platform::BYTE;
using platform::UINT;

FuzzedDataProvider *g_in = nullptr;
constexpr UINT kRequest[] = {1, 3, 6, 1, 2, 1, 4, 21, 1, 7, 0, 0, 0, 0};
BYTE g_staticBytes[16];  // storage the agent keeps (not dynamic)
bool g_accept = false;   // what the agent put in is an answer the lookup must take
std::vector<BYTE> g_address;

template <typename T>
T *GlobalArray(UINT n)
{
    return static_cast<T *>(platform::GlobalAlloc(platform::GPTR, n * sizeof(T)));
}

platform::BOOL FuzzedQuery(BYTE pdu, SnmpVarBindList *list, AsnInteger32 *status, AsnInteger32 *index)
{
    FuzzedDataProvider &in = *g_in;
    FUZZ_CHECK(pdu == SNMP_PDU_GET && list && list->len == 1 && status && index);
    SnmpVarBind &b = list->list[0];
    FUZZ_CHECK(b.name.idLength == 14 && std::memcmp(b.name.ids, kRequest, sizeof kRequest) == 0);
    FUZZ_CHECK(b.value.asnType == ASN_NULL);
    *status = in.ConsumeIntegral<AsnInteger32>();
    *index = in.ConsumeIntegral<AsnInteger32>();
    bool nameMatches = true;  // over the sub-identifiers the answer has
    if (in.ConsumeBool()) {   // the agent rewrites the name: in global memory, empty, or a length without ids
        FreeOid(&b.name);
        const auto n = in.ConsumeIntegralInRange<UINT>(0, 40);
        const int storage = in.ConsumeIntegralInRange<int>(0, 2);
        b.name.ids = storage == 0 ? GlobalArray<UINT>(n) : nullptr;
        b.name.idLength = storage == 1 ? 0 : n;
        for (UINT i = 0; b.name.ids && i < n; ++i) {
            b.name.ids[i] = in.ConsumeBool() && i < 14 ? kRequest[i] : in.ConsumeIntegral<UINT>();
            nameMatches &= i >= 14 || b.name.ids[i] == kRequest[i];
        }
    }
    // A value of any type: strings with or without storage of their own, an identifier with or without ids.
    const BYTE type = in.ConsumeBool()
                          ? in.PickValueInArray({ASN_INTEGER, ASN_OCTETSTRING, ASN_NULL, ASN_OBJECTIDENTIFIER,
                                                 ASN_SEQUENCE, ASN_IPADDRESS, ASN_OPAQUE, BYTE(0xFF)})
                          : in.ConsumeIntegral<BYTE>();
    b.value.asnType = type;
    g_address.clear();
    const auto n = in.ConsumeIntegralInRange<UINT>(0, 16);
    if (type == ASN_OCTETSTRING || type == ASN_SEQUENCE || type == ASN_IPADDRESS || type == ASN_OPAQUE) {
        const bool dynamic = in.ConsumeBool();
        BYTE *stream = dynamic ? GlobalArray<BYTE>(n) : (in.ConsumeBool() ? g_staticBytes : nullptr);
        const std::vector<BYTE> bytes = in.ConsumeBytes<BYTE>(n);
        if (stream && !bytes.empty())
            std::memcpy(stream, bytes.data(), bytes.size());
        if (stream)
            g_address.assign(stream, stream + n);
        b.value.asnValue.string = AsnOctetString{stream, stream ? n : in.ConsumeIntegralInRange<UINT>(0, 8), dynamic};
    } else if (type == ASN_OBJECTIDENTIFIER) {
        b.value.asnValue.object = AsnObjectIdentifier{n, in.ConsumeBool() ? GlobalArray<UINT>(n) : nullptr};
    } else {
        b.value.asnValue.counter64 = in.ConsumeIntegral<AsnCounter64>();
    }
    const platform::BOOL result = in.ConsumeIntegralInRange<platform::BOOL>(0, 2);
    g_accept = result != 0 && nameMatches && type == ASN_IPADDRESS && g_address.size() >= 4;
    return result;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    FuzzedDataProvider in(data, size);
    g_in = &in;
    const std::uint8_t untouched[4] = {0xA5, 0xA5, 0xA5, 0xA5};
    std::uint8_t out[4] = {0xA5, 0xA5, 0xA5, 0xA5};
    FUZZ_CHECK(QueryGatewayAddress(FuzzedQuery, out) == g_accept);
    FUZZ_CHECK(std::memcmp(out, g_accept ? g_address.data() : untouched, 4) == 0);
    g_accept = false;
    return 0;
}

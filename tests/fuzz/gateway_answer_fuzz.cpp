// The agent's answers as the gateway lookup sees them: a query that returns
// any result and leaves in the binding a name of any length (or none) and a
// value of any type and size, owned or not. The lookup accepts exactly an
// IpAddress of at least four bytes under the requested name, reads no more
// than it holds, leaves out untouched otherwise and releases what it owns.
#include <fuzzer/FuzzedDataProvider.h>

#include "tests/fuzz/fuzz_check.h"

#include "link/gateway.h"
#include "platform/global_memory.h"

#include <cstring>
#include <vector>

namespace {

FuzzedDataProvider *g_in = nullptr;
constexpr platform::UINT kRequest[] = {1, 3, 6, 1, 2, 1, 4, 21, 1, 7, 0, 0, 0, 0};
platform::BYTE g_staticBytes[16];  // storage the agent keeps (dynamic 0)

// What the agent put in, for the expected verdict.
struct Answer {
    platform::BOOL result = 0;
    bool nameMatches = true;
    platform::BYTE type = ASN_NULL;
    std::vector<platform::BYTE> address;
} g_answer;

platform::BOOL FuzzedQuery(platform::BYTE pdu, SnmpVarBindList *list, AsnInteger32 *status, AsnInteger32 *index)
{
    FuzzedDataProvider &in = *g_in;
    FUZZ_CHECK(pdu == SNMP_PDU_GET && list && list->len == 1 && status && index);
    SnmpVarBind &b = list->list[0];
    FUZZ_CHECK(b.name.idLength == 14 && std::memcmp(b.name.ids, kRequest, sizeof kRequest) == 0);
    FUZZ_CHECK(b.value.asnType == ASN_NULL);
    *status = in.ConsumeIntegral<AsnInteger32>();
    *index = in.ConsumeIntegral<AsnInteger32>();

    if (in.ConsumeBool()) {  // the agent rewrites the name
        FreeOid(&b.name);
        const auto n = in.ConsumeIntegralInRange<platform::UINT>(0, 40);
        const int storage = in.ConsumeIntegralInRange<int>(0, 2);  // 0 global memory, 1 none, 2 null ids
        if (storage == 0) {
            b.name.ids = static_cast<platform::UINT *>(platform::GlobalAlloc(platform::GPTR, n * 4));
            for (platform::UINT i = 0; i < n; ++i)
                b.name.ids[i] = in.ConsumeBool() && i < 14 ? kRequest[i] : in.ConsumeIntegral<platform::UINT>();
        } else {
            b.name.ids = nullptr;
        }
        b.name.idLength = storage == 1 ? 0 : n;
        g_answer.nameMatches = true;
        for (platform::UINT i = 0; i < 14 && b.name.ids && i < b.name.idLength; ++i)
            g_answer.nameMatches &= b.name.ids[i] == kRequest[i];
    }

    static const platform::BYTE kTypes[] = {ASN_INTEGER,  ASN_OCTETSTRING, ASN_NULL,       ASN_OBJECTIDENTIFIER,
                                            ASN_SEQUENCE, ASN_IPADDRESS,   ASN_COUNTER32,  ASN_OPAQUE,
                                            ASN_BITS,     ASN_COUNTER64,   ASN_UNSIGNED32, 0xFF};
    const platform::BYTE type =
        in.ConsumeBool() ? in.PickValueInArray(kTypes) : in.ConsumeIntegral<platform::BYTE>();
    b.value.asnType = type;
    g_answer.type = type;
    g_answer.address.clear();
    switch (type) {
    case ASN_OCTETSTRING:
    case ASN_SEQUENCE:
    case ASN_IPADDRESS:
    case ASN_OPAQUE: {
        const auto n = in.ConsumeIntegralInRange<platform::UINT>(0, 16);
        const bool dynamic = in.ConsumeBool();
        platform::BYTE *stream = dynamic ? static_cast<platform::BYTE *>(platform::GlobalAlloc(platform::GPTR, n))
                                         : (in.ConsumeBool() ? g_staticBytes : nullptr);
        const std::vector<platform::BYTE> bytes = in.ConsumeBytes<platform::BYTE>(n);
        if (stream && !bytes.empty())
            std::memcpy(stream, bytes.data(), bytes.size());
        b.value.asnValue.string = AsnOctetString{stream, stream ? n : in.ConsumeIntegralInRange<platform::UINT>(0, 8),
                                                 dynamic};
        if (stream)
            g_answer.address.assign(stream, stream + n);
        break;
    }
    case ASN_OBJECTIDENTIFIER: {
        const auto n = in.ConsumeIntegralInRange<platform::UINT>(0, 40);
        b.value.asnValue.object.idLength = n;
        b.value.asnValue.object.ids =
            in.ConsumeBool() ? static_cast<platform::UINT *>(platform::GlobalAlloc(platform::GPTR, n * 4)) : nullptr;
        break;
    }
    default:
        b.value.asnValue.counter64 = in.ConsumeIntegral<AsnCounter64>();
        break;
    }
    g_answer.result = in.ConsumeIntegralInRange<platform::BOOL>(0, 2);
    return g_answer.result;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    FuzzedDataProvider in(data, size);
    g_in = &in;
    g_answer = Answer{};
    std::uint8_t out[4] = {0xA5, 0xA5, 0xA5, 0xA5};
    const bool ok = QueryGatewayAddress(FuzzedQuery, out);
    const bool wanted = g_answer.result != 0 && g_answer.nameMatches && g_answer.type == ASN_IPADDRESS &&
                        g_answer.address.size() >= 4;
    FUZZ_CHECK(ok == wanted);
    if (ok)
        FUZZ_CHECK(std::memcmp(out, g_answer.address.data(), 4) == 0);
    else
        FUZZ_CHECK(out[0] == 0xA5 && out[1] == 0xA5 && out[2] == 0xA5 && out[3] == 0xA5);
    // An object identifier value the agent left without storage must not have been freed twice or
    // leaked: LeakSanitizer reports any block of the answer that stays behind.
    g_in = nullptr;
    return 0;
}

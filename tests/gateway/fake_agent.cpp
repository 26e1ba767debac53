// Built three times: complete, without SnmpExtensionQuery, without SnmpExtensionInit.
#include "tests/gateway/fake_agent.h"

#include <cstdlib>
#include <cstring>

#define FAKE_EXPORT extern "C" __attribute__((visibility("default")))

using platform::BOOL;
using platform::BYTE;
using platform::DWORD;
using platform::UINT;

namespace {

// Plain data only, so that the module really unloads when released.
FakeAgentScript g_script;
FakeAgentRecord g_record;
void *DefaultAlloc(UINT, std::size_t bytes) { return std::calloc(bytes ? bytes : 1, 1); }
void *DefaultFree(void *memory)
{
    std::free(memory);
    return nullptr;
}
FakeAlloc g_alloc = DefaultAlloc;
FakeFree g_free = DefaultFree;

}  // namespace

FAKE_EXPORT void FakeAgentSetScript(const FakeAgentScript *script) { g_script = *script; }

FAKE_EXPORT void FakeAgentGetRecord(FakeAgentRecord *record) { *record = g_record; }

FAKE_EXPORT void FakeAgentSetAllocator(FakeAlloc alloc, FakeFree release)
{
    g_alloc = alloc;
    g_free = release;
}

#ifndef FAKE_AGENT_WITHOUT_INIT
FAKE_EXPORT BOOL SnmpExtensionInit(DWORD, HANDLE *trapEvent, AsnObjectIdentifier *supportedView)
{
    ++g_record.initCalls;
    *trapEvent = reinterpret_cast<HANDLE>(0x1234);
    static UINT view[] = {1, 3, 6, 1, 2, 1, 4};
    *supportedView = AsnObjectIdentifier{7, view};
    return g_script.initResult;
}
#endif

#ifndef FAKE_AGENT_WITHOUT_QUERY
FAKE_EXPORT BOOL SnmpExtensionQuery(BYTE pduType, SnmpVarBindList *list, AsnInteger32 *errorStatus,
                                    AsnInteger32 *errorIndex)
{
    ++g_record.queryCalls;
    g_record.pduType = pduType;
    g_record.listLength = list->len;
    SnmpVarBind &binding = list->list[0];
    g_record.requestLength = binding.name.idLength;
    std::memcpy(g_record.requestIds, binding.name.ids,
                sizeof(UINT) * (binding.name.idLength < 16 ? binding.name.idLength : 16));
    *errorStatus = g_script.queryResult ? 0 : SNMP_ERRORSTATUS_GENERR;
    *errorIndex = g_script.queryResult ? 0 : 1;

    if (g_script.writeName) {
        g_free(binding.name.ids);
        binding.name.ids = static_cast<UINT *>(g_alloc(0x40, sizeof(UINT) * g_script.nameLength));
        std::memcpy(binding.name.ids, g_script.nameIds, sizeof(UINT) * g_script.nameLength);
        binding.name.idLength = g_script.nameLength;
    }
    if (g_script.writeValue) {
        AsnAny &value = binding.value;
        value.asnType = g_script.valueType;
        if (g_script.valueType == ASN_OBJECTIDENTIFIER) {
            value.asnValue.object.idLength = g_script.valueLength;
            value.asnValue.object.ids = static_cast<UINT *>(g_alloc(0x40, sizeof(UINT) * g_script.valueLength));
        } else if (g_script.valueType == ASN_INTEGER) {
            value.asnValue.number = 42;
        } else {
            static BYTE staticValue[8];
            BYTE *stream = nullptr;
            if (!g_script.valueDynamic) {
                stream = staticValue;
                std::memcpy(stream, g_script.valueBytes, sizeof staticValue);
            } else if (g_script.storedBytes != 0) {
                stream = static_cast<BYTE *>(g_alloc(0x40, g_script.storedBytes));
                std::memcpy(stream, g_script.valueBytes, g_script.storedBytes);
            }
            value.asnValue.string = AsnOctetString{stream, g_script.valueLength, g_script.valueDynamic};
        }
    }
    return g_script.queryResult;
}
#endif

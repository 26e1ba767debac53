// A scripted extension agent for the lookup's tests: what it answers is set by
// the test through the module's exports, found with dlsym.
#pragma once
#include "link/snmp_types.h"

#include <cstddef>

struct FakeAgentScript {
    platform::BOOL initResult = 1;
    platform::BOOL queryResult = 1;
    bool writeName = true;  // replace the binding's name with the one below
    platform::UINT nameLength = 14;
    platform::UINT nameIds[16] = {1, 3, 6, 1, 2, 1, 4, 21, 1, 7, 0, 0, 0, 0};
    bool writeValue = true;
    platform::BYTE valueType = ASN_IPADDRESS;
    platform::UINT valueLength = 4;  // the length reported
    platform::UINT storedBytes = 4;  // the bytes allocated; 0 leaves stream null
    platform::BOOL valueDynamic = 1; // 0: stream points into the agent's own data
    platform::BYTE valueBytes[8] = {10, 0, 0, 1, 0, 0, 0, 0};
};

struct FakeAgentRecord {
    int initCalls = 0;
    int queryCalls = 0;
    platform::BYTE pduType = 0;
    platform::UINT listLength = 0;
    platform::UINT requestLength = 0;  // the name handed in, before any answer
    platform::UINT requestIds[16] = {};
};

using FakeAlloc = void *(*)(platform::UINT flags, std::size_t bytes);
using FakeFree = void *(*)(void *memory);

extern "C" {
typedef void (*PFNFAKESETSCRIPT)(const FakeAgentScript *script);
typedef void (*PFNFAKEGETRECORD)(FakeAgentRecord *record);
// The agent allocates and frees through the program's own global memory, so the
// test sees both sides of every block.
typedef void (*PFNFAKESETALLOCATOR)(FakeAlloc alloc, FakeFree release);
}

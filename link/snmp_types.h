// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The SNMP extension-agent interface: the value types, tags and entry points
// that the gateway lookup and our MIB-II agent module exchange in-process.
#pragma once
#include "platform/win_types.h"

#include <cstdint>

using AsnInteger32 = std::int32_t;
using AsnUnsigned32 = std::uint32_t;
using AsnCounter64 = std::uint64_t;

// An opaque kernel handle; the agent's trap event is one, and it is never used.
using HANDLE = void *;

struct AsnObjectIdentifier {
    platform::UINT idLength;
    platform::UINT *ids;  // idLength sub-identifiers, in global memory when owned
};

struct AsnOctetString {
    platform::BYTE *stream;
    platform::UINT length;
    platform::BOOL dynamic;  // non-zero: stream is global memory owned by the holder
};

struct AsnAny {
    platform::BYTE asnType;
    union {
        AsnInteger32 number;
        AsnUnsigned32 unsigned32;
        AsnCounter64 counter64;
        AsnOctetString string;
        AsnOctetString bits;
        AsnObjectIdentifier object;
        AsnOctetString sequence;
        AsnOctetString address;
        AsnUnsigned32 counter;
        AsnUnsigned32 gauge;
        AsnUnsigned32 ticks;
        AsnOctetString arbitrary;
    } asnValue;
};

struct SnmpVarBind {
    AsnObjectIdentifier name;
    AsnAny value;
};

struct SnmpVarBindList {
    SnmpVarBind *list;
    platform::UINT len;
};

// Value tags, as SNMP uses the ASN.1 ones.
constexpr platform::BYTE ASN_INTEGER = 0x02;
constexpr platform::BYTE ASN_INTEGER32 = ASN_INTEGER;
constexpr platform::BYTE ASN_BITS = 0x03;
constexpr platform::BYTE ASN_OCTETSTRING = 0x04;
constexpr platform::BYTE ASN_NULL = 0x05;
constexpr platform::BYTE ASN_OBJECTIDENTIFIER = 0x06;
constexpr platform::BYTE ASN_SEQUENCE = 0x30;
constexpr platform::BYTE ASN_IPADDRESS = 0x40;
constexpr platform::BYTE ASN_COUNTER32 = 0x41;
constexpr platform::BYTE ASN_GAUGE32 = 0x42;
constexpr platform::BYTE ASN_TIMETICKS = 0x43;
constexpr platform::BYTE ASN_OPAQUE = 0x44;
constexpr platform::BYTE ASN_COUNTER64 = 0x46;
constexpr platform::BYTE ASN_UNSIGNED32 = 0x47;

// Request kinds.
constexpr platform::BYTE SNMP_PDU_GET = 0xA0;
constexpr platform::BYTE SNMP_PDU_GETNEXT = 0xA1;
constexpr platform::BYTE SNMP_PDU_RESPONSE = 0xA2;
constexpr platform::BYTE SNMP_PDU_SET = 0xA3;
constexpr platform::BYTE SNMP_PDU_GETBULK = 0xA5;
constexpr platform::BYTE SNMP_PDU_TRAP = 0xA7;

// Error status values an agent reports.
constexpr AsnInteger32 SNMP_ERRORSTATUS_NOERROR = 0;
constexpr AsnInteger32 SNMP_ERRORSTATUS_TOOBIG = 1;
constexpr AsnInteger32 SNMP_ERRORSTATUS_NOSUCHNAME = 2;
constexpr AsnInteger32 SNMP_ERRORSTATUS_BADVALUE = 3;
constexpr AsnInteger32 SNMP_ERRORSTATUS_READONLY = 4;
constexpr AsnInteger32 SNMP_ERRORSTATUS_GENERR = 5;

// Last-error code left by an identifier copy that could not allocate.
constexpr platform::DWORD SNMP_MEM_ALLOC_ERROR = 1;

// The agent module's two entry points, found by name at run time.
constexpr const char *SnmpExtensionInitName = "SnmpExtensionInit";
constexpr const char *SnmpExtensionQueryName = "SnmpExtensionQuery";

extern "C" {
// Starts the agent; fills its trap event and first supported view. Non-zero on success.
typedef platform::BOOL (*PFNSNMPEXTENSIONINIT)(platform::DWORD timeZeroReference, HANDLE *trapEvent,
                                               AsnObjectIdentifier *supportedView);
// Answers one request in place. Non-zero when the request was processed; SNMP
// errors are reported through errorStatus and errorIndex (1-based binding).
typedef platform::BOOL (*PFNSNMPEXTENSIONQUERY)(platform::BYTE pduType, SnmpVarBindList *list,
                                                AsnInteger32 *errorStatus, AsnInteger32 *errorIndex);
}

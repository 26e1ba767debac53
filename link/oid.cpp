// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Object identifiers and variable bindings in global memory.
#include "link/gateway.h"
#include "platform/global_memory.h"

#include <cstring>

using platform::UINT;

bool CopyOid(AsnObjectIdentifier *dst, const AsnObjectIdentifier *src)
{
    if (!dst || !src)
        return false;
    const std::size_t bytes = static_cast<std::size_t>(src->idLength) * sizeof(UINT);
    dst->ids = static_cast<UINT *>(platform::GlobalAlloc(platform::GPTR, bytes));
    if (!dst->ids) {
        platform::SetLastError(SNMP_MEM_ALLOC_ERROR);
        return false;
    }
    if (bytes != 0 && src->ids)
        std::memcpy(dst->ids, src->ids, bytes);
    dst->idLength = src->idLength;
    return true;
}

std::int32_t CompareOidPrefix(const AsnObjectIdentifier *first, const AsnObjectIdentifier *second, UINT n)
{
    // An identifier without storage has nothing to compare, like an empty one.
    const UINT firstLength = (first && first->ids) ? first->idLength : 0;
    const UINT secondLength = (second && second->ids) ? second->idLength : 0;
    UINT m = n;
    if (firstLength < m)
        m = firstLength;
    if (secondLength < m)
        m = secondLength;
    for (UINT i = 0; i < m; ++i) {
        if (first->ids[i] != second->ids[i])
            return static_cast<std::int32_t>(first->ids[i] - second->ids[i]);
    }
    return 0;
}

void FreeOid(AsnObjectIdentifier *oid)
{
    if (!oid)
        return;
    platform::GlobalFree(oid->ids);
    oid->ids = nullptr;
    oid->idLength = 0;
}

void FreeAsnValue(AsnAny *value)
{
    if (!value)
        return;
    switch (value->asnType) {
    case ASN_OBJECTIDENTIFIER: FreeOid(&value->asnValue.object); break;
    case ASN_OCTETSTRING:
    case ASN_SEQUENCE:
    case ASN_IPADDRESS:
    case ASN_OPAQUE:
        // stream and length stay as they were; only the storage goes.
        if (value->asnValue.string.dynamic)
            platform::GlobalFree(value->asnValue.string.stream);
        break;
    default: break;
    }
    value->asnType = ASN_NULL;
}

void FreeVarBind(SnmpVarBind *binding)
{
    if (!binding)
        return;
    FreeOid(&binding->name);
    FreeAsnValue(&binding->value);
}

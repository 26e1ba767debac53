// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/global_memory.h"

#include <cstdlib>

namespace platform {

namespace {
thread_local DWORD t_lastError = 0;
}

HGLOBAL GlobalAlloc(UINT flags, std::size_t bytes)
{
    // Only fixed memory exists here; moveable and discardable blocks have no meaning.
    if ((flags & ~GMEM_ZEROINIT) != GMEM_FIXED)
        return nullptr;
    // calloc zero-fills whether or not GMEM_ZEROINIT is given; a zero size gets a
    // real block so that success and failure stay distinguishable.
    return std::calloc(bytes == 0 ? 1 : bytes, 1);
}

HGLOBAL GlobalFree(HGLOBAL memory)
{
    std::free(memory);
    return nullptr;
}

void SetLastError(DWORD code) { t_lastError = code; }

DWORD GetLastError() { return t_lastError; }

}  // namespace platform

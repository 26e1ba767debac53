// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Global memory: the allocator that the program and a loaded agent module share,
// so either side may release what the other allocated. Both sit on libc's heap.
// Also the thread's last-error code, which failed kernel-style calls leave behind.
#pragma once
#include "platform/win_types.h"

#include <cstddef>

namespace platform {

using HGLOBAL = void *;

constexpr UINT GMEM_FIXED = 0x0000;
constexpr UINT GMEM_ZEROINIT = 0x0040;
constexpr UINT GPTR = GMEM_FIXED | GMEM_ZEROINIT;

// Fixed memory of the given size, always zero-filled; null when it cannot be had
// or when other than fixed memory is asked for. A size of 0 still yields a block.
HGLOBAL GlobalAlloc(UINT flags, std::size_t bytes);
// Releases a block from GlobalAlloc; null is harmless. Returns null.
HGLOBAL GlobalFree(HGLOBAL memory);

void SetLastError(DWORD code);
DWORD GetLastError();

}  // namespace platform

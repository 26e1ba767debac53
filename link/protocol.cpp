// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/protocol.h"

#include <algorithm>
#include <cstring>

StatusReply DecodeStatusReply(const void *data, std::size_t length)
{
    StatusReply reply;
    std::memset(&reply, 0, sizeof reply);
    if (data)
        std::memcpy(&reply, data, std::min(length, sizeof reply));
    return reply;
}

std::string FieldText(const char *field, std::size_t width)
{
    const void *end = std::memchr(field, 0, width);
    std::size_t n = end ? static_cast<std::size_t>(static_cast<const char *>(end) - field) : width;
    return std::string(field, n);
}

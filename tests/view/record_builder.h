// Builds printer records and raw reply buffers for the view tests.
#pragma once
#include <cstdint>
#include <cstring>
#include <string>

#include "link/protocol.h"

inline PrinterRecord MakeRecord(const std::string &name, std::uint8_t flags = 0x88)
{
    PrinterRecord r;
    std::memset(&r, 0, sizeof r);
    std::memcpy(r.printerName, name.data(), std::min(name.size(), sizeof r.printerName));
    r.statusFlags = flags;
    return r;
}

inline void PutLe32(unsigned char *p, std::uint32_t v)
{
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
    p[2] = static_cast<unsigned char>(v >> 16);
    p[3] = static_cast<unsigned char>(v >> 24);
}

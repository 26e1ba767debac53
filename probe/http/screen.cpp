// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "probe/http/screen.h"

#include <strings.h>

namespace kprobe {

bool SameHeaderName(const std::string &a, const char *b) { return ::strcasecmp(a.c_str(), b) == 0; }

Refusal ScreenRequest(const RequestHead &head)
{
    if (head.method != "GET" && head.method != "HEAD")
        return {405, "only GET and HEAD are served\n"};
    for (const auto &[name, value] : head.headers) {
        if (SameHeaderName(name, "Content-Length") && value.find_first_not_of('0') != std::string::npos)
            return {413, "a request body is not accepted\n"};
        if (SameHeaderName(name, "Transfer-Encoding"))
            return {411, "a request body is not accepted\n"};
        if (SameHeaderName(name, "Content-Encoding"))
            return {415, "a request body is not accepted\n"};
        if (SameHeaderName(name, "Range"))
            return {416, "ranges are not served\n"};
    }
    return {};
}

}  // namespace kprobe

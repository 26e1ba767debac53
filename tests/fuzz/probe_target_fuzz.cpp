// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The exporter's `target` parameter and its scrape time-out header: an
// accepted target is one server (not the unspecified, broadcast or a multicast
// address), its text reads back as the same target, and the wait for one
// reply stays between 50 ms and the configured time-out whatever the header.
#include "tests/fuzz/fuzz_check.h"
#include "probe/serve.h"
#include "probe/target.h"

#include <arpa/inet.h>

using namespace kprobe;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char *>(data), size);
    Target target, again;
    std::string error;
    if (ParseTarget(text, target, error)) {
        const std::uint32_t host = ntohl(target.address);
        FUZZ_CHECK(host != 0 && host != 0xFFFFFFFFu && (host >> 28) != 0xE && target.port >= 1);
        FUZZ_CHECK_MSG(ParseTarget(target.Text(), again, error) && again.address == target.address &&
                           again.port == target.port,
                       target.Text());
    } else {
        FUZZ_CHECK(!error.empty());
    }
    for (double configured : {0.05, 1.0, 60.0}) {
        const double wait = ProbeWaitSeconds(configured, &text);
        FUZZ_CHECK_MSG(wait >= 0.05 - 1e-9 && wait <= configured + 1e-9, text);
    }
    return 0;
}

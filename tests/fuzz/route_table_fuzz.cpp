// The routing table text the agent module reads: whatever the file holds, the
// default gateway is the up, via-gateway route to 0.0.0.0/0 of lowest metric
// (the first among equals), read here once more by a second, plain parser.
#include "tests/fuzz/fuzz_check.h"

#include "link/agent/route_table.h"

#include <cstring>
#include <string>
#include <vector>

namespace {

bool Hex(const std::string &t, std::uint32_t &v)
{
    if (t.empty() || t.size() > 8 || t.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
        return false;
    v = static_cast<std::uint32_t>(std::stoul(t, nullptr, 16));
    return true;
}

bool Dec(const std::string &t, std::uint32_t &v)
{
    if (t.empty() || t.size() > 10 || t.find_first_not_of("0123456789") != std::string::npos)
        return false;
    const unsigned long long x = std::stoull(t);
    if (x > 0xFFFFFFFFull)
        return false;
    v = static_cast<std::uint32_t>(x);
    return true;
}

std::optional<Ipv4Address> Reference(const std::string &text)
{
    std::optional<Ipv4Address> best;
    std::uint32_t bestMetric = 0;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::vector<std::string> f;
        std::string word;
        for (std::size_t i = start; i <= end; ++i) {
            const char c = i < end ? text[i] : ' ';
            if (c == ' ' || c == '\t' || c == '\r') {
                if (!word.empty())
                    f.push_back(word);
                word.clear();
            } else {
                word += c;
            }
        }
        start = end + 1;
        std::uint32_t dest, gw, flags, metric, mask;
        if (f.size() < 8 || !Hex(f[1], dest) || !Hex(f[2], gw) || !Hex(f[3], flags) || !Dec(f[6], metric) ||
            !Hex(f[7], mask))
            continue;
        if (dest != 0 || mask != 0 || gw == 0 || (flags & 3) != 3)
            continue;
        if (!best || metric < bestMetric) {
            Ipv4Address a;
            std::memcpy(a.data(), &gw, 4);
            best = a;
            bestMetric = metric;
        }
    }
    return best;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char *>(data), size);
    FUZZ_CHECK(ParseDefaultGateway(text) == Reference(text));
    return 0;
}

// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "probe/discover.h"

#include "link/discovery.h"
#include "text/endpoint.h"

#include <arpa/inet.h>
#include <nlohmann/json.hpp>

#include <algorithm>

namespace kprobe {

std::vector<std::uint32_t> DiscoverAddresses(const LinkEndpoints &ep)
{
    std::vector<std::uint32_t> found;
    DiscoveryListener listener;
    listener.answer = [&found](const sockaddr_in &server, int) {
        found.push_back(server.sin_addr.s_addr);
        return true;
    };
    sockaddr_in source{};
    SearchServers(ep, &source, listener);
    std::sort(found.begin(), found.end(), [](std::uint32_t a, std::uint32_t b) { return ntohl(a) < ntohl(b); });
    found.erase(std::unique(found.begin(), found.end()), found.end());
    return found;
}

std::string FormatDiscovery(const std::vector<std::uint32_t> &addresses, DiscoverFormat format)
{
    std::vector<std::string> texts;
    for (std::uint32_t a : addresses)
        texts.push_back(ktext::Ipv4Text(a));
    switch (format) {
    case DiscoverFormat::Text: {
        std::string out;
        for (const std::string &t : texts)
            out += t + "\n";
        return out;
    }
    case DiscoverFormat::Json: return nlohmann::json{{"servers", texts}}.dump(2) + "\n";
    case DiscoverFormat::FileSd: {
        nlohmann::json list = nlohmann::json::array();
        if (!texts.empty())
            list.push_back({{"targets", texts}, {"labels", nlohmann::json::object()}});
        return list.dump(2) + "\n";
    }
    }
    return std::string();
}

}  // namespace kprobe

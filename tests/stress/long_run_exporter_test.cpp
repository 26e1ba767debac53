// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// kestrum-probe serve over a long run, on loopback against the simulator and driven only through its HTTP interface:
// after a warm-up its resident memory and its open files must stay where they were.
#include "listening_child.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr long RssSlackKb = 1024;

long ResidentKb(pid_t pid)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmRSS:", 0) == 0)
            return std::atol(line.c_str() + 6);
    return -1;
}

int OpenFiles(pid_t pid)
{
    const std::filesystem::path fds = "/proc/" + std::to_string(pid) + "/fd";
    return int(std::distance(std::filesystem::directory_iterator(fds), std::filesystem::directory_iterator()));
}

// One kept connection; a new client when the server closed it.
std::pair<int, std::string> Get(std::unique_ptr<httplib::Client> &client, std::uint16_t port, const std::string &path)
{
    if (!client) {
        client = std::make_unique<httplib::Client>("127.0.0.1", port);
        client->set_keep_alive(true);
        client->set_read_timeout(5, 0);
    }
    const auto res = client->Get(path);
    return res ? std::pair(res->status, res->body) : std::pair(-1, std::string());
}

// Closes the kept connection and gives the server a moment to close its end, so that the server's files can be counted
// without it.
void Disconnect(std::unique_ptr<httplib::Client> &client)
{
    client.reset();
    ::usleep(200 * 1000);
}

}  // namespace

TEST(ExporterLongRun, ProbesLeaveMemoryAndFilesFlat)
{
    const char *env = std::getenv("KESTRUM_LONG_RUN_PROBES");
    const int total = env ? std::atoi(env) : 20000;
    const int warmUp = total / 10;
    ListeningChild simulator({PRINTSIM_PATH, "--bind", "127.0.0.1", "--port", "0", "--quiet", "--max-seconds", "300"});
    ASSERT_NE(simulator.Port(), 0);
    ListeningChild exporter({PROBE_PATH, "serve", "--listen", "127.0.0.1:0"});
    ASSERT_NE(exporter.Port(), 0);
    std::unique_ptr<httplib::Client> client;
    const std::string probe = "/probe?target=127.0.0.1:" + std::to_string(simulator.Port());

    long rssAfterWarmUp = 0;
    int filesAfterWarmUp = 0, up = 0, answered = 0;
    for (int i = 0; i < total; ++i) {
        const auto [code, body] = Get(client, exporter.Port(), probe);
        answered += code == 200;
        up += body.find("\nkestrum_up 1\n") != std::string::npos;
        if (i + 1 == warmUp) {
            Disconnect(client);
            rssAfterWarmUp = ResidentKb(exporter.Pid());
            filesAfterWarmUp = OpenFiles(exporter.Pid());
        }
    }
    Disconnect(client);
    const long rssAtEnd = ResidentKb(exporter.Pid());
    const int filesAtEnd = OpenFiles(exporter.Pid());
    const std::string metrics = Get(client, exporter.Port(), "/metrics").second;
    std::printf("%d probes: exporter resident %ld kB after %d, %ld kB at the end (%+ld kB); open files %d, then %d\n",
                total, rssAfterWarmUp, warmUp, rssAtEnd, rssAtEnd - rssAfterWarmUp, filesAfterWarmUp, filesAtEnd);
    EXPECT_EQ(answered, total);
    EXPECT_EQ(up, total);
    EXPECT_LT(rssAtEnd - rssAfterWarmUp, RssSlackKb);
    EXPECT_LE(filesAtEnd, filesAfterWarmUp);
    EXPECT_NE(metrics.find("kestrum_exporter_probes_total"), std::string::npos);
}

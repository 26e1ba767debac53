// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// kestrum-probe serve over a long run, on loopback against the simulator and
// driven only through its HTTP interface: after a warm-up its resident memory
// and its open files must stay where they were.
#include "listening_child.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
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
    DIR *dir = ::opendir(("/proc/" + std::to_string(pid) + "/fd").c_str());
    if (!dir)
        return -1;
    int n = 0;
    while (const dirent *e = ::readdir(dir))
        n += e->d_name[0] != '.';
    ::closedir(dir);
    return n;
}

// A plain HTTP/1.1 client on one kept connection, opened again whenever the server closes it.
class HttpClient {
public:
    explicit HttpClient(std::uint16_t port) : m_port(port) {}
    ~HttpClient() { Close(); }

    // Closes the kept connection and gives the server a moment to close its end,
    // so that the server's files can be counted without it.
    void Disconnect()
    {
        Close();
        ::usleep(200 * 1000);
    }

    // The status code and the body; -1 when no answer came.
    std::pair<int, std::string> Get(const std::string &path)
    {
        for (int attempt = 0; attempt < 2; ++attempt) {
            if (m_fd < 0 && !Connect())
                return {-1, {}};
            const std::string request = "GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
            std::pair<int, std::string> answer{-1, {}};
            if (::send(m_fd, request.data(), request.size(), MSG_NOSIGNAL) == ssize_t(request.size()) && Read(answer))
                return answer;
            Close();  // the server had closed the kept connection: once more on a new one
        }
        return {-1, {}};
    }

private:
    bool Connect()
    {
        m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        timeval limit{5, 0};
        ::setsockopt(m_fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
        // Closed with a reset, so that tens of thousands of connections leave no TIME_WAIT behind.
        const linger reset{1, 0};
        ::setsockopt(m_fd, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(m_port);
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::connect(m_fd, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0)
            return true;
        Close();
        return false;
    }
    void Close()
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
        m_buffer.clear();
    }
    bool Fill()
    {
        // The answer may come in two writes, the second held back until the first is
        // acknowledged: acknowledge at once rather than after the delayed-ACK wait.
        const int quick = 1;
        ::setsockopt(m_fd, IPPROTO_TCP, TCP_QUICKACK, &quick, sizeof quick);
        char chunk[16384];
        const ssize_t n = ::recv(m_fd, chunk, sizeof chunk, 0);
        if (n <= 0)
            return false;
        m_buffer.append(chunk, std::size_t(n));
        return true;
    }
    bool Read(std::pair<int, std::string> &answer)
    {
        std::size_t end;
        while ((end = m_buffer.find("\r\n\r\n")) == std::string::npos)
            if (!Fill())
                return false;
        const std::string head = m_buffer.substr(0, end);
        m_buffer.erase(0, end + 4);
        std::size_t length = 0;
        const std::size_t field = head.find("Content-Length:");
        if (field != std::string::npos)
            length = std::strtoul(head.c_str() + field + 15, nullptr, 10);
        while (m_buffer.size() < length)
            if (!Fill())
                return false;
        answer.first = std::atoi(head.c_str() + 9);  // "HTTP/1.1 200 OK"
        answer.second = m_buffer.substr(0, length);
        m_buffer.erase(0, length);
        if (head.find("Connection: close") != std::string::npos)
            Close();
        return true;
    }

    std::uint16_t m_port;
    int m_fd = -1;
    std::string m_buffer;
};

TEST(ExporterLongRun, ProbesLeaveMemoryAndFilesFlat)
{
    const char *env = std::getenv("KESTRUM_LONG_RUN_PROBES");
    const int total = env ? std::atoi(env) : 100000;
    const int warmUp = total / 10;
    ListeningChild simulator({PRINTSIM_PATH, "--bind", "127.0.0.1", "--port", "0", "--quiet", "--max-seconds", "300"});
    ASSERT_NE(simulator.Port(), 0);
    ListeningChild exporter({PROBE_PATH, "serve", "--listen", "127.0.0.1:0"});
    ASSERT_NE(exporter.Port(), 0);
    HttpClient client(exporter.Port());
    const std::string probe = "/probe?target=127.0.0.1:" + std::to_string(simulator.Port());

    long rssAfterWarmUp = 0;
    int filesAfterWarmUp = 0, up = 0, answered = 0;
    for (int i = 0; i < total; ++i) {
        const auto [code, body] = client.Get(probe);
        answered += code == 200;
        up += body.find("\nkestrum_up 1\n") != std::string::npos;
        if (i + 1 == warmUp) {
            client.Disconnect();
            rssAfterWarmUp = ResidentKb(exporter.Pid());
            filesAfterWarmUp = OpenFiles(exporter.Pid());
        }
    }
    client.Disconnect();
    const long rssAtEnd = ResidentKb(exporter.Pid());
    const int filesAtEnd = OpenFiles(exporter.Pid());
    const std::string metrics = client.Get("/metrics").second;
    std::printf("%d probes: exporter resident %ld kB after %d, %ld kB at the end (%+ld kB); open files %d, then %d\n",
                total, rssAfterWarmUp, warmUp, rssAtEnd, rssAtEnd - rssAfterWarmUp, filesAfterWarmUp, filesAtEnd);
    EXPECT_EQ(answered, total);
    EXPECT_EQ(up, total);
    EXPECT_LT(rssAtEnd - rssAfterWarmUp, RssSlackKb);
    EXPECT_LE(filesAtEnd, filesAfterWarmUp);
    EXPECT_NE(metrics.find("kestrum_exporter_probes_total"), std::string::npos);
}

}  // namespace

// The simulator as a process on 127.0.0.1 with an ephemeral port: what each
// option makes it send. Every wait is bounded; every simulator also carries
// --max-seconds so a lost one ends by itself.
#include "link/protocol.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

const char *const Simulator = PRINTSIM_PATH;

// One simulator process; ended and reaped on destruction.
class SimProcess {
public:
    explicit SimProcess(std::vector<std::string> args)
    {
        // Later options win, so a case may shorten the time limit.
        args.insert(args.begin(), {Simulator, "--bind", "127.0.0.1", "--port", "0", "--max-seconds", "30", "--quiet"});
        int out[2];
        if (::pipe2(out, O_CLOEXEC) != 0)
            return;
        m_pid = ::fork();
        if (m_pid == 0) {
            ::dup2(out[1], 1);
            const int null = ::open("/dev/null", O_WRONLY);
            ::dup2(null, 2);
            std::vector<char *> argv;
            for (auto &a : args)
                argv.push_back(&a[0]);
            argv.push_back(nullptr);
            ::execv(Simulator, argv.data());
            ::_exit(127);
        }
        ::close(out[1]);
        m_out = out[0];
        m_port = ReadPort();
    }

    ~SimProcess()
    {
        if (m_pid > 0 && !m_reaped) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
        if (m_out >= 0)
            ::close(m_out);
    }

    std::uint16_t Port() const { return m_port; }

    // Sends SIGTERM and returns the exit status, or -1 if it did not end within 5 s.
    int Terminate()
    {
        ::kill(m_pid, SIGTERM);
        return Reap(5000);
    }

    // Waits for the process to end by itself; -1 if it did not within the bound.
    int Reap(int boundMs)
    {
        for (int waited = 0; waited <= boundMs; waited += 10) {
            int status = 0;
            if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
                m_reaped = true;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            ::usleep(10000);
        }
        return -1;
    }

private:
    // The first stdout line reads "listening 127.0.0.1:PORT".
    std::uint16_t ReadPort()
    {
        std::string line;
        for (int i = 0; i < 200 && line.find('\n') == std::string::npos; ++i) {
            pollfd p{m_out, POLLIN, 0};
            if (::poll(&p, 1, 5000) <= 0)
                break;
            char c;
            if (::read(m_out, &c, 1) != 1)
                break;
            line += c;
        }
        const std::string prefix = "listening 127.0.0.1:";
        if (line.compare(0, prefix.size(), prefix) != 0)
            return 0;
        return static_cast<std::uint16_t>(std::stoi(line.substr(prefix.size())));
    }

    pid_t m_pid = -1;
    int m_out = -1;
    std::uint16_t m_port = 0;
    bool m_reaped = false;
};

// A client socket on loopback.
class Client {
public:
    Client() : m_fd(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0)) {}
    ~Client() { ::close(m_fd); }

    void Send(std::uint16_t port, const std::vector<unsigned char> &bytes)
    {
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(port);
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::sendto(m_fd, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr *>(&to), sizeof to);
    }

    // Every datagram that comes: the first within firstMs, each further one
    // within moreMs of the one before. Whole lengths are kept.
    std::vector<std::vector<unsigned char>> Collect(int firstMs, int moreMs = 200)
    {
        std::vector<std::vector<unsigned char>> got;
        for (int i = 0; i < 16; ++i) {
            pollfd p{m_fd, POLLIN, 0};
            if (::poll(&p, 1, got.empty() ? firstMs : moreMs) <= 0)
                break;
            std::vector<unsigned char> buf(2048);
            const ssize_t n = ::recv(m_fd, buf.data(), buf.size(), MSG_TRUNC);
            if (n < 0)
                break;
            buf.resize(static_cast<std::size_t>(n));
            got.push_back(buf);
        }
        return got;
    }

    // One request, its answers. Where none is expected a short wait will do.
    std::vector<std::vector<unsigned char>> Ask(std::uint16_t port, unsigned char byte, int firstMs = 2000)
    {
        Send(port, {byte});
        return Collect(firstMs);
    }

private:
    int m_fd;
};

std::vector<std::size_t> Lengths(const std::vector<std::vector<unsigned char>> &answers)
{
    std::vector<std::size_t> out;
    for (const auto &a : answers)
        out.push_back(a.size());
    return out;
}

using Sizes = std::vector<std::size_t>;

StatusReply Decode(const std::vector<unsigned char> &bytes)
{
    StatusReply reply;
    std::memset(&reply, 0, sizeof reply);
    std::memcpy(&reply, bytes.data(), std::min(bytes.size(), sizeof reply));
    return reply;
}

}  // namespace

TEST(PrintsimLoopback, EachOptionSendsWhatItPromises)
{
    struct Case {
        const char *what;
        std::vector<std::string> args;
        unsigned char byte;
        Sizes lengths;            // of every datagram that comes back
        int firstByte;            // of the first answer, or -1 not checked
    };
    const Case cases[] = {
        {"probe", {}, DiscoveryProbe, {1}, 0x55},
        {"request", {}, StatusRequest, {960}, -1},
        {"short reply", {"--reply", "short"}, StatusRequest, {130}, -1},
        {"oversized reply", {"--reply", "oversized"}, StatusRequest, {961}, -1},
        {"no discovery", {"--no-discovery"}, DiscoveryProbe, {}, -1},
        {"no discovery, still serving", {"--no-discovery"}, StatusRequest, {960}, -1},
        {"answer twice", {"--answer-twice"}, DiscoveryProbe, {1, 1}, 0x55},
        {"oversized discovery", {"--discovery-reply", "oversized"}, DiscoveryProbe, {2}, 0x55},
        {"garbage discovery", {"--discovery-reply", "garbage"}, DiscoveryProbe, {1}, 0x54},
        {"delayed", {"--delay-ms", "50"}, StatusRequest, {960}, -1},
        {"unknown byte", {}, 0x00, {}, -1},
        {"stop after zero", {"--stop-after", "0"}, StatusRequest, {}, -1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        SimProcess sim(c.args);
        ASSERT_NE(sim.Port(), 0) << "simulator did not start";
        Client client;
        const auto answers = client.Ask(sim.Port(), c.byte, c.lengths.empty() ? 300 : 2000);
        EXPECT_EQ(Lengths(answers), c.lengths);
        if (c.firstByte >= 0 && !answers.empty()) {
            EXPECT_EQ(answers[0][0], c.firstByte);
        }
        EXPECT_EQ(sim.Terminate(), 0);
    }
}

TEST(PrintsimLoopback, GarbageIsNeverAProperLength)
{
    SimProcess sim({"--reply", "garbage"});
    ASSERT_NE(sim.Port(), 0);
    Client client;
    for (int i = 0; i < 10; ++i) {
        const auto answers = client.Ask(sim.Port(), StatusRequest);
        ASSERT_EQ(answers.size(), 1u) << "request " << i;
        EXPECT_NE(answers[0].size(), 960u);
        EXPECT_GE(answers[0].size(), 2u);
    }
}

TEST(PrintsimLoopback, WrongDatagramsAreIgnored)
{
    SimProcess sim({});
    ASSERT_NE(sim.Port(), 0);
    Client client;
    const std::vector<std::vector<unsigned char>> wrong = {
        {}, {0xAA, 0xAA}, {0x55, 0x00}, {0x56}, std::vector<unsigned char>(960, 0x55),
    };
    for (const auto &d : wrong) {
        client.Send(sim.Port(), d);
        EXPECT_TRUE(client.Collect(200).empty()) << "answered a " << d.size() << "-byte datagram";
    }
    // Still serving afterwards, from the first state: ignored datagrams do not advance it.
    const auto answers = client.Ask(sim.Port(), StatusRequest);
    ASSERT_EQ(Lengths(answers), Sizes{960});
    const StatusReply reply = Decode(answers[0]);
    EXPECT_STREQ(reply.records[0].printerName, "Laser 1020");
    EXPECT_EQ(reply.records[0].printedPercent, 0);
}

TEST(PrintsimLoopback, StopAfterAnswersExactlyThatMany)
{
    SimProcess sim({"--stop-after", "3"});
    ASSERT_NE(sim.Port(), 0);
    Client client;
    Sizes got;
    for (int i = 0; i < 6; ++i) {
        const auto answers = client.Ask(sim.Port(), StatusRequest, i < 3 ? 2000 : 300);
        got.push_back(answers.size());
    }
    EXPECT_EQ(got, (Sizes{1, 1, 1, 0, 0, 0}));
    // It keeps running and still answers probes.
    EXPECT_EQ(Lengths(client.Ask(sim.Port(), DiscoveryProbe)), Sizes{1});
    EXPECT_EQ(sim.Terminate(), 0);
}

TEST(PrintsimLoopback, StateMovesWithEachAnsweredRequest)
{
    SimProcess sim({});
    ASSERT_NE(sim.Port(), 0);
    Client client;
    std::vector<int> percents;
    for (int i = 0; i < 3; ++i) {
        const auto answers = client.Ask(sim.Port(), StatusRequest);
        ASSERT_EQ(answers.size(), 1u);
        percents.push_back(Decode(answers[0]).records[0].printedPercent);
    }
    EXPECT_EQ(percents, (std::vector<int>{0, 8, 16}));
}

TEST(PrintsimLoopback, BadScenarioFileExitsWithAnError)
{
    const std::string path = ::testing::TempDir() + "printsim_loopback_bad.txt";
    FILE *f = std::fopen(path.c_str(), "w");
    ASSERT_NE(f, nullptr);
    std::fputs("printer slot=0 name=A step=500\n", f);
    std::fclose(f);
    SimProcess sim({"--scenario", path});
    EXPECT_EQ(sim.Port(), 0) << "started with a bad scenario";
    EXPECT_EQ(sim.Reap(5000), 65);
    std::remove(path.c_str());
}

TEST(PrintsimLoopback, MaxSecondsEndsItByItself)
{
    SimProcess sim({"--max-seconds", "1"});
    ASSERT_NE(sim.Port(), 0);
    EXPECT_EQ(sim.Reap(10000), 0);
}

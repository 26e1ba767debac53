#include "platform/socket.h"
#include "tests/link/udp_responder.h"
#include "tests/link/wait_until.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <cstring>
#include <thread>

using platform::InetAddr;
using platform::InetNtoa;
using platform::UdpSocket;

namespace {

std::uint32_t FromOctets(unsigned a, unsigned b, unsigned c, unsigned d)
{
    const std::uint8_t bytes[4] = {std::uint8_t(a), std::uint8_t(b), std::uint8_t(c), std::uint8_t(d)};
    std::uint32_t value;
    std::memcpy(&value, bytes, sizeof value);
    return value;
}

TEST(AddressText, ParsesDottedDecimal)
{
    struct Case {
        const char *text;
        std::uint32_t expected;
    } cases[] = {
        {"10.0.0.5", FromOctets(10, 0, 0, 5)},
        {"192.168.1.254", FromOctets(192, 168, 1, 254)},
        {"0.0.0.0", 0},
        {"255.255.255.255", 0xFFFFFFFFu},  // reads the same as a failure, as inet_addr does
        {"127.0.0.1", FromOctets(127, 0, 0, 1)},
        {"", INADDR_NONE},
        {"1.2.3.256", INADDR_NONE},
        {"server", INADDR_NONE},
        {"1.2.3.4.5", INADDR_NONE},
        {nullptr, INADDR_NONE},
    };
    for (const auto &c : cases)
        EXPECT_EQ(InetAddr(c.text), c.expected) << (c.text ? c.text : "(null)");
}

TEST(AddressText, FormatsFourNumbersWithoutLeadingZeros)
{
    struct Case {
        std::uint32_t address;
        const char *expected;
    } cases[] = {
        {FromOctets(10, 0, 0, 5), "10.0.0.5"},
        {FromOctets(0, 0, 0, 0), "0.0.0.0"},
        {FromOctets(255, 255, 255, 255), "255.255.255.255"},
        {FromOctets(1, 20, 3, 100), "1.20.3.100"},
        {FromOctets(127, 0, 0, 3), "127.0.0.3"},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(InetNtoa(c.address), c.expected);
        EXPECT_EQ(InetAddr(InetNtoa(c.address).c_str()), c.address) << c.expected;
    }
}

// A socket that has sent once (so it has its ephemeral port) and a peer that
// knows where to answer it.
struct Pair {
    UdpSocket socket;
    UdpResponder peer{"127.0.0.1"};
    sockaddr_in socketAddress{};

    bool Connect()
    {
        if (!socket.IsValid() || !peer.IsValid())
            return false;
        peer.Start();
        const std::uint8_t hello = 1;
        if (socket.SendTo(&hello, 1, platform::MakeAddress(peer.Address(), peer.Port())) != 1)
            return false;
        if (!WaitUntil([&] { return !peer.Received().empty(); }))
            return false;
        socketAddress = peer.Received().front().from;
        return true;
    }
};

TEST(UdpSocket, ReceivesWholeDatagramsAndRefusesOversizedOnes)
{
    struct Case {
        std::size_t length;
        std::size_t capacity;
        int expected;
    } cases[] = {
        {0, 1, 0},        // an empty datagram is a valid receive
        {1, 1, 1},
        {2, 1, -1},       // one byte too many for a discovery answer
        {130, 960, 130},
        {960, 960, 960},
        {961, 960, -1},   // one byte too many for a status reply
    };
    Pair pair;
    ASSERT_TRUE(pair.Connect());
    for (const auto &c : cases) {
        SCOPED_TRACE(c.length);
        std::vector<std::uint8_t> sent(c.length);
        for (std::size_t i = 0; i < sent.size(); ++i)
            sent[i] = static_cast<std::uint8_t>(i * 7 + 1);
        ASSERT_TRUE(pair.peer.Send(sent, pair.socketAddress));
        ASSERT_EQ(pair.socket.WaitReadable(2, 0), 1);
        std::vector<std::uint8_t> buffer(c.capacity + 8, 0);
        sockaddr_in from{};
        const int got = pair.socket.ReceiveFrom(buffer.data(), c.capacity, &from);
        EXPECT_EQ(got, c.expected);
        EXPECT_EQ(from.sin_addr.s_addr, pair.peer.Address());
        EXPECT_EQ(ntohs(from.sin_port), pair.peer.Port());
        if (got >= 0) {
            EXPECT_TRUE(std::equal(sent.begin(), sent.end(), buffer.begin()));
        }
        // Nothing is written past what the datagram covers.
        for (std::size_t i = (got > 0 ? static_cast<std::size_t>(got) : c.capacity); i < buffer.size(); ++i)
            ASSERT_EQ(buffer[i], 0) << i;
    }
    // The refused datagrams were consumed, not left in the queue.
    EXPECT_EQ(pair.socket.WaitReadable(0, 50000), 0);
}

TEST(UdpSocket, WaitTimesOutWithZero)
{
    Pair pair;
    ASSERT_TRUE(pair.Connect());
    EXPECT_EQ(pair.socket.WaitReadable(0, 100000), 0);
    EXPECT_EQ(pair.socket.WaitReadable(0, 0), 0);
}

// Linux refuses the option given as a single byte.
TEST(UdpSocket, BroadcastSwitchesEitherWay)
{
    UdpSocket socket;
    ASSERT_TRUE(socket.IsValid());
    EXPECT_TRUE(socket.SetBroadcast(true));
    EXPECT_TRUE(socket.SetBroadcast(false));
}

void Ignore(int) {}

// A signal arriving during the wait must neither end it early as an error nor
// lose a datagram that comes afterwards.
TEST(UdpSocket, WaitResumesAfterSignal)
{
    struct sigaction action {};
    action.sa_handler = Ignore;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;  // no SA_RESTART: select really sees EINTR
    struct sigaction previous {};
    ASSERT_EQ(sigaction(SIGUSR1, &action, &previous), 0);

    struct Case {
        bool datagramFollows;
        long seconds;
        long microseconds;
        int expected;
    } cases[] = {
        {true, 3, 0, 1},
        {false, 0, 600000, 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.datagramFollows);
        Pair pair;
        ASSERT_TRUE(pair.Connect());
        std::atomic<bool> waiting{false};
        std::atomic<int> result{-2};
        std::thread waiter([&] {
            waiting = true;
            result = pair.socket.WaitReadable(c.seconds, c.microseconds);
        });
        ASSERT_TRUE(WaitUntil([&] { return waiting.load(); }));
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        pthread_kill(waiter.native_handle(), SIGUSR1);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        if (c.datagramFollows)
            pair.peer.Send({0x55}, pair.socketAddress);
        waiter.join();
        EXPECT_EQ(result.load(), c.expected);
    }
    sigaction(SIGUSR1, &previous, nullptr);
}

}  // namespace

#include "platform/socket.h"
#include "tests/link/udp_responder.h"

#include <gtest/gtest.h>

#include <pthread.h>
#include <signal.h>

namespace {

TEST(AddressText, ParsesAndFormatsDottedDecimal)
{
    EXPECT_EQ(platform::InetAddr("10.0.0.5"), htonl(0x0A000005));
    for (const char *bad : {"1.2.3.256", "", static_cast<const char *>(nullptr)})
        EXPECT_EQ(platform::InetAddr(bad), INADDR_NONE);
    // The broadcast address reads the same as a failure, as inet_addr does.
    EXPECT_EQ(platform::InetAddr("255.255.255.255"), INADDR_NONE);
    EXPECT_EQ(platform::InetNtoa(htonl(0x01140364)), "1.20.3.100");
}

// A socket that has sent once (so it has its ephemeral port) and a peer that
// knows where to answer it.
struct Pair {
    platform::UdpSocket socket;
    UdpResponder peer{"127.0.0.1"};
    sockaddr_in socketAddress{};

    bool Connect()
    {
        const std::uint8_t hello = 1;
        peer.Start();
        if (socket.SendTo(&hello, 1, platform::MakeAddress(peer.Address(), peer.Port())) != 1)
            return false;
        for (int i = 0; i < 400 && peer.Received().empty(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        return !peer.Received().empty() && (socketAddress = peer.Received()[0].from, true);
    }
};

TEST(UdpSocket, ReceivesWholeDatagramsAndRefusesOversizedOnes)
{
    const struct {
        std::size_t length, capacity;
        int expected;
    } cases[] = {{0, 1, 0}, {1, 1, 1}, {2, 1, -1}, {130, 960, 130}, {960, 960, 960}, {961, 960, -1}};
    Pair pair;
    ASSERT_TRUE(pair.Connect());
    // Linux refuses the option given as a single byte.
    EXPECT_TRUE(pair.socket.SetBroadcast(true) && pair.socket.SetBroadcast(false));
    for (const auto &c : cases) {
        SCOPED_TRACE(c.length);
        ASSERT_TRUE(pair.peer.Send(Bytes(c.length, 0x5A), pair.socketAddress));
        ASSERT_EQ(pair.socket.WaitReadable(2, 0), 1);
        Bytes buffer(c.capacity + 8, 0);
        sockaddr_in from{};
        const int got = pair.socket.ReceiveFrom(buffer.data(), c.capacity, &from);
        EXPECT_EQ(got, c.expected);
        EXPECT_EQ(from.sin_addr.s_addr, pair.peer.Address());
        EXPECT_EQ(ntohs(from.sin_port), pair.peer.Port());
        const std::size_t taken = got > 0 ? std::size_t(got) : 0, covered = got >= 0 ? taken : c.capacity;
        EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + taken), Bytes(taken, 0x5A));
        EXPECT_EQ(Bytes(buffer.begin() + covered, buffer.end()), Bytes(buffer.size() - covered, 0));
    }
    // The refused datagrams were consumed, not left in the queue.
    EXPECT_EQ(pair.socket.WaitReadable(0, 50000), 0);
}

void Ignore(int) {}

// A signal during the wait must neither end it as an error nor lose a datagram
// that comes afterwards.
TEST(UdpSocket, WaitResumesAfterSignal)
{
    struct sigaction action {}, previous {};
    action.sa_handler = Ignore;  // no SA_RESTART: select really sees EINTR
    ASSERT_EQ(sigaction(SIGUSR1, &action, &previous), 0);
    for (bool datagramFollows : {true, false}) {
        SCOPED_TRACE(datagramFollows);
        Pair pair;
        ASSERT_TRUE(pair.Connect());
        std::atomic<int> result{-2};
        std::thread waiter([&] { result = pair.socket.WaitReadable(datagramFollows ? 3 : 0, 600000); });
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        pthread_kill(waiter.native_handle(), SIGUSR1);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        if (datagramFollows)
            pair.peer.Send({0x55}, pair.socketAddress);
        waiter.join();
        EXPECT_EQ(result.load(), datagramFollows ? 1 : 0);
    }
    sigaction(SIGUSR1, &previous, nullptr);
}

}  // namespace

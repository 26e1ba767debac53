#include "platform/socket.h"
#include "tests/link/udp_responder.h"

#include <gtest/gtest.h>

#include <pthread.h>
#include <signal.h>

namespace {

TEST(AddressText, ParsesAndFormatsDottedDecimal)
{
    EXPECT_EQ(platform::InetAddr("10.0.0.5"), htonl(0x0A000005));
    // The broadcast address reads the same as a failure, as inet_addr does.
    for (const char *bad : {"1.2.3.256", "", static_cast<const char *>(nullptr), "255.255.255.255"})
        EXPECT_EQ(platform::InetAddr(bad), INADDR_NONE);
    EXPECT_EQ(platform::InetNtoa(htonl(0x01140364)), "1.20.3.100");
}

// The peer answers a one-byte request n with n bytes of 0x5A (n = 255: 961 bytes).
void AnswerWithLength(UdpResponder &self, const Datagram &d)
{
    self.Send(Bytes(d.bytes[0] == 255 ? 961 : d.bytes[0], 0x5A), d.from);
}

TEST(UdpSocket, ReceivesWholeDatagramsAndRefusesOversizedOnes)
{
    const struct {
        std::uint8_t length;
        std::size_t capacity;
        int expected;
    } cases[] = {{0, 1, 0}, {1, 1, 1}, {2, 1, -1}, {130, 960, 130}, {255, 960, -1}};
    platform::UdpSocket socket;
    UdpResponder peer("127.0.0.1");
    peer.Start(AnswerWithLength);
    // Linux refuses the option given as a single byte.
    EXPECT_TRUE(socket.SetBroadcast(true) && socket.SetBroadcast(false));
    for (const auto &c : cases) {
        SCOPED_TRACE(int(c.length));
        ASSERT_EQ(socket.SendTo(&c.length, 1, platform::MakeAddress(peer.Address(), peer.Port())), 1);
        ASSERT_EQ(socket.WaitReadable(2, 0), 1);
        Bytes buffer(c.capacity + 8, 0);
        sockaddr_in from{};
        const int got = socket.ReceiveFrom(buffer.data(), c.capacity, &from);
        EXPECT_EQ(got, c.expected);
        EXPECT_EQ(from.sin_addr.s_addr, peer.Address());
        EXPECT_EQ(ntohs(from.sin_port), peer.Port());
        // The datagram, and nothing written past what it covers.
        const std::size_t taken = got > 0 ? std::size_t(got) : 0, covered = got >= 0 ? taken : c.capacity;
        EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + taken), Bytes(taken, 0x5A));
        EXPECT_EQ(Bytes(buffer.begin() + covered, buffer.end()), Bytes(buffer.size() - covered, 0));
    }
    // The refused datagrams were consumed, not left in the queue.
    EXPECT_EQ(socket.WaitReadable(0, 50000), 0);
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
        platform::UdpSocket socket;
        UdpResponder peer("127.0.0.1");
        peer.Start([](UdpResponder &self, const Datagram &d) {
            if (self.Pause(300))
                self.Send(d.bytes, d.from);
        });
        const std::uint8_t request = 1;
        ASSERT_TRUE(!datagramFollows || socket.SendTo(&request, 1, platform::MakeAddress(peer.Address(), peer.Port())) == 1);
        std::atomic<int> result{-2};
        std::thread waiter([&] { result = socket.WaitReadable(datagramFollows ? 3 : 0, 600000); });
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        pthread_kill(waiter.native_handle(), SIGUSR1);
        waiter.join();
        EXPECT_EQ(result.load(), datagramFollows ? 1 : 0);
    }
    sigaction(SIGUSR1, &previous, nullptr);
}

}  // namespace

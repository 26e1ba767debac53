// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "probe/resolve.h"

#include <ares.h>
#include <netinet/in.h>
#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <mutex>

namespace kprobe {

namespace {

using platform::Clock;

// The first try waits this long, each round twice as long as the one before,
// so that a lost datagram is asked again well within a one-second probe.
constexpr int FirstTryMs = 250;
constexpr int Tries = 3;

struct Question {
    Lookup *lookup = nullptr;
    Clock::time_point asked;
    bool answered = false;
};

LookupError ErrorOf(int status)
{
    switch (status) {
    case ARES_SUCCESS: return LookupError::None;
    case ARES_ENOTFOUND:
    case ARES_ENODATA:
    case ARES_ENONAME: return LookupError::NotFound;
    case ARES_ETIMEOUT:
    case ARES_ECANCELLED:  // the deadline came first
        return LookupError::Timeout;
    default: return LookupError::Failed;
    }
}

void Answered(void *arg, int status, int /*timeouts*/, ares_addrinfo *result)
{
    auto *q = static_cast<Question *>(arg);
    q->answered = true;
    Lookup &l = *q->lookup;
    l.seconds = std::chrono::duration<double>(Clock::now() - q->asked).count();
    for (ares_addrinfo_node *n = result ? result->nodes : nullptr; n; n = n->ai_next) {
        if (n->ai_family != AF_INET || !n->ai_addr)
            continue;
        sockaddr_in address;
        std::memcpy(&address, n->ai_addr, sizeof address);
        l.answers.push_back(address.sin_addr.s_addr);
    }
    if (result)
        ares_freeaddrinfo(result);
    l.error = ErrorOf(status);
    if (l.error == LookupError::None && l.answers.empty())
        l.error = LookupError::NotFound;
    if (l.error != LookupError::None)
        l.detail = ares_strerror(status);
}

// One resolver channel, destroyed with the object; what is still asked is
// cancelled then, and its callbacks run before the questions go.
class Channel {
public:
    explicit Channel(std::string &error)
    {
        static std::once_flag once;
        std::call_once(once, [] { ares_library_init(ARES_LIB_INIT_ALL); });
        ares_options options{};
        options.timeout = FirstTryMs;
        options.tries = Tries;
        char lookups[] = "fb";  // the hosts file, then the name servers
        options.lookups = lookups;
        const int status =
            ares_init_options(&m_channel, &options, ARES_OPT_TIMEOUTMS | ARES_OPT_TRIES | ARES_OPT_LOOKUPS);
        if (status != ARES_SUCCESS) {
            m_channel = nullptr;
            error = ares_strerror(status);
        }
    }
    ~Channel()
    {
        if (m_channel)
            ares_destroy(m_channel);
    }
    Channel(const Channel &) = delete;
    Channel &operator=(const Channel &) = delete;

    bool Ready() const { return m_channel != nullptr; }
    ares_channel Get() const { return m_channel; }

private:
    ares_channel m_channel = nullptr;
};

// Waits for the channel's sockets or its next retry, at most until the deadline.
void Step(ares_channel channel, Clock::time_point deadline)
{
    ares_socket_t sockets[ARES_GETSOCK_MAXNUM];
    const int mask = ares_getsock(channel, sockets, ARES_GETSOCK_MAXNUM);
    pollfd fds[ARES_GETSOCK_MAXNUM];
    nfds_t count = 0;
    for (int i = 0; i < ARES_GETSOCK_MAXNUM; ++i) {
        const short events = static_cast<short>((ARES_GETSOCK_READABLE(mask, i) ? POLLIN : 0) |
                                                (ARES_GETSOCK_WRITABLE(mask, i) ? POLLOUT : 0));
        if (events)
            fds[count++] = pollfd{sockets[i], events, 0};
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    timeval most{static_cast<time_t>(left.count() / 1000), static_cast<suseconds_t>(left.count() % 1000) * 1000};
    timeval next{};
    const timeval *wait = ares_timeout(channel, &most, &next);
    const int ms = static_cast<int>(wait->tv_sec * 1000 + (wait->tv_usec + 999) / 1000);
    if (::poll(fds, count, std::max(ms, 0)) < 0 && errno != EINTR)
        return;
    bool any = false;
    for (nfds_t i = 0; i < count; ++i) {
        if (!fds[i].revents)
            continue;
        any = true;
        const bool in = fds[i].revents & (POLLIN | POLLERR | POLLHUP);
        ares_process_fd(channel, in ? fds[i].fd : ARES_SOCKET_BAD,
                        (fds[i].revents & POLLOUT) ? fds[i].fd : ARES_SOCKET_BAD);
    }
    if (!any)  // a retry is due
        ares_process_fd(channel, ARES_SOCKET_BAD, ARES_SOCKET_BAD);
}

}  // namespace

const char *LookupErrorText(LookupError error)
{
    switch (error) {
    case LookupError::None: return "none";
    case LookupError::NotFound: return "not found";
    case LookupError::Timeout: return "timed out";
    case LookupError::Failed: break;
    }
    return "failed";
}

std::vector<Lookup> LookUp(const std::vector<std::string> &names, Clock::time_point deadline)
{
    std::vector<Lookup> lookups(names.size());
    std::vector<Question> questions(names.size());
    std::string error;
    Channel channel(error);
    ares_addrinfo_hints hints{};
    hints.ai_family = AF_INET;  // the protocol is IPv4 only
    hints.ai_flags = ARES_AI_NOSORT;
    for (std::size_t i = 0; i < names.size(); ++i) {
        lookups[i].name = names[i];
        questions[i] = Question{&lookups[i], Clock::now(), false};
        if (!channel.Ready()) {
            lookups[i].error = LookupError::Failed;
            lookups[i].detail = error;
            questions[i].answered = true;
            continue;
        }
        ares_getaddrinfo(channel.Get(), names[i].c_str(), nullptr, &hints, Answered, &questions[i]);
    }
    const auto waiting = [&questions] {
        return std::any_of(questions.begin(), questions.end(), [](const Question &q) { return !q.answered; });
    };
    while (waiting() && Clock::now() < deadline)
        Step(channel.Get(), deadline);
    if (channel.Ready())
        ares_cancel(channel.Get());  // what is left answers now, as timed out
    return lookups;
}

}  // namespace kprobe

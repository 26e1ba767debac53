// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The exporter's HTTP layer: the web configuration file, basic auth, the pool, and what a request gets over a real
// connection on loopback (refusals, the byte budget, closing after a refusal, keep-alive, many probes at once against
// fake print servers, its own metrics).
#include "tests/probe/records.h"
#include "probe/http/auth.h"
#include "probe/http/bcrypt_checks.h"
#include "probe/http/pool.h"
#include "probe/serve.h"
#include "probe/http/web_config.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <sys/time.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <future>
#include <cstdlib>
#include <fstream>
#include <thread>

using namespace kprobe;

namespace {

// The bcrypt hash of "secret" at cost 5.
const std::string hash = "$2b$05$IkTsHeG11/6.KaUI1UYanuIGPDl9My8mDXfhz6wbyZ1CLFx1DVJci";

// A folder with a throwaway key pair (made by openssl).
struct Files {
    std::string dir;
    Files()
    {
        char name[] = "/tmp/kestrum-http-XXXXXX";
        dir = ::mkdtemp(name);
        const std::string command = "openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2 "
                                    "-subj /CN=localhost -addext subjectAltName=IP:127.0.0.1 -keyout " +
                                    dir + "/key.pem -out " + dir + "/cert.pem 2>/dev/null";
        if (std::system(command.c_str()) != 0)
            dir.clear();
    }
    ~Files()
    {
        if (!dir.empty())
            std::system(("rm -rf " + dir).c_str());
    }
};

// Web configurations against the files of a folder: good ones, and bad ones with the telling part of their error;
// then what a good one holds.
TEST(WebConfig, FilesAreCheckedAtStart)
{
    Files f;
    ASSERT_FALSE(f.dir.empty()) << "openssl could not make a key pair";
    const std::string tls = "tls_server_config:\n  cert_file: cert.pem\n  key_file: key.pem\n";
    const std::string users = "basic_auth_users:\n  alice: '" + hash + "'\n";
    const std::pair<std::string, const char *> cases[] = {
        {tls + users, ""},
        {tls + "  client_auth_type: RequireAndVerifyClientCert\n  client_ca_file: cert.pem\n", ""},
        {"tls_server_config:\n  cert_file: missing.pem\n  key_file: key.pem\n", "cannot read"},
        {"tls_server_config:\n  key_file: key.pem\n", "cert_file and key_file are both required"},
        {"tls_server_config:\n  cert_file: key.pem\n  key_file: cert.pem\n", "do not load together"},
        {"basic_auth_users:\n  alice: plain-password\n", "not a bcrypt hash"},
        {"basic_auth_users:\n  'a:b': '" + hash + "'\n", "not a user name"},
        {"rate_limit:\n  interval: 1s\n", "unknown or unsupported field 'rate_limit'"},
        {tls + "  client_auth_type: RequireAndVerifyClientCert\n", "needs client_ca_file"},
        {tls + "  client_auth_type: Sometimes\n", "is not one of"},
        {tls + "  min_version: TLS13\n  max_version: TLS12\n", "lowest first"},
        {"- a list\n", "not a map"},
        // Read two ways, or checked never or for a day: refused.
        {users + "  alice: '" + hash + "'\n", "line 3: 'alice' given twice"},
        {"basic_auth_users: &u\n  alice: '" + hash + "'\n", "an anchor"},
        {"basic_auth_users:\n  <<: {alice: x}\n", "a merge key"},
        {users + "---\nbasic_auth_users:\n", "more than one document"},
        {"basic_auth_users:\n  alice: '$2y$31$" + hash.substr(7) + "'\n", "cost 31 is outside 4 to 12"},
    };
    for (const auto &[text, wrong] : cases) {
        WebConfig config;
        std::string error;
        EXPECT_EQ(ParseWebConfig(text, f.dir, config, error), *wrong == '\0') << text << "\n" << error;
        EXPECT_NE(error.find(wrong), std::string::npos) << text << "\n" << error;
    }
    WebConfig config;
    std::string error;
    ASSERT_TRUE(ParseWebConfig(tls + users, f.dir, config, error)) << error;
    EXPECT_EQ(config.users.at("alice"), hash);
    // From a file, relative names are the file's neighbours.
    std::ofstream(f.dir + "/web.yml") << tls;
    EXPECT_TRUE(LoadWebConfig(f.dir + "/web.yml", config, error)) << error;
    EXPECT_FALSE(LoadWebConfig(f.dir + "/absent.yml", config, error));
    EXPECT_NE(error.find("--web.config.file"), std::string::npos);
    // A key that every user may read is served, with a warning.
    EXPECT_TRUE(config.warnings.empty());
    ::chmod((f.dir + "/key.pem").c_str(), 0644);
    ASSERT_TRUE(ParseWebConfig(tls, f.dir, config, error)) << error;
    ASSERT_EQ(config.warnings.size(), 1u);
    EXPECT_NE(config.warnings[0].find("can be read by every user"), std::string::npos);
}

BasicAuth::Outcome CheckNow(BasicAuth &auth, const std::string &authorization)
{
    std::promise<BasicAuth::Outcome> outcome;
    auth.Check(authorization, [&outcome](BasicAuth::Outcome o) { outcome.set_value(o); });
    return outcome.get_future().get();
}

TEST(BasicAuth, HeadersPasswordsAndTheRememberedOnes)
{
    BasicAuth auth({{"alice", hash}});
    const std::string right = "Basic YWxpY2U6c2VjcmV0";     // alice:secret
    const std::string wrong = "Basic YWxpY2U6c2VjcmV1";     // alice:secreu
    const std::string stranger = "Basic Ym9iOnNlY3JldA==";  // bob:secret
    for (const std::string &junk : {std::string(), std::string("Bearer x"), std::string("Basic !!!"),
                                    std::string("Basic YWxpY2U="),                   // no colon
                                    std::string("Basic YWxpY2U6c2VjcmV0AGp1bms=")})  // alice:secret\0junk
        EXPECT_EQ(auth.Quick(junk), BasicAuth::Verdict::Refused) << junk;
    EXPECT_EQ(auth.StandInCost(), 5);  // an unknown user costs what alice does
    EXPECT_EQ(auth.Quick(right), BasicAuth::Verdict::NeedsHashing);
    EXPECT_EQ(CheckNow(auth, wrong), BasicAuth::Outcome::Refused);
    EXPECT_EQ(CheckNow(auth, stranger), BasicAuth::Outcome::Refused);
    EXPECT_EQ(CheckNow(auth, right), BasicAuth::Outcome::Accepted);
    EXPECT_EQ(auth.Quick("basic  YWxpY2U6c2VjcmV0"), BasicAuth::Verdict::Accepted);
    // Wrong guesses are remembered: repeated, they cost no bcrypt.
    EXPECT_EQ(auth.Quick(wrong), BasicAuth::Verdict::Refused);
    EXPECT_EQ(auth.Quick(stranger), BasicAuth::Verdict::Refused);
}

TEST(BcryptChecks, BoundedAndSharedNotQueued)
{
    // One check at a time, held until the test lets it go.
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    std::atomic<int> checks{0};
    BcryptChecks bcrypt(1, 1, [&](const std::string &password, const std::string &) {
        ++checks;
        released.wait();
        return password == "secret";
    });
    std::atomic<int> answers{0}, right{0};
    std::promise<void> all;
    for (int i = 0; i < 50; ++i)
        bcrypt.Check("alice", "secret", "hash", [&](BcryptChecks::Result r) {
            right += r == BcryptChecks::Result::Right;
            if (++answers == 50)
                all.set_value();
        });
    // Another question finds the one check taken: answered at once.
    BcryptChecks::Result other = BcryptChecks::Result::Right;
    bcrypt.Check("bob", "guess", "hash", [&](BcryptChecks::Result r) { other = r; });
    EXPECT_EQ(other, BcryptChecks::Result::Busy);
    release.set_value();
    all.get_future().wait();
    EXPECT_EQ(checks, 1);
    EXPECT_EQ(right, 50);
}

TEST(WorkerPool, GrowsForABurstAndShrinksWhenIdle)
{
    WorkerPool pool(8, std::chrono::milliseconds(100));
    std::atomic<int> done{0};
    std::atomic<bool> release{false};
    for (int i = 0; i < 20; ++i)
        ASSERT_TRUE(pool.Submit([&] {
            while (!release)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            ++done;
        }));
    EXPECT_EQ(pool.Threads(), 8u);  // the limit, the rest queued
    release = true;
    for (int i = 0; i < 500 && (done < 20 || pool.Threads() > 0); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(done, 20);
    EXPECT_EQ(pool.Threads(), 0u);
    pool.Stop();
    EXPECT_FALSE(pool.Submit([] {}));
}

// Raw bytes to the exporter; what came back until it closed (or `wait` passed).
struct HttpReply {
    std::string text;
    bool closed = false;
    int Status() const { return text.rfind("HTTP/1.1 ", 0) == 0 ? std::atoi(text.c_str() + 9) : 0; }
    int Answers() const
    {
        int n = 0;
        for (std::size_t at = text.find("HTTP/1.1 "); at != std::string::npos; at = text.find("HTTP/1.1 ", at + 1))
            ++n;
        return n;
    }
};

HttpReply Send(int port, const std::string &request, int waitSeconds = 1)
{
    HttpReply r;
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    const timeval wait{waitSeconds, 0};  // for each read: the exporter never trickles an answer
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
    const sockaddr_in to{AF_INET, htons(static_cast<uint16_t>(port)), {htonl(INADDR_LOOPBACK)}, {}};
    if (::connect(fd, reinterpret_cast<const sockaddr *>(&to), sizeof to) == 0) {
        ::send(fd, request.data(), request.size(), MSG_NOSIGNAL);  // blocking: all of it, or refused early
        char buffer[4096];
        ssize_t n;
        while ((n = ::recv(fd, buffer, sizeof buffer, 0)) > 0)
            r.text.append(buffer, static_cast<std::size_t>(n));
        r.closed = n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK);
    }
    ::close(fd);
    return r;
}

Logger quiet(std::cerr, LogLevel::Error, LogFormat::Logfmt);

// An exporter on 127.0.0.1, on a free port.
std::unique_ptr<Exporter> Started()
{
    static const ServeOptions options = [] {
        ServeOptions o;
        o.port = 0;
        return o;
    }();
    auto exporter = std::make_unique<Exporter>(options, quiet);
    std::string error;
    EXPECT_TRUE(exporter->Start(error)) << error;
    return exporter;
}

TEST(HttpServe, RequestsAreScreenedBeforeRouting)
{
    const std::unique_ptr<Exporter> exporter = Started();
    const std::string get = "GET /metrics HTTP/1.1\r\nHost: x\r\n";
    const std::string next = "GET / HTTP/1.1\r\nHost: x\r\n\r\n";
    const struct {
        std::string request;
        int status;
        int answers;  // to everything sent on the connection
        bool closed;  // within the wait, with no Connection: close asked for
    } cases[] = {
        {get + "\r\n" + next, 200, 2, false},  // keep-alive
        {"HEAD / HTTP/1.1\r\nHost: x\r\n\r\n", 200, 1, false},
        {"POST /metrics HTTP/1.1\r\nHost: x\r\nContent-Length: 5\r\n\r\nhello", 405, 1, true},
        {get + "Content-Length: " + std::to_string(next.size()) + "\r\n\r\n" + next, 413, 1, true},
        {get + "Transfer-Encoding: chunked\r\n\r\n0\r\n\r\n", 411, 1, true},
        {get + "Content-Encoding: gzip\r\n\r\n", 415, 1, true},
        {get + "Range: bytes=-,-,-,-\r\n\r\n", 416, 1, true},
        {"GET /probe HTTP/1.1\r\nHost: x\r\n\r\n" + next, 400, 1, true},  // a 400 ends the connection
        {"GET /nothing HTTP/1.1\r\nHost: x\r\n\r\n" + next, 404, 2, false},
        {"GET /" + std::string(20000, 'a') + " HTTP/1.1\r\nHost: x\r\n\r\n", 414, 1, true},
        {get + std::string(2000, 'h') + ": " + std::string(15000, 'v') + "\r\n\r\n", 431, 1, true},
    };
    for (const auto &c : cases) {
        const HttpReply r = Send(exporter->Port(), c.request);
        const std::string shown = c.request.substr(0, 80);
        EXPECT_EQ(r.Status(), c.status) << shown << "\n" << r.text.substr(0, 300);
        EXPECT_EQ(r.Answers(), c.answers) << shown << "\n" << r.text.substr(0, 300);
        EXPECT_EQ(r.closed, c.closed) << shown;
    }
    // A head within the budget is served whole: 12 KiB of headers.
    std::string headers;
    for (int i = 0; i < 12; ++i)
        headers += "X-Pad-" + std::to_string(i) + ": " + std::string(1000, 'p') + "\r\n";
    EXPECT_EQ(Send(exporter->Port(), get + headers + "\r\n").Status(), 200);
}

TEST(HttpServe, EveryAddressAndAPortTakenIsAnError)
{
    ServeOptions options;
    std::string error;
    ASSERT_TRUE(ParseListen("127.0.0.1:0", options, error) && ParseListen("[::1]:0", options, error)) << error;
    Exporter exporter(options, quiet);
    ASSERT_TRUE(exporter.Start(error)) << error;
    const std::string port = std::to_string(exporter.Port());
    const std::vector<std::string> addresses = exporter.Addresses();
    ASSERT_EQ(addresses.size(), 2u);
    EXPECT_EQ(addresses[0], "127.0.0.1:" + port);
    EXPECT_EQ(addresses[1].rfind("[::1]:", 0), 0u) << addresses[1];
    ServeOptions again;
    again.port = exporter.Port();
    EXPECT_FALSE(Exporter(again, quiet).Start(error));
    EXPECT_NE(error.find("cannot listen on 127.0.0.1:" + port), std::string::npos) << error;
}

TEST(HttpServe, ProbesAtOnceBadTargetsAndItsOwnMetrics)
{
    // Every sixth server is silent, the third oversized.
    std::vector<ServerAnswer> answers;
    for (std::size_t i = 0; i < 24; ++i)
        answers.push_back({i % 6 ? ReplyBytes(BuildReply({{"server " + std::to_string(i)}}), i == 2 ? 961 : 960)
                                 : std::vector<std::uint8_t>()});
    FakePrintServers servers(answers);
    const std::unique_ptr<Exporter> exporter = Started();
    const auto get = [&](const std::string &path) {
        const HttpReply r = Send(exporter->Port(),
                                 "GET " + path +
                                     " HTTP/1.1\r\nHost: x\r\nConnection: close\r\n"
                                     "X-Prometheus-Scrape-Timeout-Seconds: 0.5\r\n\r\n",
                                 5);
        return std::pair(r.Status(), r.text);
    };
    std::vector<std::pair<int, std::string>> got(answers.size());
    std::vector<std::thread> clients;
    for (std::size_t i = 0; i < answers.size(); ++i)
        clients.emplace_back([&, i] { got[i] = get("/probe?target=" + servers.targets[i].Text()); });
    for (auto &t : clients)
        t.join();
    for (std::size_t i = 0; i < answers.size(); ++i) {
        const char *up = i % 6 && i != 2 ? "\nkestrum_up 1\n" : "\nkestrum_up 0\n";
        EXPECT_EQ(got[i].first, 200) << i;  // also when down
        EXPECT_NE(got[i].second.find(up), std::string::npos) << i << "\n" << got[i].second;
    }
    // The scrape header reaches the wait: a quarter second short of the scrape time-out.
    EXPECT_NE(got[0].second.find("\nkestrum_probe_duration_seconds 0.25\n"), std::string::npos) << got[0].second;
    // Targets are read in cli_test.cpp, refused in routes_test.cpp; here that a refusal is counted as one.
    EXPECT_EQ(get("/probe?target=127.0.0.1&target=127.0.0.2").first, 400);
    EXPECT_EQ(get("/nothing").first, 404);
    EXPECT_EQ(servers.requests, 24);
    // Each answer counted once, under its own handler.
    const std::string metrics = get("/metrics").second;
    for (const char *sample : {R"(kestrum_exporter_http_requests_total{code="200",handler="/probe"} 24)",
                               R"(kestrum_exporter_http_requests_total{code="400",handler="/probe"} 1)",
                               R"(kestrum_exporter_http_requests_total{code="404",handler="other"} 1)",
                               R"(kestrum_exporter_probes_total{outcome="silent"} 4)", "\nprocess_cpu_seconds_total ",
                               "\n# TYPE process_open_fds gauge\nprocess_open_fds ", "\nprocess_max_fds "})
        EXPECT_NE(metrics.find(sample), std::string::npos) << sample << "\n" << metrics;
    EXPECT_EQ(metrics.find(R"(code="400",handler="other")"), std::string::npos) << metrics;
}

}  // namespace

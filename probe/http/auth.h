// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Basic authentication against bcrypt hashes. A bcrypt check costs tens of
// milliseconds, so the connection loop only ever consults what is remembered:
// the password last found right for each user, and wrong passwords (bounded,
// for a while), both as keyed digests. Anything else is checked with bcrypt
// on a small set of threads of its own (BcryptChecks), never the probes'.
#pragma once
#include "platform/clock.h"
#include "probe/http/bcrypt_checks.h"

#include <chrono>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <unordered_map>

namespace kprobe {

// Costs whose check takes at most about a second on a small host; the library
// would take 4 to 31, and 31 would take a day.
constexpr int BcryptMinCost = 4;
constexpr int BcryptMaxCost = 12;

// Whether hash is a bcrypt hash ($2a$, $2b$ or $2y$, a two-digit cost in the
// range above, 53 characters of salt and digest); false with a reason.
bool CheckBcryptHash(const std::string &hash, std::string &why);
// The cost of a hash that passed the check.
int BcryptCost(const std::string &hash);

class BasicAuth {
public:
    struct Limits {
        std::size_t checkThreads = 2;   // bcrypt checks at once
        std::size_t checkCapacity = 8;  // checks running or waiting; past it: Busy
        std::size_t wrongRemembered = 4096;
        std::chrono::seconds wrongFor = std::chrono::minutes(10);
    };
    // users: name -> a hash that passed CheckBcryptHash.
    explicit BasicAuth(std::map<std::string, std::string> users);
    BasicAuth(std::map<std::string, std::string> users, Limits limits);

    bool Enabled() const { return !m_users.empty(); }

    enum class Verdict { Accepted, Refused, NeedsHashing };
    // Without bcrypt: Accepted for the remembered right password, Refused for a
    // missing or malformed header, a NUL, or a remembered wrong password.
    Verdict Quick(const std::string &authorization) const;

    enum class Outcome { Accepted, Refused, Busy };
    // With bcrypt, for unknown users too (against a stand-in of the users'
    // cost, so that timing does not tell who exists). `done` is called once,
    // at once when every check is taken (Busy), or on a checking thread.
    void Check(const std::string &authorization, std::function<void(Outcome)> done);
    // Takes no more checks; those running end on their own.
    void Stop() { m_checks.Stop(); }

    // The cost that an unknown user's check pays.
    int StandInCost() const { return BcryptCost(m_standIn); }

    // The value of WWW-Authenticate for a refusal.
    static const char *Challenge() { return "Basic realm=\"kestrum-probe\", charset=\"UTF-8\""; }

private:
    using Clock = platform::Clock;
    std::string Key(const std::string &user, const std::string &password) const;
    void Remember(const std::string &user, const std::string &key, bool right);

    const std::map<std::string, std::string> m_users;  // user -> bcrypt hash
    const Limits m_limits;
    std::string m_secret;   // keys the digests: nothing here is a plain hash of a password
    std::string m_standIn;  // a bcrypt setting of the users' highest cost
    BcryptChecks m_checks;
    mutable std::mutex m_mutex;
    std::map<std::string, std::string> m_right;                  // user -> key of the password found right
    std::unordered_map<std::string, Clock::time_point> m_wrong;  // key -> when it was found wrong
    std::deque<std::string> m_wrongOrder;                        // oldest first
};

// "Basic BASE64(user:password)" into its parts; false when it is not that,
// or when either part holds a NUL.
bool ParseBasicAuthorization(const std::string &header, std::string &user, std::string &password);

}  // namespace kprobe

// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Basic authentication against bcrypt hashes. A bcrypt check costs tens of
// milliseconds, so it runs on a worker, never on the connection loop, and a
// password once found right is remembered (as its SHA-256, compared in
// constant time) so that the next requests pass at once.
#pragma once
#include <array>
#include <map>
#include <memory>
#include <mutex>
#include <string>

namespace kprobe {

class BasicAuth {
public:
    explicit BasicAuth(std::map<std::string, std::string> users);

    bool Enabled() const { return !m_users.empty(); }

    enum class Verdict { Accepted, Refused, NeedsHashing };
    // Without bcrypt: Accepted for a remembered password, Refused for a
    // missing or malformed header, NeedsHashing otherwise.
    Verdict Quick(const std::string &authorization) const;
    // With bcrypt (also for unknown users, so that timing does not tell who
    // exists); remembers a success.
    bool Verify(const std::string &authorization);

    // The value of WWW-Authenticate for a refusal.
    static const char *Challenge() { return "Basic realm=\"kestrum-probe\", charset=\"UTF-8\""; }

private:
    using Digest = std::array<unsigned char, 32>;
    std::map<std::string, std::string> m_users;  // user -> bcrypt hash
    // One bcrypt at a time per user: a burst of requests with the same right
    // password costs one check, the rest find it remembered.
    std::map<std::string, std::unique_ptr<std::mutex>> m_checking;
    mutable std::mutex m_mutex;
    std::map<std::string, Digest> m_known;  // user -> SHA-256 of the password found right
};

// "Basic BASE64(user:password)" into its parts; false when it is not that.
bool ParseBasicAuthorization(const std::string &header, std::string &user, std::string &password);

}  // namespace kprobe

// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "probe/http/auth.h"

#include <crypt.h>
#include <gnutls/crypto.h>
#include <gnutls/gnutls.h>
#include <nettle/memops.h>
#include <strings.h>

#include <algorithm>
#include <cctype>
#include <cstring>

namespace kprobe {

namespace {

constexpr std::size_t BcryptLength = 60;  // "$2b$10$" + 22 of salt + 31 of digest

bool BcryptAlphabet(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '/'; }

std::string Random(std::size_t size)
{
    std::string bytes(size, '\0');
    gnutls_rnd(GNUTLS_RND_KEY, bytes.data(), size);
    return bytes;
}

// A bcrypt setting of the given cost with a random salt, made up to a whole
// hash that no password matches: checking against it costs what a real one does.
std::string StandIn(int cost)
{
    const std::string random = Random(16);
    char setting[CRYPT_GENSALT_OUTPUT_SIZE] = {};
    if (!crypt_gensalt_rn("$2b$", static_cast<unsigned long>(cost), random.data(), static_cast<int>(random.size()),
                          setting, sizeof setting))
        return std::string();
    std::string hash(setting);
    hash.resize(BcryptLength, 'e');
    return hash;
}

int HighestCost(const std::map<std::string, std::string> &users)
{
    int cost = 10;  // the usual, where nobody is configured
    if (!users.empty())
        cost = BcryptMinCost;
    for (const auto &entry : users)
        cost = std::max(cost, BcryptCost(entry.second));
    return cost;
}

}  // namespace

bool CheckBcryptHash(const std::string &hash, std::string &why)
{
    const bool prefix = hash.rfind("$2y$", 0) == 0 || hash.rfind("$2b$", 0) == 0 || hash.rfind("$2a$", 0) == 0;
    if (!prefix) {
        why = "it does not start with $2y$, $2b$ or $2a$";
        return false;
    }
    if (hash.size() != BcryptLength || !std::isdigit(static_cast<unsigned char>(hash[4])) ||
        !std::isdigit(static_cast<unsigned char>(hash[5])) || hash[6] != '$' ||
        !std::all_of(hash.begin() + 7, hash.end(), BcryptAlphabet)) {
        why = "it is not 60 characters of the form $2y$NN$ and 53 of salt and digest";
        return false;
    }
    const int cost = BcryptCost(hash);
    if (cost < BcryptMinCost || cost > BcryptMaxCost) {
        why = "its cost " + std::to_string(cost) + " is outside " + std::to_string(BcryptMinCost) + " to " +
              std::to_string(BcryptMaxCost) + " (a check must take at most about a second)";
        return false;
    }
    return true;
}

int BcryptCost(const std::string &hash) { return hash.size() > 6 ? (hash[4] - '0') * 10 + (hash[5] - '0') : 0; }

bool ParseBasicAuthorization(const std::string &header, std::string &user, std::string &password)
{
    if (header.size() < 6 || ::strncasecmp(header.c_str(), "Basic ", 6) != 0)
        return false;
    std::string encoded = header.substr(6);
    encoded.erase(0, encoded.find_first_not_of(' '));
    const gnutls_datum_t in{reinterpret_cast<unsigned char *>(encoded.data()), static_cast<unsigned>(encoded.size())};
    gnutls_datum_t out{nullptr, 0};
    if (encoded.empty() || encoded.size() > 1024 || gnutls_base64_decode2(&in, &out) < 0)
        return false;
    const std::string decoded(reinterpret_cast<const char *>(out.data), out.size);
    gnutls_free(out.data);
    const std::size_t colon = decoded.find(':');
    if (colon == std::string::npos || decoded.find('\0') != std::string::npos)
        return false;  // crypt() would read a password only up to a NUL
    user = decoded.substr(0, colon);
    password = decoded.substr(colon + 1);
    return true;
}

BasicAuth::BasicAuth(std::map<std::string, std::string> users) : BasicAuth(std::move(users), Limits()) {}

BasicAuth::BasicAuth(std::map<std::string, std::string> users, Limits limits)
    : m_users(std::move(users)), m_limits(limits), m_secret(Random(32)), m_standIn(StandIn(HighestCost(m_users))),
      m_checks(limits.checkThreads, limits.checkCapacity)
{
}

std::string BasicAuth::Key(const std::string &user, const std::string &password) const
{
    const std::string text = user + '\0' + password;
    std::string digest(32, '\0');
    gnutls_hmac_fast(GNUTLS_MAC_SHA256, m_secret.data(), m_secret.size(), text.data(), text.size(), digest.data());
    return digest;
}

BasicAuth::Verdict BasicAuth::Quick(const std::string &authorization) const
{
    std::string user, password;
    if (!ParseBasicAuthorization(authorization, user, password))
        return Verdict::Refused;
    const std::string key = Key(user, password);
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto right = m_right.find(user);
    if (right != m_right.end() && memeql_sec(right->second.data(), key.data(), key.size()))
        return Verdict::Accepted;
    const auto wrong = m_wrong.find(key);
    if (wrong != m_wrong.end() && Clock::now() - wrong->second < m_limits.wrongFor)
        return Verdict::Refused;
    return Verdict::NeedsHashing;
}

void BasicAuth::Check(const std::string &authorization, std::function<void(Outcome)> done)
{
    std::string user, password;
    if (!ParseBasicAuthorization(authorization, user, password)) {
        done(Outcome::Refused);
        return;
    }
    const auto it = m_users.find(user);
    const bool known = it != m_users.end();
    const std::string key = Key(user, password);
    m_checks.Check(key, password, known ? it->second : m_standIn,
                   [this, user, key, known, done = std::move(done)](BcryptChecks::Result result) {
                       if (result == BcryptChecks::Result::Busy)
                           return done(Outcome::Busy);
                       const bool right = known && result == BcryptChecks::Result::Right;
                       Remember(user, key, right);
                       done(right ? Outcome::Accepted : Outcome::Refused);
                   });
}

void BasicAuth::Remember(const std::string &user, const std::string &key, bool right)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (right) {
        m_right[user] = key;
        return;
    }
    const Clock::time_point now = Clock::now();
    if (m_wrong.insert_or_assign(key, now).second)
        m_wrongOrder.push_back(key);
    // The oldest go first, whether or not their time is up.
    while (m_wrongOrder.size() > m_limits.wrongRemembered ||
           (!m_wrongOrder.empty() && now - m_wrong[m_wrongOrder.front()] >= m_limits.wrongFor)) {
        m_wrong.erase(m_wrongOrder.front());
        m_wrongOrder.pop_front();
    }
}

}  // namespace kprobe

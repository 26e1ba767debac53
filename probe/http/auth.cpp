// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "probe/http/auth.h"

#include <crypt.h>
#include <gnutls/crypto.h>
#include <gnutls/gnutls.h>
#include <nettle/memops.h>
#include <strings.h>

#include <cstring>
#include <memory>

namespace kprobe {

namespace {

// Checked against when the user is unknown, so that the answer takes as long.
constexpr const char *StandIn = "$2y$10$abcdefghijklmnopqrstuuWm1H3/1ijVslxqMfxQOWi9bn/fo1nvO";

bool Sha256(const std::string &text, std::array<unsigned char, 32> &digest)
{
    return gnutls_hash_fast(GNUTLS_DIG_SHA256, text.data(), text.size(), digest.data()) == 0;
}

}  // namespace

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
    if (colon == std::string::npos)
        return false;
    user = decoded.substr(0, colon);
    password = decoded.substr(colon + 1);
    return true;
}

BasicAuth::BasicAuth(std::map<std::string, std::string> users) : m_users(std::move(users))
{
    for (const auto &entry : m_users)
        m_checking[entry.first] = std::make_unique<std::mutex>();
}

BasicAuth::Verdict BasicAuth::Quick(const std::string &authorization) const
{
    std::string user, password;
    if (!ParseBasicAuthorization(authorization, user, password))
        return Verdict::Refused;
    Digest digest{};
    if (!Sha256(password, digest))
        return Verdict::NeedsHashing;
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto it = m_known.find(user);
    if (it != m_known.end() && memeql_sec(it->second.data(), digest.data(), digest.size()))
        return Verdict::Accepted;
    return Verdict::NeedsHashing;
}

bool BasicAuth::Verify(const std::string &authorization)
{
    std::string user, password;
    if (!ParseBasicAuthorization(authorization, user, password))
        return false;
    const auto it = m_users.find(user);
    std::unique_lock<std::mutex> checking;
    if (it != m_users.end()) {
        checking = std::unique_lock<std::mutex>(*m_checking.at(user));
        if (Quick(authorization) == Verdict::Accepted)
            return true;  // found right while this one waited
    }
    const std::string &hash = it != m_users.end() ? it->second : std::string(StandIn);
    auto data = std::make_unique<crypt_data>();  // large: not on a worker's stack
    const char *result = crypt_r(password.c_str(), hash.c_str(), data.get());
    const bool right = it != m_users.end() && result && result[0] != '*' && hash.size() == std::strlen(result) &&
                       memeql_sec(result, hash.data(), hash.size());
    Digest digest{};
    if (right && Sha256(password, digest)) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_known[user] = digest;
    }
    return right;
}

}  // namespace kprobe

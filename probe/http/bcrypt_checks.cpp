// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "probe/http/bcrypt_checks.h"

#include "probe/http/pool.h"

#include <crypt.h>
#include <nettle/memops.h>

#include <cstring>
#include <map>
#include <mutex>
#include <vector>

namespace kprobe {

struct BcryptChecks::State {
    State(std::size_t threads, std::size_t cap, Matcher m)
        : pool(threads, std::chrono::seconds(5)), capacity(cap), matches(std::move(m))
    {
    }
    WorkerPool pool;
    const std::size_t capacity;
    const Matcher matches;
    std::mutex mutex;
    std::map<std::string, std::vector<Done>> asking;  // key -> everyone waiting for its check

    std::vector<Done> Take(const std::string &key)
    {
        std::lock_guard<std::mutex> lock(mutex);
        const auto it = asking.find(key);
        if (it == asking.end())
            return {};
        std::vector<Done> waiting = std::move(it->second);
        asking.erase(it);
        return waiting;
    }
};

namespace {

bool Matches(const std::string &password, const std::string &hash)
{
    auto data = std::make_unique<crypt_data>();  // large: not on a thread's stack
    const char *result = crypt_r(password.c_str(), hash.c_str(), data.get());
    return result && result[0] != '*' && hash.size() == std::strlen(result) &&
           memeql_sec(result, hash.data(), hash.size());
}

}  // namespace

BcryptChecks::BcryptChecks(std::size_t threads, std::size_t capacity, Matcher matcher)
    : m_state(std::make_shared<State>(threads, capacity > 0 ? capacity : 1, matcher ? matcher : Matches))
{
}

BcryptChecks::~BcryptChecks() { Stop(); }

void BcryptChecks::Check(const std::string &key, std::string password, std::string hash, Done done)
{
    State &s = *m_state;
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        const auto it = s.asking.find(key);
        if (it != s.asking.end()) {
            it->second.push_back(std::move(done));
            return;
        }
        if (s.asking.size() < s.capacity) {
            s.asking[key].push_back(std::move(done));
            done = nullptr;
        }
    }
    if (done) {
        done(Result::Busy);
        return;
    }
    auto state = m_state;
    const bool queued = s.pool.Submit([state, key, password = std::move(password), hash = std::move(hash)] {
        const Result result = state->matches(password, hash) ? Result::Right : Result::Wrong;
        for (Done &d : state->Take(key))
            d(result);
    });
    if (!queued)
        for (Done &d : s.Take(key))
            d(Result::Busy);
}

void BcryptChecks::Stop() { m_state->pool.Stop(); }

}  // namespace kprobe

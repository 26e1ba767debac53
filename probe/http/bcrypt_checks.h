// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// bcrypt checks on a few threads of their own, bounded: past the capacity a
// check is turned away at once rather than queued behind a flood of guesses.
// Requests that ask the same question while it is being checked share the
// one check and hold no thread while they wait.
#pragma once
#include <functional>
#include <memory>
#include <string>

namespace kprobe {

class BcryptChecks {
public:
    enum class Result { Right, Wrong, Busy };
    using Done = std::function<void(Result)>;

    // Whether a password matches a hash; bcrypt unless a test says otherwise.
    using Matcher = std::function<bool(const std::string &password, const std::string &hash)>;

    BcryptChecks(std::size_t threads, std::size_t capacity, Matcher matcher = nullptr);
    ~BcryptChecks();
    BcryptChecks(const BcryptChecks &) = delete;
    BcryptChecks &operator=(const BcryptChecks &) = delete;

    // Whether password matches hash. `key` names the question: while a check
    // with that key runs, others with it wait for its answer. `done` is called
    // once: at once with Busy, or on a checking thread.
    void Check(const std::string &key, std::string password, std::string hash, Done done);
    void Stop();

    struct State;

private:
    std::shared_ptr<State> m_state;
};

}  // namespace kprobe

// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// What the fuzz targets share: a check that stops the run with a message (a finding), ASan's poisoning of bytes a
// routine must not read, and a fuzz input read as a command line.
#pragma once
#include <sanitizer/asan_interface.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

[[noreturn]] inline void FuzzFailure(const char *what, const char *file, int line, const std::string &detail = {})
{
    std::fprintf(stderr, "fuzz check failed: %s (%s:%d) %s\n", what, file, line, detail.c_str());
    std::abort();
}

// FUZZ_CHECK(condition[, detail]): a finding unless the condition holds.
#define FUZZ_CHECK(cond, ...) ((cond) ? void() : FuzzFailure(#cond, __FILE__, __LINE__, ##__VA_ARGS__))

// The arguments after the program's name, each ended by a zero byte (at most 64 words in all).
class FuzzArgs {
public:
    FuzzArgs(const char *program, const std::uint8_t *data, std::size_t size) : m_words{program}
    {
        const std::string text(reinterpret_cast<const char *>(data), size);
        for (std::size_t start = 0; start < text.size() && m_words.size() < 64;) {
            const std::size_t end = std::min(text.find('\0', start), text.size());
            m_words.push_back(text.substr(start, end - start));
            start = end + 1;
        }
        for (const std::string &w : m_words)
            m_argv.push_back(w.c_str());
        m_argv.push_back(nullptr);
    }
    int argc() const { return static_cast<int>(m_words.size()); }
    const char *const *argv() const { return m_argv.data(); }

private:
    std::vector<std::string> m_words;
    std::vector<const char *> m_argv;
};

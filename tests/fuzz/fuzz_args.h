// A fuzz input as a command line: the arguments after the program's name, each
// ended by a zero byte (at most 64 of them).
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class FuzzArgs {
public:
    FuzzArgs(const char *program, const std::uint8_t *data, std::size_t size)
    {
        m_words.emplace_back(program);
        std::string word;
        for (std::size_t i = 0; i < size && m_words.size() < kMaxWords; ++i) {
            if (data[i] == 0) {
                m_words.push_back(word);
                word.clear();
            } else {
                word += static_cast<char>(data[i]);
            }
        }
        if (!word.empty() && m_words.size() < kMaxWords)
            m_words.push_back(word);
        for (const std::string &w : m_words)
            m_argv.push_back(w.c_str());
        m_argv.push_back(nullptr);
    }

    int argc() const { return static_cast<int>(m_words.size()); }
    const char *const *argv() const { return m_argv.data(); }

private:
    static constexpr std::size_t kMaxWords = 64;
    std::vector<std::string> m_words;
    std::vector<const char *> m_argv;
};

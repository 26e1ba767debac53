// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The exporter's log: one line per event on a stream (stderr, where journald
// takes it), as Prometheus exporters write theirs: logfmt
// (ts=... level=info msg="..." key=value) or one JSON object a line.
#pragma once
#include <chrono>
#include <functional>
#include <initializer_list>
#include <map>
#include <mutex>
#include <ostream>
#include <string>
#include <utility>

namespace kprobe {

enum class LogLevel { Debug, Info, Warn, Error };
enum class LogFormat { Logfmt, Json };

// "debug", "info", "warn", "error".
const char *LogLevelName(LogLevel level);

using LogField = std::pair<const char *, std::string>;

class Logger {
public:
    using Clock = std::function<std::chrono::system_clock::time_point()>;

    Logger(std::ostream &out, LogLevel level, LogFormat format, Clock clock = std::chrono::system_clock::now);

    ~Logger();

    bool Enabled(LogLevel level) const { return level >= m_level; }
    // Thread-safe; each event is written whole, in one piece. Of warnings and
    // errors with the same message, at most RepeatLimit lines are written in
    // RepeatInterval; the rest are counted, and summed up in one line when
    // the next line is written after the interval, or at the end.
    void Log(LogLevel level, const std::string &message, std::initializer_list<LogField> fields = {});

    static constexpr int RepeatLimit = 10;
    static constexpr std::chrono::seconds RepeatInterval{60};

private:
    struct Repeats {
        std::chrono::system_clock::time_point since;
        int written = 0;
        long left = 0;  // lines not written
    };
    std::string Line(LogLevel level, const std::string &message, std::initializer_list<LogField> fields) const;
    void Write(const std::string &line);
    void SumUp(std::chrono::system_clock::time_point now, bool all);
    std::map<std::string, Repeats> m_repeats;  // by message; the messages are the program's own

    std::ostream &m_out;
    LogLevel m_level;
    LogFormat m_format;
    Clock m_clock;
    std::mutex m_mutex;
};

// A logfmt value: bare when it is plain ASCII without spaces, quotes, = or
// control characters, otherwise quoted with JSON's escapes (UTF-8 kept,
// invalid bytes replaced by U+FFFD).
std::string LogfmtValue(const std::string &value);

}  // namespace kprobe

// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The exporter's log: one line per event on a stream (stderr, where journald
// takes it), as Prometheus exporters write theirs: logfmt
// (ts=... level=info msg="..." key=value) or one JSON object a line.
#pragma once
#include <chrono>
#include <functional>
#include <initializer_list>
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

    bool Enabled(LogLevel level) const { return level >= m_level; }
    // Thread-safe; each event is written whole, in one piece.
    void Log(LogLevel level, const std::string &message, std::initializer_list<LogField> fields = {});

private:
    std::string Line(LogLevel level, const std::string &message, std::initializer_list<LogField> fields) const;

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

// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "probe/log.h"

#include <nlohmann/json.hpp>

#include <cstdio>
#include <ctime>

namespace kprobe {

namespace {

// RFC 3339 in UTC with milliseconds, as Prometheus' own logs have it.
std::string Timestamp(std::chrono::system_clock::time_point t)
{
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(t.time_since_epoch()).count();
    const std::time_t seconds = static_cast<std::time_t>(ms / 1000);
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    char text[96];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", utc.tm_year + 1900, utc.tm_mon + 1,
                  utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec, static_cast<int>(ms % 1000));
    return text;
}

std::string JsonString(const std::string &value)
{
    return nlohmann::json(value).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

}  // namespace

const char *LogLevelName(LogLevel level)
{
    switch (level) {
    case LogLevel::Debug: return "debug";
    case LogLevel::Info: return "info";
    case LogLevel::Warn: return "warn";
    case LogLevel::Error: return "error";
    }
    return "error";
}

std::string LogfmtValue(const std::string &value)
{
    bool bare = !value.empty();
    for (unsigned char c : value)
        bare = bare && c > ' ' && c < 0x7F && c != '"' && c != '=' && c != '\\';
    return bare ? value : JsonString(value);
}

Logger::Logger(std::ostream &out, LogLevel level, LogFormat format, Clock clock)
    : m_out(out), m_level(level), m_format(format), m_clock(std::move(clock))
{
}

std::string Logger::Line(LogLevel level, const std::string &message, std::initializer_list<LogField> fields) const
{
    const std::string ts = Timestamp(m_clock());
    if (m_format == LogFormat::Json) {
        // Keys in the order given, not sorted: the object is built by hand.
        std::string line =
            "{\"ts\":\"" + ts + "\",\"level\":\"" + LogLevelName(level) + "\",\"msg\":" + JsonString(message);
        for (const auto &[key, value] : fields)
            line += "," + JsonString(key) + ":" + JsonString(value);
        return line + "}\n";
    }
    std::string line = "ts=" + ts + " level=" + LogLevelName(level) + " msg=" + LogfmtValue(message);
    for (const auto &[key, value] : fields)
        line += std::string(" ") + key + "=" + LogfmtValue(value);
    return line + "\n";
}

Logger::~Logger()
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    SumUp(m_clock(), true);
}

void Logger::Write(const std::string &line)
{
    m_out.write(line.data(), static_cast<std::streamsize>(line.size()));
    m_out.flush();
}

void Logger::SumUp(std::chrono::system_clock::time_point now, bool all)
{
    for (auto it = m_repeats.begin(); it != m_repeats.end();) {
        if (!all && now - it->second.since < RepeatInterval) {
            ++it;
            continue;
        }
        if (it->second.left > 0)
            Write(Line(LogLevel::Warn, "Repeated lines left out",
                       {{"repeated_msg", it->first},
                        {"count", std::to_string(it->second.left)},
                        {"interval", std::to_string(RepeatInterval.count()) + "s"}}));
        it = m_repeats.erase(it);
    }
}

void Logger::Log(LogLevel level, const std::string &message, std::initializer_list<LogField> fields)
{
    if (!Enabled(level))
        return;
    const std::lock_guard<std::mutex> lock(m_mutex);
    const auto now = m_clock();
    SumUp(now, false);
    if (level >= LogLevel::Warn) {
        Repeats &r = m_repeats.try_emplace(message, Repeats{now}).first->second;
        if (++r.written > RepeatLimit) {
            ++r.left;
            return;
        }
    }
    Write(Line(level, message, fields));
}

}  // namespace kprobe

// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The exporter's log lines: levels, hostile values kept on one line, repeats summed up.
#include "probe/log.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <sstream>

using namespace kprobe;

namespace {

// 2026-12-07T15:04:05.123Z
std::chrono::system_clock::time_point Fixed()
{
    return std::chrono::system_clock::time_point(std::chrono::milliseconds(1796655845123LL));
}

}  // namespace

TEST(Log, HostileValuesStayOnOneLineAndReadBack)
{
    // clang-format off
    const std::tuple<std::string, const char *, std::string> cases[] = {
        {"plain", "plain", "plain"}, {"", "\"\"", ""}, {"two words", "\"two words\"", "two words"},
        {"Laser \"1020\"", R"("Laser \"1020\"")", "Laser \"1020\""}, {"a=b", "\"a=b\"", "a=b"},
        {"line\nbreak\r", R"("line\nbreak\r")", "line\nbreak\r"},
        {std::string("nul\0x", 5), R"("nul\u0000x")", std::string("nul\0x", 5)},
        {"back\\slash", R"("back\\slash")", "back\\slash"},
        {"K\xC3\xBC" "che", "\"K\xC3\xBC" "che\"", "K\xC3\xBC" "che"},
        {"K\xFC" "che", "\"K\xEF\xBF\xBD" "che\"", "K\xEF\xBF\xBD" "che"},  // Latin-1, not UTF-8: replaced
    };
    // clang-format on
    for (const auto &[value, logfmt, readBack] : cases) {
        std::ostringstream text, json;
        Logger(text, LogLevel::Info, LogFormat::Logfmt, Fixed).Log(LogLevel::Info, "Probe failed", {{"target", value}});
        EXPECT_EQ(text.str(),
                  "ts=2026-12-07T15:04:05.123Z level=info msg=\"Probe failed\" target=" + std::string(logfmt) + "\n");
        Logger(json, LogLevel::Info, LogFormat::Json, Fixed).Log(LogLevel::Info, value, {{"target", value}});
        ASSERT_EQ(json.str().find('\n'), json.str().size() - 1) << json.str();
        const nlohmann::json line = nlohmann::json::parse(json.str());
        EXPECT_EQ(line.dump(),
                  nlohmann::json(
                      {{"ts", "2026-12-07T15:04:05.123Z"}, {"level", "info"}, {"msg", readBack}, {"target", readBack}})
                      .dump());
    }
}

TEST(Log, LevelsFilter)
{
    const LogLevel levels[] = {LogLevel::Debug, LogLevel::Info, LogLevel::Warn, LogLevel::Error};
    for (LogLevel threshold : levels) {
        std::ostringstream out;
        Logger log(out, threshold, LogFormat::Logfmt, Fixed);
        std::string expected;
        for (LogLevel level : levels) {
            log.Log(level, "m");
            if (level >= threshold)
                expected += "ts=2026-12-07T15:04:05.123Z level=" + std::string(LogLevelName(level)) + " msg=m\n";
        }
        EXPECT_EQ(out.str(), expected);
    }
}

TEST(Log, RepeatedWarningsAreSummedUp)
{
    std::ostringstream out;
    auto now = Fixed();
    {
        Logger log(out, LogLevel::Info, LogFormat::Logfmt, [&now] { return now; });
        for (int i = 0; i < 1000; ++i)
            log.Log(LogLevel::Warn, "Probe not sent", {{"target", "0.0.0.1:60000"}});
        log.Log(LogLevel::Warn, "Another warning");
        log.Log(LogLevel::Info, "Not limited");
        now += Logger::RepeatInterval;
        log.Log(LogLevel::Warn, "Probe not sent");  // a new interval
        for (int i = 0; i < 15; ++i)
            log.Log(LogLevel::Warn, "Probe not sent");
    }  // the rest summed up at the end
    const std::string text = out.str();
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 2 * Logger::RepeatLimit + 2 + 2);
    EXPECT_NE(text.find("msg=\"Repeated lines left out\" repeated_msg=\"Probe not sent\" count=990 interval=60s"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("repeated_msg=\"Probe not sent\" count=6 "), std::string::npos) << text;
}

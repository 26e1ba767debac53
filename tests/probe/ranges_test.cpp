// The Monitoring Plugins range syntax and the -t option.
#include "tools/probe/check.h"
#include "tools/probe/ranges.h"

#include <gtest/gtest.h>

using namespace kprobe;

TEST(PluginRanges, AlertsAsTheGuidelinesSay)
{
    struct Case {
        const char *range;
        double value;
        bool alerts;
    };
    const Case cases[] = {
        {"10", -1, true},     {"10", 0, false},     {"10", 10, false},   {"10", 10.5, true},
        {"10:", 9, true},     {"10:", 10, false},   {"10:", 1e9, false}, {"~:10", -1e9, false},
        {"~:10", 10, false},  {"~:10", 11, true},   {"10:20", 9, true},  {"10:20", 10, false},
        {"10:20", 20, false}, {"10:20", 21, true},  {"@10:20", 9, false}, {"@10:20", 10, true},
        {"@10:20", 20, true}, {"@10:20", 21, false}, {"@10", 0, true},   {"@10", 11, false},
        {"-5:-1", -3, false}, {"-5:-1", 0, true},   {":5", 6, true},     {"2.5", 2.6, true},
        {"@~:0", -1, true},   {"0:0", 1, true},
    };
    for (const Case &c : cases) {
        Range r;
        std::string error;
        ASSERT_TRUE(ParseRange(c.range, r, error)) << c.range << ": " << error;
        EXPECT_EQ(r.Alerts(c.value), c.alerts) << c.range << " with " << c.value;
        EXPECT_EQ(r.text, c.range);
    }
}

TEST(PluginRanges, BadRangesAreRefused)
{
    for (const char *text : {"", "@", "abc", "20:10", "~", "1:x", "x:1", "inf", "nan", "0x10", "10::", "~:~"}) {
        Range r;
        std::string error;
        EXPECT_FALSE(ParseRange(text, r, error)) << text;
        EXPECT_NE(error.find("bad range"), std::string::npos) << text;
    }
}

TEST(PluginRanges, TimeoutWithState)
{
    struct Case {
        const char *text;
        bool ok;
        double seconds;
        PluginState state;
    };
    const Case cases[] = {
        {"5", true, 5, StateCritical},         {"2.5:unknown", true, 2.5, StateUnknown},
        {"1:OK", true, 1, StateOk},            {"1:Warning", true, 1, StateWarning},
        {"1:3", true, 1, StateUnknown},        {"60", true, 60, StateCritical},
        {"0", false, 0, StateCritical},        {"61", false, 0, StateCritical},
        {"-1", false, 0, StateCritical},       {"5:sometimes", false, 0, StateCritical},
        {"", false, 0, StateCritical},         {"1e1", false, 0, StateCritical},
    };
    for (const Case &c : cases) {
        double s = -1;
        PluginState st = StateOk;
        std::string error;
        EXPECT_EQ(ParseTimeoutOption(c.text, s, st, error), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(s, c.seconds) << c.text;
            EXPECT_EQ(st, c.state) << c.text;
        }
    }
}

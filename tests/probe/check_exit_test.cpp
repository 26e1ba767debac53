// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The check command end to end on loopback: its exit code for every kind of
// reply a print server can give, as a monitoring system reads it.
#include "tests/probe/records.h"
#include "tests/probe/scripted_server.h"
#include "probe/cli.h"

#include <gtest/gtest.h>

#include <sstream>
#include <tuple>

using namespace kprobe;

TEST(CheckCommand, ExitCodesForEveryKindOfReply)
{
    const auto full = [](std::vector<PrinterRecord> printers) { return ReplyBytes(Reply(printers).reply); };
    const PrinterRecord ready = Record("Ready"), busy = Record("Busy", 0x8C, 2, 40);
    struct Case {
        const char *what;
        std::vector<std::uint8_t> answer;
        std::vector<const char *> options;
        int code;
        const char *start;
    };
    const Case cases[] = {
        {"all ready", full({ready, busy}), {}, 0, "KESTRUM OK: 2 of 2 printers ready"},
        {"paper out", full({ready, Record("Paper", 0xA0, 1)}), {}, 1, "KESTRUM WARNING: Paper PAPER OUT"},
        {"fault", full({Record("Jam", 0x84)}), {}, 1, "KESTRUM WARNING: Jam ERROR"},
        {"off line", full({Record("Off", 0x7F), ready}), {}, 2, "KESTRUM CRITICAL: Off OFFLINE"},  // worst first
        {"off line ignored", full({ready, Record("Off", 0x7F)}), {"--ignore-offline"}, 0, "KESTRUM OK: "},
        {"jobs over -w", full({busy}), {"-w", "1", "-c", "5"}, 1, "KESTRUM WARNING: Busy 2 jobs queued (warning 1)"},
        {"jobs over -c",
         full({busy, ready}),
         {"-w", "1", "-c", "1"},
         2,
         "KESTRUM CRITICAL: Busy 2 jobs queued (critical 1)"},
        {"silent", {}, {"-t", "0.2"}, 2, "KESTRUM CRITICAL: no reply from 127.0.0.1:"},
        {"silent, UNKNOWN asked", {}, {"-t", "0.2:unknown"}, 3, "KESTRUM UNKNOWN: no reply from"},
        {"silent, WARNING asked", {}, {"-t", "0.2:warning"}, 1, "KESTRUM WARNING: no reply from"},
        {"oversized", ReplyBytes(Reply({ready}).reply, 961), {}, 3, "KESTRUM UNKNOWN: malformed reply"},
        {"short", ReplyBytes(Reply({ready}).reply, 130), {}, 3, "KESTRUM UNKNOWN: malformed reply"},
        {"one byte", {0x55}, {}, 3, "KESTRUM UNKNOWN: malformed reply from 127.0.0.1:"},
    };
    for (const Case &c : cases) {
        ScriptedServer server(c.answer);
        const std::string host = server.target.Text();
        std::vector<const char *> args = {"kestrum-probe", "check", "-H", host.c_str()};
        args.insert(args.end(), c.options.begin(), c.options.end());
        std::ostringstream out, err;
        const int code = RunCommandLine(ParseCommandLine(static_cast<int>(args.size()), args.data()), out, err);
        EXPECT_EQ(code, c.code) << c.what << "\n" << out.str() << err.str();
        EXPECT_EQ(out.str().rfind(c.start, 0), 0u) << c.what << "\n" << out.str();
        EXPECT_EQ(err.str(), "") << c.what;  // a plugin says everything on stdout
        EXPECT_EQ(server.requests, 1) << c.what;
    }
}

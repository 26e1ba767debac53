// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "cmdline/validators.h"

#include <cstdio>

namespace kcmd {

CLI::Validator Check(std::function<std::string(const std::string &)> complaint)
{
    return CLI::Validator([complaint](std::string &value) { return complaint(value); }, std::string());
}

int ParseToolLine(CLI::App &app, int argc, char **argv, const char *program)
{
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp &) {
        std::printf("%s", app.help().c_str());
        return -1;
    } catch (const CLI::ParseError &e) {
        std::fprintf(stderr, "%s: %s\n%s", program, e.what(), app.help().c_str());
        return 64;
    }
    return 0;
}

}  // namespace kcmd

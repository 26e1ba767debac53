// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "cmdline/validators.h"

#include "text/numbers.h"

#include <cstdio>
#include <memory>

namespace kcmd {

namespace {

class PlainFormatter : public CLI::Formatter {
public:
    std::string make_option_opts(const CLI::Option *opt) const override
    {
        if (opt->get_type_size() == 0)
            return std::string();
        return " " + opt->get_type_name();
    }
};

std::string Argument(const std::string &arg)
{
    return (!arg.empty() && arg[0] == '-' ? "unknown option '" : "unexpected argument '") + arg + "'";
}

}  // namespace

CLI::Validator Check(std::function<std::string(const std::string &)> complaint)
{
    return CLI::Validator([complaint](std::string &value) { return complaint(value); }, std::string());
}

CLI::Validator Whole(long lo, long hi, const std::string &what)
{
    return Check([=](const std::string &v) {
        return ktext::ParseWhole<long>(v, lo, hi) ? std::string() : "'" + v + "' is " + what;
    });
}

void Style(CLI::App &app, std::size_t columnWidth)
{
    auto formatter = std::make_shared<PlainFormatter>();
    formatter->column_width(columnWidth);
    app.formatter(formatter);
}

std::string Complaint(const CLI::ParseError &error)
{
    const std::string what = error.what();
    if (dynamic_cast<const CLI::ArgumentMismatch *>(&error))
        return what.substr(0, what.find(':')) + " needs a value";
    if (dynamic_cast<const CLI::ExtrasError *>(&error)) {
        const std::size_t colon = what.find(": ");
        const std::string rest = colon == std::string::npos ? what : what.substr(colon + 2);
        return Argument(rest.substr(0, rest.find(' ')));
    }
    return what;
}

std::string LeftOver(const CLI::App &app)
{
    const std::vector<std::string> extra = app.remaining();
    return extra.empty() ? std::string() : Argument(extra.front());
}

int ParseToolLine(CLI::App &app, int argc, char **argv, const char *program)
{
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp &) {
        std::printf("%s", app.help().c_str());
        return -1;
    } catch (const CLI::ParseError &e) {
        std::fprintf(stderr, "%s: %s\n%s", program, Complaint(e).c_str(), app.help().c_str());
        return 64;
    }
    return 0;
}

}  // namespace kcmd

// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The checks every program's command line makes on CLI11, so that each one
// words a refused value the same way: "OPTION: 'TEXT' is not ...".
#pragma once
#include <CLI/CLI.hpp>

#include <algorithm>
#include <cstddef>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace kcmd {

// A check only: CLI11 stores the value in the option's variable once every
// check has passed. The complaint (empty: accepted) follows "OPTION: ".
CLI::Validator Check(std::function<std::string(const std::string &)> complaint);

template <typename T>
using NamedValues = std::vector<std::pair<std::string, T>>;

// The names joined: "a|b|c" with ("|", "|"), "a, b or c" with (", ", " or ").
template <typename T>
std::string NameList(const NamedValues<T> &names, const char *between, const char *last)
{
    std::string list;
    for (std::size_t i = 0; i < names.size(); ++i)
        list += (i == 0 ? "" : i + 1 == names.size() ? last : between) + names[i].first;
    return list;
}

// One of a few named values, turned into its value by CLI11's checked
// transformer; anything else is "'TEXT' is not a, b or c". The transformer
// alone would also take the values' numbers, which are no names.
template <typename T>
CLI::Validator Named(const NamedValues<T> &names)
{
    const CLI::CheckedTransformer transform(names);
    const std::string list = NameList(names, ", ", " or ");
    return CLI::Validator(
        [transform, names, list](std::string &value) {
            const auto named = [&value](const std::pair<std::string, T> &n) { return n.first == value; };
            const std::string complaint = "'" + value + "' is not " + list;
            if (std::none_of(names.begin(), names.end(), named))
                return complaint;
            return transform(value).empty() ? std::string() : complaint;
        },
        std::string());
}

// A whole number from lo to hi, or "'TEXT' is <what>".
CLI::Validator Whole(long lo, long hi, const std::string &what);

// The house style of every program's help: an option shows its value's name
// alone ("--port N"), without CLI11's notation (types, ranges, "REQUIRED", "...").
void Style(CLI::App &app, std::size_t columnWidth = 30);

// A parse error in the programs' words: "OPTION needs a value", "unknown option
// '--x'", "unexpected argument 'x'", or the message of a refused value as it is.
std::string Complaint(const CLI::ParseError &error);

// With extras allowed: "unknown option 'ARG'" or "unexpected argument 'ARG'" for
// the first argument the line left over; empty when none.
std::string LeftOver(const CLI::App &app);

// Parses a developer tool's line: 0 to go on, -1 when the help was printed
// (stdout), 64 with the complaint and the help on stderr.
int ParseToolLine(CLI::App &app, int argc, char **argv, const char *program);

}  // namespace kcmd

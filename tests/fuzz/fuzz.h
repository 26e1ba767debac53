// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// What the fuzz targets share: a check that stops the run with a message (a finding), and ASan's poisoning of
// bytes a routine must not read.
#pragma once
#include <sanitizer/asan_interface.h>

#include <cstdio>
#include <cstdlib>
#include <string>

[[noreturn]] inline void FuzzFailure(const char *what, const char *file, int line, const std::string &detail = {})
{
    std::fprintf(stderr, "fuzz check failed: %s (%s:%d) %s\n", what, file, line, detail.c_str());
    std::abort();
}

// FUZZ_CHECK(condition[, detail]): a finding unless the condition holds.
#define FUZZ_CHECK(cond, ...) ((cond) ? void() : FuzzFailure(#cond, __FILE__, __LINE__, ##__VA_ARGS__))

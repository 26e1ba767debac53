// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "cmdline/validators.h"

namespace kcmd {

CLI::Validator Check(std::function<std::string(const std::string &)> complaint)
{
    return CLI::Validator([complaint](std::string &value) { return complaint(value); }, std::string());
}

}  // namespace kcmd

// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// A security setting must mean one thing. YAML readers keep the first (or the
// last) of two equal keys without a word, so an empty `basic_auth_users:`
// above the real block would switch authentication off. This reads the text
// once more, as events, and refuses what could be read two ways.
#pragma once
#include <string>

namespace kprobe {

// False with a reason (and its line) for: a key given twice in one map at any
// level, an anchor, an alias or a merge key (`<<`), a key that is not plain
// text, or more than one document.
bool CheckStrictYaml(const std::string &text, std::string &error);

}  // namespace kprobe

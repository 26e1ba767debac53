#!/bin/sh
# SPDX-FileCopyrightText: 2026 The USB Kestrum developers
# SPDX-License-Identifier: GPL-3.0-or-later
# promtool on the alerting rules, SKIPPED (77) where Debian's prometheus is missing.
#   promtool_test.sh check RULES_FILE      the rules are valid
#   promtool_test.sh test TEST_FILE...     their unit tests pass
set -eu
command -v promtool >/dev/null || { echo "SKIP: needs promtool (Debian's prometheus)"; exit 77; }
what=$1
shift
exec promtool "$what" rules "$@"

#!/bin/bash
# SPDX-FileCopyrightText: 2026 The USB Kestrum developers
# SPDX-License-Identifier: GPL-3.0-or-later
# Formats the tree's C++ files with clang-format 14 and the checked-in
# .clang-format; --check only lists the files it would change.
set -euo pipefail
cd "$(dirname "$0")/.."

usage() {
  cat <<'TEXT'
usage: scripts/format.sh [--check] [FILE...]
Formats the C++ files git knows (or the FILEs given) with clang-format 14 and
.clang-format. With --check nothing is written: the files it would change are
listed, and the exit code is 1 when there is any.
TEXT
}

check=0
case "${1:-}" in
  -h|--help) usage; exit 0 ;;
  --check) check=1; shift ;;
  -*) echo "format.sh: unknown option $1 (try --help)" >&2; exit 64 ;;
esac

formatter=$(command -v clang-format-14 || command -v clang-format || true)
if [ -z "$formatter" ]; then
  echo "format.sh: clang-format 14 is missing (apt-get install clang-format-14)" >&2
  exit 1
fi

if [ $# -gt 0 ]; then
  files=("$@")
else
  mapfile -t files < <(git ls-files '*.cpp' '*.h')
fi

if [ "$check" = 0 ]; then
  "$formatter" --style=file -i "${files[@]}"
  exit 0
fi
changed=0
for f in "${files[@]}"; do
  if ! "$formatter" --style=file "$f" | cmp -s - "$f"; then
    echo "$f"
    changed=$((changed + 1))
  fi
done
[ "$changed" = 0 ] || echo "format.sh: $changed of ${#files[@]} files would change" >&2
[ "$changed" = 0 ]

#!/usr/bin/env python3
# SPDX-FileCopyrightText: 2026 The USB Kestrum developers
# SPDX-License-Identifier: GPL-3.0-or-later
"""Lists the longest C++ functions of the tree, by a brace counter.

A function runs from the first line of its header to its closing brace;
lambdas and local classes count as part of the function around them.
Comments and string literals are blanked out first, so braces inside them
do not count.
"""
import argparse
import pathlib
import re
import subprocess
import sys

CONTAINER = re.compile(r'^(template\s*<.*>\s*)?(inline\s+)?(namespace|class|struct|union|enum|extern\s+"C")\b', re.S)
SPECIFIER = re.compile(r'^\s*(public|private|protected)\s*:(?!:)')


def blank(text):
    """Directives, comments, string and character literals become spaces; newlines stay."""
    out = []
    i, n = 0, len(text)
    while i < n:
        c = text[i]
        if c == '#' and text[text.rfind('\n', 0, i) + 1:i].strip() == '':
            j = i
            while True:  # a directive, with its continued lines
                j = text.find('\n', j)
                j = n if j < 0 else j
                if j == n or text[j - 1] != '\\':
                    break
                j += 1
            out.append(re.sub(r'[^\n]', ' ', text[i:j]))
            i = j
        elif text.startswith('//', i):
            j = text.find('\n', i)
            j = n if j < 0 else j
            out.append(' ' * (j - i))
            i = j
        elif text.startswith('/*', i):
            j = text.find('*/', i + 2)
            j = n if j < 0 else j + 2
            out.append(re.sub(r'[^\n]', ' ', text[i:j]))
            i = j
        elif c == 'R' and text.startswith('R"', i) and (i == 0 or not (text[i - 1].isalnum() or text[i - 1] == '_')):
            delim = text[i + 2:text.find('(', i)]
            j = text.find(')' + delim + '"', i)
            j = n if j < 0 else j + len(delim) + 2
            out.append('""' + re.sub(r'[^\n]', ' ', text[i + 2:j]))
            i = j
        elif c in '"\'' and not (c == "'" and i > 0 and text[i - 1].isalnum() and text[i + 1:i + 2].isalnum()):
            j = i + 1
            while j < n and text[j] != c and text[j] != '\n':
                j += 2 if text[j] == '\\' else 1
            out.append(c + ' ' * (min(j, n) - i - 1) + (c if j < n else ''))
            i = j + 1
        else:
            out.append(c)
            i += 1
    return ''.join(out)


def matching(text, i):
    """Index of the brace that closes the one at i."""
    depth = 0
    for j in range(i, len(text)):
        if text[j] == '{':
            depth += 1
        elif text[j] == '}':
            depth -= 1
            if depth == 0:
                return j
    return len(text) - 1


def functions(text, start=0, end=None):
    """(first offset, last offset, header) of every function in text[start:end]."""
    end = len(text) if end is None else end
    found = []
    head = start
    i = start
    while i < end:
        c = text[i]
        if c in ';}':
            head = i + 1
        elif c == ':' and SPECIFIER.match(text[head:i + 1]):
            head = i + 1
        elif c == '{':
            header = text[head:i].strip()
            close = matching(text, i)
            kind = classify(header)
            if kind == 'container':
                found += functions(text, i + 1, close)
                head = close + 1
            elif kind == 'function':
                found.append((head + len(text[head:i]) - len(text[head:i].lstrip()), close, header))
                head = close + 1
            i = close  # an initializer: its braces are skipped, the statement goes on
        i += 1
    return found


def classify(header):
    if CONTAINER.match(header):
        return 'container' if not header.lstrip().startswith('enum') else 'data'
    if '(' not in header or re.search(r'=\s*$', header):
        return 'data'
    tail = header[header.rfind(')') + 1:]
    # A member's brace initializer in a constructor's list: "a(x), b{y} {".
    if re.search(r'\)\s*:[^:]', header) and '->' not in tail and re.search(r'[\w>]$', header):
        return 'data'
    if re.search(r'[\w>]$', header) and not re.search(r'\b(const|override|final|noexcept|mutable)$', header) \
            and '->' not in tail:
        return 'data'
    return 'function'


def name_of(header):
    flat = ' '.join(header.split())
    m = re.search(r'([~\w:<>]+|operator\s*\S+)\s*\(', flat)
    return m.group(1) if m else flat[:40]


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument('paths', nargs='*', help='files or folders (default: every C++ file git knows)')
    parser.add_argument('--max', type=int, default=60, help='the longest a function may be (default 60 lines)')
    parser.add_argument('--top', type=int, default=10, help='how many of the longest to list (default 10)')
    parser.add_argument('--exclude', action='append', default=[], help='leave out paths starting with this')
    parser.add_argument('--check', action='store_true', help='exit 1 when a function is longer than --max')
    args = parser.parse_args()

    files = subprocess.run(['git', 'ls-files', '--', *(args.paths or ['.'])], capture_output=True, text=True,
                           check=True).stdout.split()
    rows = []
    for name in files:
        if not re.search(r'\.(cpp|h|hpp)$', name) or any(name.startswith(e) for e in args.exclude):
            continue
        text = blank(pathlib.Path(name).read_text(encoding='utf-8', errors='replace'))
        for first, last, header in functions(text):
            line = text.count('\n', 0, first) + 1
            rows.append((text.count('\n', first, last) + 1, name, line, name_of(header)))
    rows.sort(key=lambda r: (-r[0], r[1], r[2]))
    for length, name, line, func in rows[:args.top]:
        print(f'{length:4} {name}:{line} {func}')
    over = [r for r in rows if r[0] > args.max]
    print(f'{len(rows)} functions, {len(over)} over {args.max} lines')
    return 1 if args.check and over else 0


if __name__ == '__main__':
    sys.exit(main())

// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// kestrum-probe: the print servers in scripts, in monitoring plugins and in Prometheus.
#include "probe/cli.h"

#include <iostream>

int main(int argc, char **argv) { return kprobe::ProbeMain(argc, argv, std::cout, std::cerr); }

// kestrum-probe: the print servers in scripts, in monitoring plugins and in Prometheus.
#include "probe/cli.h"

#include <iostream>

int main(int argc, char **argv) { return kprobe::ProbeMain(argc, argv, std::cout, std::cerr); }

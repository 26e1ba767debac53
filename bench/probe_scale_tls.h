// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// probe_scale's client through TLS with basic authentication: one kept-alive
// connection per target, all at once, as Prometheus keeps them between
// scrapes; the first round pays for the handshakes.
#pragma once
#include <memory>
#include <string>
#include <vector>

struct TlsTarget {
    std::string address;
    bool silent;
};

class TlsBatches {
public:
    // caFile: the certificate that vouches for the exporter; user "name:password".
    TlsBatches(int port, const std::string &caFile, const std::string &user, std::size_t connections);
    ~TlsBatches();
    // Asks /probe for every target, one connection each; the answers right.
    int Run(const std::vector<TlsTarget> &targets, double &wall);

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

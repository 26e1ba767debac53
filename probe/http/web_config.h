// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The web configuration file that Prometheus' exporters share
// (--web.config.file): TLS for the server, client certificates, and users
// with bcrypt-hashed passwords for basic authentication.
#pragma once
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace kprobe {

// client_auth_type, as the format names its values.
enum class ClientAuth {
    NoClientCert,
    RequestClientCert,
    RequireAnyClientCert,
    VerifyClientCertIfGiven,
    RequireAndVerifyClientCert
};

// The format's own name of a value ("RequireAndVerifyClientCert").
const char *ClientAuthName(ClientAuth auth);

struct TlsServerConfig {
    std::string certPem;      // from cert_file or cert
    std::string keyPem;       // from key_file or key
    std::string clientCaPem;  // from client_ca_file or client_ca; empty when none
    ClientAuth clientAuth = ClientAuth::NoClientCert;
    std::string minVersion = "TLS12";  // TLS10 to TLS13
    std::string maxVersion = "TLS13";
};

struct WebConfig {
    std::optional<TlsServerConfig> tls;
    std::map<std::string, std::string> users;  // user -> bcrypt hash; empty: no authentication
    std::vector<std::string> warnings;         // what the exporter logs at start
};

// Parses the YAML text; relative file names are taken from baseDir (the
// configuration file's folder). Every file named is read. False with a reason
// on anything the format does not allow, that this exporter cannot honour, or
// that could be read two ways (a key given twice).
bool ParseWebConfig(const std::string &text, const std::string &baseDir, WebConfig &config, std::string &error);

// The same from a file.
bool LoadWebConfig(const std::string &path, WebConfig &config, std::string &error);

}  // namespace kprobe

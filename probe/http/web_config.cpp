// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "probe/http/web_config.h"

#include "probe/http/tls.h"

#include <crypt.h>
#include <yaml-cpp/yaml.h>

#include <fstream>
#include <set>
#include <sstream>

namespace kprobe {

namespace {

bool ReadFile(const std::string &path, std::string &text, std::string &error)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream buffer;
    if (!in || !(buffer << in.rdbuf())) {
        error = "cannot read " + path;
        return false;
    }
    text = buffer.str();
    return true;
}

std::string Resolve(const std::string &baseDir, const std::string &name)
{
    return name.empty() || name[0] == '/' || baseDir.empty() ? name : baseDir + "/" + name;
}

bool OnlyKeys(const YAML::Node &map, const std::set<std::string> &known, const std::string &where, std::string &error)
{
    for (const auto &entry : map) {
        const std::string key = entry.first.as<std::string>();
        if (!known.count(key)) {
            error = where + ": unknown or unsupported field '" + key + "'";
            return false;
        }
    }
    return true;
}

// A PEM text given inline or as a file name, never both.
bool Pem(const YAML::Node &tls, const char *inlineKey, const char *fileKey, const std::string &baseDir,
         std::string &pem, std::string &error)
{
    if (tls[inlineKey] && tls[fileKey]) {
        error = std::string("tls_server_config: give ") + inlineKey + " or " + fileKey + ", not both";
        return false;
    }
    if (tls[inlineKey]) {
        pem = tls[inlineKey].as<std::string>();
        return true;
    }
    if (tls[fileKey])
        return ReadFile(Resolve(baseDir, tls[fileKey].as<std::string>()), pem, error);
    return true;
}

bool ParseClientAuth(const std::string &text, ClientAuth &auth)
{
    static const std::map<std::string, ClientAuth> names = {
        {"NoClientCert", ClientAuth::NoClientCert},
        {"RequestClientCert", ClientAuth::RequestClientCert},
        {"RequireAnyClientCert", ClientAuth::RequireAnyClientCert},
        {"VerifyClientCertIfGiven", ClientAuth::VerifyClientCertIfGiven},
        {"RequireAndVerifyClientCert", ClientAuth::RequireAndVerifyClientCert}};
    const auto it = names.find(text);
    if (it == names.end())
        return false;
    auth = it->second;
    return true;
}

bool ParseTls(const YAML::Node &node, const std::string &baseDir, TlsServerConfig &tls, std::string &error)
{
    if (!node.IsMap()) {
        error = "tls_server_config: not a map";
        return false;
    }
    if (!OnlyKeys(node,
                  {"cert", "key", "client_ca", "cert_file", "key_file", "client_auth_type", "client_ca_file",
                   "min_version", "max_version"},
                  "tls_server_config", error))
        return false;
    if (!Pem(node, "cert", "cert_file", baseDir, tls.certPem, error) ||
        !Pem(node, "key", "key_file", baseDir, tls.keyPem, error) ||
        !Pem(node, "client_ca", "client_ca_file", baseDir, tls.clientCaPem, error))
        return false;
    if (tls.certPem.empty() || tls.keyPem.empty()) {
        error = "tls_server_config: cert_file and key_file are both required";
        return false;
    }
    if (node["client_auth_type"] && !ParseClientAuth(node["client_auth_type"].as<std::string>(), tls.clientAuth)) {
        error = "tls_server_config: client_auth_type '" + node["client_auth_type"].as<std::string>() +
                "' is not one of NoClientCert, RequestClientCert, RequireAnyClientCert, "
                "VerifyClientCertIfGiven, RequireAndVerifyClientCert";
        return false;
    }
    if (tls.clientAuth != ClientAuth::NoClientCert && tls.clientCaPem.empty()) {
        error = "tls_server_config: client_auth_type needs client_ca_file";
        return false;
    }
    if (node["min_version"])
        tls.minVersion = node["min_version"].as<std::string>();
    if (node["max_version"])
        tls.maxVersion = node["max_version"].as<std::string>();
    return CheckTlsConfig(tls, error);
}

bool ParseUsers(const YAML::Node &node, std::map<std::string, std::string> &users, std::string &error)
{
    if (!node.IsMap()) {
        error = "basic_auth_users: not a map of user: bcrypt hash";
        return false;
    }
    for (const auto &entry : node) {
        const std::string user = entry.first.as<std::string>();
        const std::string hash = entry.second.IsScalar() ? entry.second.as<std::string>() : std::string();
        const bool bcrypt = hash.rfind("$2y$", 0) == 0 || hash.rfind("$2b$", 0) == 0 || hash.rfind("$2a$", 0) == 0;
        const int check = crypt_checksalt(hash.c_str());
        if (user.empty() || user.find(':') != std::string::npos) {
            error = "basic_auth_users: '" + user + "' is not a user name (empty, or with a colon)";
            return false;
        }
        if (!bcrypt || (check != CRYPT_SALT_OK && check != CRYPT_SALT_METHOD_LEGACY)) {
            error = "basic_auth_users: the password of '" + user + "' is not a bcrypt hash ($2y$, $2b$ or $2a$)";
            return false;
        }
        users[user] = hash;
    }
    return true;
}

}  // namespace

bool ParseWebConfig(const std::string &text, const std::string &baseDir, WebConfig &config, std::string &error)
{
    WebConfig parsed;
    try {
        const YAML::Node root = YAML::Load(text);
        if (root.IsNull()) {
            config = parsed;  // an empty file: plain HTTP, nobody asked for a password
            return true;
        }
        if (!root.IsMap()) {
            error = "not a map of settings";
            return false;
        }
        if (!OnlyKeys(root, {"tls_server_config", "basic_auth_users"}, "web configuration", error))
            return false;
        if (root["tls_server_config"] && !root["tls_server_config"].IsNull()) {
            parsed.tls.emplace();
            if (!ParseTls(root["tls_server_config"], baseDir, *parsed.tls, error))
                return false;
        }
        if (root["basic_auth_users"] && !root["basic_auth_users"].IsNull() &&
            !ParseUsers(root["basic_auth_users"], parsed.users, error))
            return false;
    } catch (const YAML::Exception &e) {
        error = std::string("not valid YAML: ") + e.what();
        return false;
    }
    config = parsed;
    return true;
}

bool LoadWebConfig(const std::string &path, WebConfig &config, std::string &error)
{
    std::string text;
    if (!ReadFile(path, text, error)) {
        error = "--web.config.file: " + error;
        return false;
    }
    const std::size_t slash = path.rfind('/');
    const std::string baseDir = slash == std::string::npos ? std::string() : path.substr(0, slash);
    if (!ParseWebConfig(text, baseDir, config, error)) {
        error = "--web.config.file " + path + ": " + error;
        return false;
    }
    return true;
}

}  // namespace kprobe

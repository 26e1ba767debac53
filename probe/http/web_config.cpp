// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "probe/http/web_config.h"

#include "probe/http/auth.h"
#include "probe/http/strict_yaml.h"
#include "probe/http/tls.h"

#include <sys/stat.h>
#include <yaml-cpp/yaml.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <set>
#include <sstream>

namespace kprobe {

namespace {

bool ReadFile(const std::string &path, std::string &text, std::string &error)
{
    errno = 0;
    std::ifstream in(path, std::ios::binary);
    std::ostringstream buffer;
    if (!in || !(buffer << in.rdbuf())) {
        // The system's reason, when it gave one: a missing file, no permission.
        error = "cannot read " + path + (errno ? std::string(": ") + std::strerror(errno) : std::string());
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

// A private key that every user of the host can read is no secret.
void WarnIfOthersRead(const YAML::Node &tls, const std::string &baseDir, WebConfig &config)
{
    if (!tls["key_file"])
        return;
    const std::string path = Resolve(baseDir, tls["key_file"].as<std::string>());
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0 && (st.st_mode & S_IROTH))
        config.warnings.push_back("tls_server_config: key_file " + path +
                                  " can be read by every user of this host; make it readable by the exporter only");
}

const char *const ClientAuthNames[] = {"NoClientCert", "RequestClientCert", "RequireAnyClientCert",
                                       "VerifyClientCertIfGiven", "RequireAndVerifyClientCert"};

bool ParseClientAuth(const std::string &text, ClientAuth &auth)
{
    for (int i = 0; i < 5; ++i) {
        if (text == ClientAuthNames[i]) {
            auth = static_cast<ClientAuth>(i);
            return true;
        }
    }
    return false;
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
        std::string why;
        if (user.empty() || user.find_first_of(std::string(":\0", 2)) != std::string::npos) {
            error = "basic_auth_users: '" + user + "' is not a user name (empty, or with a colon)";
            return false;
        }
        if (!CheckBcryptHash(hash, why)) {
            error = "basic_auth_users: the password of '" + user + "' is not a bcrypt hash we can check: " + why;
            return false;
        }
        users[user] = hash;
    }
    return true;
}

}  // namespace

const char *ClientAuthName(ClientAuth auth) { return ClientAuthNames[static_cast<int>(auth)]; }

bool ParseWebConfig(const std::string &text, const std::string &baseDir, WebConfig &config, std::string &error)
{
    WebConfig parsed;
    if (!CheckStrictYaml(text, error))
        return false;
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
            WarnIfOthersRead(root["tls_server_config"], baseDir, parsed);
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

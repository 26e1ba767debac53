// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "probe/http/tls.h"

#include <gnutls/gnutls.h>
#include <gnutls/x509.h>

#include <memory>

namespace kprobe {

namespace {

const char *const Versions[] = {"TLS10", "TLS11", "TLS12", "TLS13"};
const char *const GnutlsVersions[] = {"VERS-TLS1.0", "VERS-TLS1.1", "VERS-TLS1.2", "VERS-TLS1.3"};

int VersionIndex(const std::string &name)
{
    for (int i = 0; i < 4; ++i)
        if (name == Versions[i])
            return i;
    return -1;
}

gnutls_datum_t Datum(const std::string &text)
{
    return gnutls_datum_t{reinterpret_cast<unsigned char *>(const_cast<char *>(text.data())),
                          static_cast<unsigned>(text.size())};
}

struct CredentialsFree {
    void operator()(gnutls_certificate_credentials_t c) const { gnutls_certificate_free_credentials(c); }
};

}  // namespace

bool CheckTlsConfig(const TlsServerConfig &tls, std::string &error)
{
    const int lo = VersionIndex(tls.minVersion), hi = VersionIndex(tls.maxVersion);
    if (lo < 0 || hi < 0 || lo > hi) {
        error = "tls_server_config: min_version '" + tls.minVersion + "' and max_version '" + tls.maxVersion +
                "' are not TLS10 to TLS13, lowest first";
        return false;
    }
    gnutls_certificate_credentials_t raw = nullptr;
    if (gnutls_certificate_allocate_credentials(&raw) != GNUTLS_E_SUCCESS) {
        error = "cannot set up TLS";
        return false;
    }
    std::unique_ptr<gnutls_certificate_credentials_st, CredentialsFree> credentials(raw);
    const gnutls_datum_t cert = Datum(tls.certPem), key = Datum(tls.keyPem);
    int rc = gnutls_certificate_set_x509_key_mem(raw, &cert, &key, GNUTLS_X509_FMT_PEM);
    if (rc < 0) {
        error = std::string("tls_server_config: the certificate and key do not load together: ") + gnutls_strerror(rc);
        return false;
    }
    if (!tls.clientCaPem.empty()) {
        const gnutls_datum_t ca = Datum(tls.clientCaPem);
        rc = gnutls_certificate_set_x509_trust_mem(raw, &ca, GNUTLS_X509_FMT_PEM);
        if (rc <= 0) {
            error = "tls_server_config: the client CA holds no certificate";
            return false;
        }
    }
    return true;
}

std::string TlsPriorities(const TlsServerConfig &tls)
{
    std::string p = "NORMAL:-VERS-ALL";
    const int lo = VersionIndex(tls.minVersion), hi = VersionIndex(tls.maxVersion);
    for (int i = hi; i >= lo && i >= 0; --i)
        p += std::string(":+") + GnutlsVersions[i];
    return p;
}

bool ClientCertificateAccepted(void *sessionPointer, ClientAuth policy, std::string &why)
{
    if (policy == ClientAuth::NoClientCert || policy == ClientAuth::RequestClientCert)
        return true;
    auto session = static_cast<gnutls_session_t>(sessionPointer);
    unsigned count = 0;
    const bool given = session && gnutls_certificate_get_peers(session, &count) != nullptr && count > 0;
    if (!given) {
        why = "a client certificate is required\n";
        return policy == ClientAuth::VerifyClientCertIfGiven;
    }
    if (policy == ClientAuth::RequireAnyClientCert)
        return true;
    // Signed by the CA and fit for client authentication: a certificate
    // whose extended key usage names server use only is not a client's.
    gnutls_typed_vdata_st purpose{GNUTLS_DT_KEY_PURPOSE_OID,
                                  reinterpret_cast<unsigned char *>(const_cast<char *>(GNUTLS_KP_TLS_WWW_CLIENT)), 0};
    unsigned status = 0;
    if (gnutls_certificate_verify_peers(session, &purpose, 1, &status) != GNUTLS_E_SUCCESS || status != 0) {
        why = status & GNUTLS_CERT_PURPOSE_MISMATCH ? "the client certificate is not for client authentication\n"
                                                    : "the client certificate is not signed by the configured CA\n";
        return false;
    }
    return true;
}

}  // namespace kprobe

// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The TLS side of the web configuration, with GnuTLS: that the key pair and
// the versions can be used, the priority string they make, and whether a
// connection's client certificate passes the configured policy.
#pragma once
#include "probe/http/web_config.h"

#include <string>

namespace kprobe {

// False with a reason when the certificate and key do not load together,
// the client CA does not load, or a version is not TLS10 to TLS13.
bool CheckTlsConfig(const TlsServerConfig &tls, std::string &error);

// GnuTLS' priority string for the configured versions.
std::string TlsPriorities(const TlsServerConfig &tls);

// Whether the client of a TLS session (a gnutls_session_t) may go on under
// the policy; false with a reason otherwise.
bool ClientCertificateAccepted(void *session, ClientAuth policy, std::string &why);

}  // namespace kprobe

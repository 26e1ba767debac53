// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The worker thread's whole run: wait for the notice, discover servers, hand
// the choice to the window thread, then poll the chosen server once a second.
#pragma once
#include "link/protocol.h"
#include "link/worker_host.h"
#include "platform/socket.h"

#include <memory>

constexpr const char *CreateSocketFailedText = "Create Socket Failed!\n";
constexpr const char *ConnectFailedText = "Connect Failed!\n";

// The thread body. It only posts to the windows, asks whether they are
// enabled and shows boxes owned by the main window; it ends on the stop event
// (posting nothing), on the user's refusal or on the first network failure
// (both close the main window). The exit code is 0 and read by nobody.
unsigned StatusWorker(std::shared_ptr<WorkerHost> host, const LinkEndpoints &ep);

// One status reply off the polling socket, by the protocol's receive rules: a
// fresh buffer, zero-filled, takes in at most 960 bytes (bytes the datagram does
// not cover stay zero). Null when the receive fails, a datagram longer than 960
// bytes included. The buffer is the one the worker posts with WM_STATUS_REPLY.
std::shared_ptr<StatusReply> ReceiveStatusReply(platform::UdpSocket &socket);

// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The private messages between the worker and the windows.
#pragma once
#include "platform/win_types.h"

constexpr platform::UINT WM_STATUS_REPLY = platform::WM_USER + 100;  // wParam: const StatusReply*
constexpr platform::UINT WM_SHOW_DETAILS = platform::WM_USER + 101;  // wParam: const PrinterRecord*
constexpr platform::UINT WM_ASK_SERVER_ADDRESS = platform::WM_USER + 102;
constexpr platform::UINT WM_CHOOSE_SERVER = platform::WM_USER + 103;
constexpr platform::UINT WM_ADD_SERVER = platform::WM_USER + 104;  // wParam: const char* dotted text

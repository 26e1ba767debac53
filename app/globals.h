// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The handles the main window's set-up creates and its shutdown releases.
#pragma once
#include "platform/event.h"
#include "platform/thread.h"

class QPixmap;

extern platform::EventHandle g_hStopEvent;
extern platform::EventHandle g_hChoiceEvent;
extern platform::ThreadHandle g_hWorkerThread;
extern QPixmap *g_hExitBitmap;
extern QPixmap *g_hBannerBitmap;

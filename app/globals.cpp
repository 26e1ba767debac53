// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/globals.h"

platform::EventHandle g_hStopEvent;
platform::EventHandle g_hChoiceEvent;
platform::ThreadHandle g_hWorkerThread;
QPixmap *g_hExitBitmap = nullptr;
QPixmap *g_hBannerBitmap = nullptr;

// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The product's name, in the two parts its texts are built from.
#pragma once
#include <QString>

inline QString ProductLine() { return QStringLiteral("USB"); }
inline QString ProductName() { return QStringLiteral(" Kestrum"); }

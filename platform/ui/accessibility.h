// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// What assistive technology reads of the controls: names and roles given by the
// layer, the way the window system gives them, not set control by control.
#pragma once
#include "res/dialog_templates.h"

#include <QString>
#include <cstddef>
#include <functional>
#include <utility>
#include <vector>

class QPixmap;
class QPushButton;
class QSize;
class QWidget;

namespace platform {

using ControlList = std::vector<std::pair<int, QWidget *>>;

// The template entry that labels entry `index`: the static text just before it
// in the tab order, taken as the ring that Tab goes round, passing over buttons
// (they name themselves). -1 when another control or nothing comes first.
int TemplateLabelOf(const DialogTemplate &dialogTemplate, std::size_t index);

// Names the controls built from a template. Buttons and static texts are named
// by their own text; a control that a static text labels, by the label; any
// other, by its owner's short description of it (`describe`, by control id),
// which is never drawn. The four fields of an address control are named after
// it, each with its place.
void NameTemplateControls(const DialogTemplate &dialogTemplate, const ControlList &controls,
                          const std::function<QString(int id)> &describe);

// A bitmap button's face (BM_SETIMAGE): only the bitmap shows; the window text
// stays the button's and names it.
void SetButtonBitmap(QPushButton &button, const QPixmap &bitmap, const QSize &faceSize);

// The layer's own accessible interfaces (the report list view reads as a
// table); safe to call more than once, once the application object exists.
void InstallAccessibleControls();

}  // namespace platform

// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The pictures in res/resources.qrc, by the resource numbers the program's
// windows know them by (see res/art.md).
#pragma once

constexpr int IDR_MAINFRAME = 128;    // the application icon, 16 and 32 px
constexpr int IDB_TREE_IMAGES = 142;  // the printer tree's four images, 16 x 16 each
constexpr int IDB_EXIT_BUTTON = 143;  // the Exit button's face
constexpr int IDB_BANNER = 144;       // the banner at the top of the main window

// The resource path of a picture; nullptr for a number that is none.
constexpr const char *PicturePath(int id)
{
    switch (id) {
    case IDB_TREE_IMAGES: return ":/res/tree_images.png";
    case IDB_EXIT_BUTTON: return ":/res/exit_button.png";
    case IDB_BANNER: return ":/res/banner.png";
    default: return nullptr;
    }
}

// The application icon at 16 or 32 px.
constexpr const char *AppIconPath(int size) { return size == 16 ? ":/res/app_icon_16.png" : ":/res/app_icon_32.png"; }

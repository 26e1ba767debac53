// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The dialog templates: captions, sizes and controls in dialog units of each
// template's font. The window layer builds the widgets from these.
#pragma once
#include <vector>

enum class ControlKind {
    TreeView,  // SysTreeView32
    ListView,  // SysListView32
    Edit,      // multi-line, read-only
    StaticText,
    StaticIcon,
    ListBox,  // single selection, sorted, notify, vertical scroll bar
    PushButton,
    DefPushButton,
    IpAddress,  // four-field IPv4 entry
};

struct ControlTemplate {
    int id;
    ControlKind kind;
    const char *text;
    int x, y, cx, cy;  // dialog units
    bool tabStop;
    bool staticEdge;  // WS_EX_STATICEDGE
};

struct DialogTemplate {
    int id;
    const char *caption;
    int cx, cy;  // dialog units
    const char *fontFace;
    int pointSize;
    bool systemMenu;  // with a close box
    bool centred;     // opens centred over its owner (or the work area)
    std::vector<ControlTemplate> controls;
};

constexpr int IDD_ABOUTBOX = 100;
constexpr int IDD_MONITOR_DIALOG = 102;
constexpr int IDD_SERVER_ADDRESS = 103;
constexpr int IDD_FINDING = 104;
constexpr int IDD_SERVER_LIST = 105;

constexpr int IDC_PRINTER_TREE = 1001;
constexpr int IDC_STATUS_LIST = 1002;
constexpr int IDC_DETAILS_EDIT = 1003;
constexpr int IDC_SERVER_LIST = 1002;
constexpr int IDC_SERVER_IPADDRESS = 1007;
constexpr int IDC_INPUT_LABEL = 1008;
constexpr int IDC_FINDING_TEXT = 1010;
constexpr int IDC_VERSION_TEXT = 1016;
constexpr int IDC_STATIC = -1;

const DialogTemplate &FindDialogTemplate(int id);

// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "res/dialog_templates.h"

#include <cstdlib>

namespace {

const DialogTemplate Templates[] = {
    {IDD_ABOUTBOX,
     "About Vornex Kestrum",
     235,
     55,
     "MS Sans Serif",
     8,
     true,
     true,
     {
         {IDC_STATIC, ControlKind::StaticIcon, "", 11, 17, 20, 20, false, false},
         {IDC_VERSION_TEXT, ControlKind::StaticText, "Vornex Kestrum Ver 1.0", 40, 10, 119, 8, false, false},
         {IDC_STATIC, ControlKind::StaticText, "Print server monitor for USB printers", 40, 25, 119, 8, false, false},
         {1, ControlKind::DefPushButton, "OK", 178, 7, 50, 14, true, false},
     }},
    {IDD_MONITOR_DIALOG,
     "Vornex Kestrum",
     319,
     198,
     "Arial",
     10,
     true,
     false,
     {
         {IDC_PRINTER_TREE, ControlKind::TreeView, "Tree1", 4, 25, 98, 148, true, false},
         {IDC_STATUS_LIST, ControlKind::ListView, "List1", 104, 25, 210, 69, true, false},
         {IDC_DETAILS_EDIT, ControlKind::Edit, "", 104, 95, 210, 78, true, true},
     }},
    {IDD_SERVER_ADDRESS,
     "Please Input IP Address",
     160,
     79,
     "MS Sans Serif",
     8,
     false,
     true,
     {
         {1, ControlKind::DefPushButton, "OK", 97, 55, 29, 11, true, false},
         {IDC_SERVER_IPADDRESS, ControlKind::IpAddress, "", 26, 26, 100, 15, true, false},
         {IDC_INPUT_LABEL, ControlKind::StaticText, "Input Server IP:", 15, 11, 71, 8, false, false},
         {2, ControlKind::PushButton, "Abort", 28, 55, 29, 11, true, false},
     }},
    {IDD_FINDING,
     "Please waiting ...",
     114,
     37,
     "MS Sans Serif",
     8,
     false,
     true,
     {
         {IDC_FINDING_TEXT, ControlKind::StaticText, "Finding Print Server ...", 23, 15, 69, 8, false, false},
     }},
    {IDD_SERVER_LIST,
     "Print Server IP List",
     134,
     127,
     "MS Sans Serif",
     8,
     true,
     true,
     {
         {IDC_SERVER_LIST, ControlKind::ListBox, "", 19, 9, 95, 81, true, false},
         {1, ControlKind::PushButton, "OK", 19, 102, 37, 12, true, false},
         {2, ControlKind::PushButton, "Cancel", 79, 102, 37, 12, true, false},
     }},
};

}  // namespace

const DialogTemplate &FindDialogTemplate(int id)
{
    for (const DialogTemplate &t : Templates)
        if (t.id == id)
            return t;
    std::abort();  // a template id that the program does not have is a build fault
}

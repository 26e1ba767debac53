// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// USB Kestrum: reads no command line; Qt gets the program's name only.
#include "app/monitor_app.h"
#include "platform/ui/message_box.h"

#include <QApplication>

int main(int, char **argv)
{
    int qtArgc = 1;
    char *qtArgv[] = {argv[0], nullptr};
    QApplication application(qtArgc, qtArgv);
    QApplication::setQuitOnLastWindowClosed(false);
    Q_INIT_RESOURCE(resources);
    platform::MessageBoxService boxes;
    theApp.InitInstance();
    return 0;
}

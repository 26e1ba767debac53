// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// USB Kestrum: takes only --help and --version; Qt gets the program's name only.
#include "app/monitor_app.h"
#include "app/startup.h"
#include "platform/ui/message_box.h"

#include <QApplication>
#include <cstdio>

int main(int argc, char **argv)
{
    if (const std::optional<int> status = HandleCommandLine(argc, argv))
        return *status;
    if (const std::string missing = MissingDisplay(); !missing.empty()) {
        std::fprintf(stderr, "%s\n", missing.c_str());
        return 1;
    }
    const bool busNamed = SessionBusNamed();
    if (!busNamed)
        KeepBusUnstarted();
    // Docks and task bars match the window to its menu entry by this name.
    QGuiApplication::setDesktopFileName(QStringLiteral("org.kestrum.UsbKestrum"));
    int qtArgc = 1;
    char *qtArgv[] = {argv[0], nullptr};
    std::optional<DisplayOpenGuard> guard(std::in_place);
    QApplication application(qtArgc, qtArgv);
    guard.reset();
    QApplication::setQuitOnLastWindowClosed(false);
    Q_INIT_RESOURCE(resources);
    platform::MessageBoxService boxes;
    theApp.m_bSessionBus = busNamed;
    theApp.InitInstance();
    return theApp.ExitInstance();
}

// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/startup.h"

#include "kestrum_version.h"

#include <QString>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <vector>

namespace {

constexpr const char *Program = "usbkestrum";
constexpr int UsageError = 64;  // EX_USAGE

const char *const Usage = "Usage: usbkestrum [--help | --version]\n"
                          "Watches the USB printers of a network print server: finds the print servers on the\n"
                          "local network, lets you choose one, and shows its printers. It takes no options.\n"
                          "\n"
                          "  --help     print this text and exit\n"
                          "  --version  print the version and exit\n"
                          "\n"
                          "Exit status: 0 when the window is closed, 1 after an error message or without a\n"
                          "display, 64 for a wrong argument. See usbkestrum(1).\n";

std::string Env(const char *name)
{
    const char *value = std::getenv(name);
    return value ? value : "";
}

bool SocketExists(const std::string &path)
{
    struct stat st {};
    return !path.empty() && stat(path.c_str(), &st) == 0 && S_ISSOCK(st.st_mode);
}

// One entry of QT_QPA_PLATFORM ("xcb", "wayland-egl", "offscreen:fontengine=...").
bool PlatformHasDisplay(std::string entry)
{
    entry = entry.substr(0, entry.find(':'));
    if (entry == "xcb")
        return !Env("DISPLAY").empty();
    if (entry.rfind("wayland", 0) == 0)
        return !Env("WAYLAND_DISPLAY").empty();
    return !entry.empty();  // offscreen, vnc, eglfs and the like need no desktop session
}

std::vector<std::pair<QtMsgType, QString>> &HeldMessages()
{
    static std::vector<std::pair<QtMsgType, QString>> held;
    return held;
}

void HoldOrEnd(QtMsgType type, const QMessageLogContext &, const QString &text)
{
    if (type != QtFatalMsg) {
        HeldMessages().emplace_back(type, text);
        return;
    }
    // Qt found no platform it could open: its next step would be abort().
    std::string named;
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        if (!Env(name).empty())
            named += (named.empty() ? "" : ", ") + std::string(name) + "=" + Env(name);
    std::fprintf(stderr, "%s: cannot open the display (%s)\n", Program, named.c_str());
    std::fflush(stderr);
    std::_Exit(1);
}

}  // namespace

std::optional<int> HandleCommandLine(int argc, char **argv)
{
    if (argc <= 1)
        return std::nullopt;
    const char *arg = argv[1];
    if (argc == 2 && (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0)) {
        std::fputs(Usage, stdout);
        return 0;
    }
    if (argc == 2 && std::strcmp(arg, "--version") == 0) {
        std::printf("%s %s\n", Program, KESTRUM_VERSION);
        return 0;
    }
    std::fprintf(stderr, "%s: unexpected argument '%s'; it takes none (see %s --help)\n", Program,
                 argc == 2 ? arg : argv[2], Program);
    return UsageError;
}

std::string MissingDisplay()
{
    const std::string platforms = Env("QT_QPA_PLATFORM");
    if (platforms.empty()) {
        if (!Env("DISPLAY").empty() || !Env("WAYLAND_DISPLAY").empty())
            return std::string();
        return std::string(Program) + ": no display: neither DISPLAY nor WAYLAND_DISPLAY is set";
    }
    std::size_t from = 0;
    for (;;) {
        const std::size_t end = platforms.find(';', from);
        if (PlatformHasDisplay(platforms.substr(from, end - from)))
            return std::string();
        if (end == std::string::npos)
            break;
        from = end + 1;
    }
    return std::string(Program) + ": no display for QT_QPA_PLATFORM=" + platforms;
}

bool SessionBusNamed()
{
    if (!Env("DBUS_SESSION_BUS_ADDRESS").empty())
        return true;
    const std::string runtime = Env("XDG_RUNTIME_DIR");
    return !runtime.empty() && SocketExists(runtime + "/bus");
}

void KeepBusUnstarted() { setenv("DBUS_SESSION_BUS_ADDRESS", "disabled:", 1); }

DisplayOpenGuard::DisplayOpenGuard() : m_previous(qInstallMessageHandler(HoldOrEnd)) {}

DisplayOpenGuard::~DisplayOpenGuard()
{
    qInstallMessageHandler(m_previous);
    for (const auto &[type, text] : HeldMessages())
        qt_message_output(type, QMessageLogContext(), text);
    HeldMessages().clear();
}

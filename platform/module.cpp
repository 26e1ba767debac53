// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/module.h"

#include <dlfcn.h>
#include <strings.h>
#include <unistd.h>

#include <climits>
#include <utility>

namespace platform {

namespace {

// The platform libraries we provide ourselves, and the module file of each.
struct KnownLibrary {
    const char *platformName;
    const char *moduleFile;
};

constexpr KnownLibrary KnownLibraries[] = {
    {"INETMIB1.DLL", "libinetmib1.so"},
};

}  // namespace

Module::Module(Module &&other) noexcept : m_handle(std::exchange(other.m_handle, nullptr)) {}

Module &Module::operator=(Module &&other) noexcept
{
    if (this != &other) {
        Close();
        m_handle = std::exchange(other.m_handle, nullptr);
    }
    return *this;
}

Module Module::Open(const std::string &path)
{
    if (path.empty())
        return Module();
    // RTLD_NOW: a module with unresolved symbols fails here, not at first call.
    return Module(dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL));
}

void *Module::Symbol(const char *name) const
{
    if (!m_handle || !name)
        return nullptr;
    return dlsym(m_handle, name);
}

void Module::Close()
{
    if (m_handle)
        dlclose(std::exchange(m_handle, nullptr));
}

std::string ExecutableDirectory()
{
    char path[PATH_MAX];
    ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0)
        return std::string();
    std::string exe(path, static_cast<std::size_t>(length));
    std::size_t slash = exe.rfind('/');
    if (slash == std::string::npos)
        return std::string();
    return exe.substr(0, slash);
}

std::string ModulePathFor(const char *name)
{
    if (!name)
        return std::string();
    for (const KnownLibrary &known : KnownLibraries) {
        if (strcasecmp(name, known.platformName) == 0) {
            std::string folder = ExecutableDirectory();
            if (folder.empty())
                return std::string();
            // The build tree keeps the module beside the executable; an install
            // keeps it in its private folder, found relative to the executable.
            std::string beside = folder + "/" + known.moduleFile;
            std::string installed = folder + "/" KESTRUM_MODULE_RELDIR "/" + known.moduleFile;
            if (access(beside.c_str(), F_OK) != 0 && access(installed.c_str(), F_OK) == 0)
                return installed;
            return beside;
        }
    }
    return name;
}

Module LoadLibraryA(const char *name) { return Module::Open(ModulePathFor(name)); }

void *GetProcAddress(const Module &module, const char *name) { return module.Symbol(name); }

void FreeLibrary(Module &module) { module.Close(); }

}  // namespace platform

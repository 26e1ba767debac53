// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Loadable modules on dlopen/dlsym/dlclose, owned RAII-style, with the
// LoadLibrary-style mapping of the platform's library names to our module files.
#pragma once
#include <cstdint>
#include <string>

namespace platform {

class Module {
public:
    Module() noexcept = default;
    ~Module() { Close(); }
    Module(Module &&other) noexcept;
    Module &operator=(Module &&other) noexcept;
    Module(const Module &) = delete;
    Module &operator=(const Module &) = delete;

    // Loads the module file at path, resolving all its symbols now.
    // An unloaded Module when the file is missing or not a module.
    static Module Open(const std::string &path);

    bool IsLoaded() const { return m_handle != nullptr; }
    // The handle as a number: 0 when nothing is loaded.
    std::uintptr_t HandleValue() const { return reinterpret_cast<std::uintptr_t>(m_handle); }
    // The address of an exported symbol; null when absent or nothing is loaded.
    void *Symbol(const char *name) const;
    // Releases the module; harmless when nothing is loaded.
    void Close();

private:
    explicit Module(void *handle) : m_handle(handle) {}
    void *m_handle = nullptr;
};

// The folder of the running executable, without a trailing slash; empty if unknown.
std::string ExecutableDirectory();

// The file a library name stands for: a platform library name that we supply
// ourselves (such as "INETMIB1.DLL", case ignored) maps to our module file beside
// the executable or, where there is none, in the installed module folder relative
// to it; any other name, including an explicit path, is used as given.
std::string ModulePathFor(const char *name);

// LoadLibraryA: the module for a platform name or a path; unloaded on failure.
Module LoadLibraryA(const char *name);
// GetProcAddress: an exported entry point by name, or null.
void *GetProcAddress(const Module &module, const char *name);
// FreeLibrary: releases the module now.
void FreeLibrary(Module &module);

}  // namespace platform

#pragma once

// Registers the classes of an in-process automation server as regsvr32 would, and removes them
// again: CLSID\{clsid} with its InprocServer32 (the DLL's full path, apartment-threaded) and
// ProgID, and <ProgID>\CLSID. Plain Win32, so that the server's own DllRegisterServer can use it.
// A 32-bit program's writes land in the 32-bit view of the registry, where 32-bit clients look.

#include "automation_server.h"

#include <span>
#include <string>

namespace AutomationServer {

struct RegistrationReport
{
    bool done;
    // What was done, or why nothing was, for the user.
    std::wstring message;
};

// Registers the classes machine-wide (HKLM\Software\Classes, the only classes Wine reads), or in
// the user's own classes when the machine's may not be written. Refuses, changing nothing, when
// a ProgID already belongs to another class: that is another server, such as the real one.
[[nodiscard]] RegistrationReport registerServer(
    std::span<const ServedClass> classes, const std::wstring &dllPath);
// Removes what registerServer wrote, from both places, and nothing else: a ProgID that belongs
// to another class stays.
[[nodiscard]] RegistrationReport unregisterServer(std::span<const ServedClass> classes);
// The DLL that the class registered under the ProgID is served from, as COM would find it;
// empty when the ProgID is not registered.
[[nodiscard]] std::wstring registeredServer(const wchar_t *progId);

} // namespace AutomationServer

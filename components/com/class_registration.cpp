#include "class_registration.h"

namespace AutomationServer {
namespace {

const std::wstring classesKey = L"Software\\Classes\\";

// A text value of a key, or empty text when there is none.
std::wstring readText(HKEY root, const std::wstring &key, const wchar_t *name)
{
    wchar_t buffer[MAX_PATH * 2] = {};
    DWORD size = sizeof(buffer) - sizeof(wchar_t);
    if (RegGetValueW(root, key.c_str(), name, RRF_RT_REG_SZ, nullptr, buffer, &size)
        != ERROR_SUCCESS)
        return {};
    return buffer;
}

LSTATUS writeText(HKEY root, const std::wstring &key, const wchar_t *name, const std::wstring &value)
{
    const auto size = static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t));
    return RegSetKeyValueW(root, key.c_str(), name, REG_SZ, value.c_str(), size);
}

std::wstring classKey(const ServedClass &served)
{
    return L"CLSID\\" + std::wstring(served.classId);
}

LSTATUS writeClass(HKEY root, const ServedClass &served, const std::wstring &dllPath)
{
    const std::wstring clsid = classesKey + classKey(served);
    const std::wstring progId = classesKey + served.progId;
    for (LSTATUS status : { writeText(root, clsid, nullptr, served.description),
             writeText(root, clsid + L"\\InprocServer32", nullptr, dllPath),
             writeText(root, clsid + L"\\InprocServer32", L"ThreadingModel", L"Apartment"),
             writeText(root, clsid + L"\\ProgID", nullptr, served.progId),
             writeText(root, progId, nullptr, served.description),
             writeText(root, progId + L"\\CLSID", nullptr, served.classId) })
        if (status != ERROR_SUCCESS)
            return status;
    return ERROR_SUCCESS;
}

void removeClass(HKEY root, const ServedClass &served)
{
    RegDeleteTreeW(root, (classesKey + classKey(served)).c_str());
    if (_wcsicmp(readText(root, classesKey + served.progId + L"\\CLSID", nullptr).c_str(),
            served.classId)
        == 0)
        RegDeleteTreeW(root, (classesKey + served.progId).c_str());
}

// The class that another server registered under one of the ProgIDs, described; empty when
// there is none.
std::wstring otherServer(std::span<const ServedClass> classes)
{
    for (const ServedClass &served : classes) {
        const std::wstring registered = readText(HKEY_CLASSES_ROOT,
            std::wstring(served.progId) + L"\\CLSID", nullptr);
        if (registered.empty() || _wcsicmp(registered.c_str(), served.classId) == 0)
            continue;
        std::wstring server = registeredServer(served.progId);
        return std::wstring(served.progId) + L" is registered to another server, class "
            + registered + (server.empty() ? L"" : L" in " + server);
    }
    return {};
}

std::wstring systemText(LSTATUS status)
{
    wchar_t *buffer = nullptr;
    const DWORD length = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM
            | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, static_cast<DWORD>(status), 0, reinterpret_cast<wchar_t *>(&buffer), 0, nullptr);
    std::wstring text(buffer ? buffer : L"", length);
    LocalFree(buffer);
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' '))
        text.pop_back();
    return text.empty() ? L"error " + std::to_wstring(status) : text;
}

} // namespace

RegistrationReport registerServer(std::span<const ServedClass> classes, const std::wstring &dllPath)
{
    if (const std::wstring other = otherServer(classes); !other.empty())
        return { false, other + L". Nothing was registered: the server registered there stays in use." };
    LSTATUS status = ERROR_SUCCESS;
    for (HKEY root : { HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER }) {
        for (const ServedClass &served : classes) {
            status = writeClass(root, served, dllPath);
            if (status != ERROR_SUCCESS)
                break;
        }
        if (status == ERROR_SUCCESS)
            return { true, L"Registered " + dllPath
                    + (root == HKEY_LOCAL_MACHINE ? L" for every user of this computer."
                                                  : L" for this user.") };
        for (const ServedClass &served : classes)
            removeClass(root, served);
        if (status != ERROR_ACCESS_DENIED)
            break;
    }
    return { false, L"Could not register " + dllPath + L": " + systemText(status) };
}

RegistrationReport unregisterServer(std::span<const ServedClass> classes)
{
    for (HKEY root : { HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER })
        for (const ServedClass &served : classes)
            removeClass(root, served);
    for (const ServedClass &served : classes)
        if (_wcsicmp(readText(HKEY_CLASSES_ROOT, std::wstring(served.progId) + L"\\CLSID", nullptr)
                         .c_str(),
                served.classId)
            == 0)
            return { false, std::wstring(L"Could not remove the registration of ") + served.progId
                    + L": it may be written where this account cannot change it." };
    return { true, L"Unregistered." };
}

std::wstring registeredServer(const wchar_t *progId)
{
    const std::wstring clsid = readText(HKEY_CLASSES_ROOT, std::wstring(progId) + L"\\CLSID", nullptr);
    if (clsid.empty())
        return {};
    return readText(HKEY_CLASSES_ROOT, L"CLSID\\" + clsid + L"\\InprocServer32", nullptr);
}

} // namespace AutomationServer

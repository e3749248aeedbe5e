// The stand-in Norlix installation as an in-process automation server: the classes of
// standin_classes.h over the same stand-in code that Linux links, answering as Visual Basic
// classes with ByVal parameters would. A working object lives as long as its client holds it;
// none keeps anything of the installation open between calls. A ComponentError reaches the client
// as an error raised with its description.

#include "standin_classes.h"
#include "win32_choice_dialog.h"

#include <com/automation_server.h>
#include <com/class_registration.h>
#include <component_error.h>
#include <standin/standin_components.h>

#include <QString>

#include <olectl.h>

#include <memory>

using namespace AutomationServer;

namespace {

// vbObjectError + 513, the first number Visual Basic leaves to a component's own errors.
constexpr SCODE standInError = static_cast<SCODE>(0x80040201u);

QString qText(const std::wstring &text)
{
    return QString::fromStdWString(text);
}

// Runs a member's work, raising a ComponentError as the component's own error.
template<typename Work> void answer(const Call &call, Work work)
{
    try {
        work();
    } catch (const Norlix::ComponentError &error) {
        call.raise(standInError, error.description().toStdWString());
    }
}

class CompanyDatabase : public DispatchObject
{
public:
    explicit CompanyDatabase(std::unique_ptr<Norlix::CompanyDatabase> database)
        : DispatchObject(L"CompanyDatabase",
            { { L"FileExists", Kind::Method }, { L"CompanySetting", Kind::Method },
                { L"DatabaseLocation", Kind::Property }, { L"DatabaseFileName", Kind::Property },
                { L"CompanyLetter", Kind::Settable }, { L"LockOwner", Kind::Method },
                { L"AccountsLock", Kind::Method } })
        , m_database(std::move(database))
    {
    }

protected:
    void invoke(const std::wstring &member, bool put, const Call &call) override
    {
        answer(call, [&] { dispatch(member, put, call); });
    }

private:
    void dispatch(const std::wstring &member, bool put, const Call &call)
    {
        Norlix::CompanyDatabase &database = *m_database;
        if (member == L"FileExists")
            call.returnBool(database.FileExists(qText(call.text(0))));
        else if (member == L"CompanySetting")
            call.returnText(database.CompanySetting(qText(call.text(0))).toStdWString());
        else if (member == L"DatabaseLocation")
            call.returnText(database.DatabaseLocation().toStdWString());
        else if (member == L"DatabaseFileName")
            call.returnText(database.DatabaseFileName().toStdWString());
        else if (member == L"CompanyLetter" && put)
            database.CompanyLetter(qText(call.text(0)));
        else if (member == L"CompanyLetter")
            call.returnText(database.CompanyLetter().toStdWString());
        else if (member == L"LockOwner")
            call.returnText(database.LockOwner(qText(call.text(0))).toStdWString());
        else if (member == L"AccountsLock")
            call.returnText(
                database.AccountsLock(qText(call.text(0)), qText(call.text(1))).toStdWString());
    }

    std::unique_ptr<Norlix::CompanyDatabase> m_database;
};

class SystemGlobal : public DispatchObject
{
public:
    SystemGlobal()
        : DispatchObject(L"SystemGlobal", { { L"Instance", Kind::Method } })
        , m_component(Norlix::makeStandInSystemGlobal())
    {
    }

protected:
    void invoke(const std::wstring &, bool, const Call &call) override
    {
        answer(call, [&] { call.returnObject(new CompanyDatabase(m_component->Instance())); });
    }

private:
    std::unique_ptr<Norlix::CompanyDatabaseComponent> m_component;
};

// Value As Variant, as Qt's stand-in code takes it: text, a Boolean, a whole number, another
// number, or nothing.
QVariant qValue(const VARIANT &value)
{
    switch (value.vt) {
    case VT_EMPTY:
    case VT_NULL:
        return {};
    case VT_BSTR:
        return QString::fromWCharArray(value.bstrVal, static_cast<int>(SysStringLen(value.bstrVal)));
    case VT_BOOL:
        return value.boolVal != VARIANT_FALSE;
    case VT_I2:
        return value.iVal;
    case VT_I4:
        return static_cast<int>(value.lVal);
    default:
        break;
    }
    OwnedVariant number;
    const HRESULT result = VariantChangeTypeEx(
        &number.value, const_cast<VARIANT *>(&value), LOCALE_INVARIANT, 0, VT_R8);
    if (FAILED(result))
        throw Failure { DISP_E_TYPEMISMATCH };
    return number.value.dblVal;
}

class Converter : public DispatchObject
{
public:
    Converter()
        : DispatchObject(L"Converter", { { L"ToNumber", Kind::Method } })
    {
    }

protected:
    void invoke(const std::wstring &, bool, const Call &call) override
    {
        OwnedVariant value;
        call.argument(0, value);
        answer(call, [&] { call.returnDouble(m_converter->ToNumber(qValue(value.value))); });
    }

private:
    std::unique_ptr<Norlix::ConverterObject> m_converter
        = Norlix::makeStandInNumberConverter()->Converter();
};

class NumberConverter : public DispatchObject
{
public:
    NumberConverter()
        : DispatchObject(L"NumberConverter", { { L"Converter", Kind::Method } })
    {
    }

protected:
    void invoke(const std::wstring &, bool, const Call &call) override
    {
        call.returnObject(new Converter);
    }
};

// The button names, separated by two spaces; none at all is one OK.
std::vector<std::wstring> buttonNames(const std::wstring &buttons)
{
    std::vector<std::wstring> names;
    for (size_t start = 0; start <= buttons.size();) {
        size_t gap = buttons.find(L"  ", start);
        if (gap == std::wstring::npos)
            gap = buttons.size();
        if (gap > start)
            names.push_back(buttons.substr(start, gap - start));
        start = gap + 2;
    }
    if (names.empty())
        names.push_back(L"OK");
    return names;
}

// ShowChoice(Title, Message, Buttons, Style As String, Number As Integer) As String.
class ChoiceDialog : public DispatchObject
{
public:
    ChoiceDialog()
        : DispatchObject(L"ChoiceDialog", { { L"ShowChoice", Kind::Method } })
    {
    }

protected:
    void invoke(const std::wstring &, bool, const Call &call) override
    {
        const std::wstring title = call.text(0);
        const std::vector<std::wstring> names = buttonNames(call.text(2));
        (void)call.integer(4);
        const auto chosen = showWin32Choice(title, call.text(1), names, call.text(3));
        // Giving back no name would read as "try again", and ask again for ever.
        if (!chosen)
            call.raise(standInError,
                L"The dialog \"" + title + L"\" was closed without a choice because Norlix is closing.");
        call.returnText(names[*chosen]);
    }
};

// Creates an object of a class; a ComponentError on the way is the error the client reads.
template<typename Class> IDispatch *created()
{
    try {
        return new Class;
    } catch (const Norlix::ComponentError &error) {
        setErrorInfo(error.description().toStdWString());
        throw Failure { E_FAIL };
    }
}

const Factory factories[] = {
    { Norlix::standInClasses[0], created<SystemGlobal> },
    { Norlix::standInClasses[1], created<NumberConverter> },
    { Norlix::standInClasses[2], created<ChoiceDialog> },
};

HMODULE serverModule = nullptr;

std::wstring serverPath()
{
    wchar_t path[MAX_PATH * 2] = {};
    const DWORD length = GetModuleFileNameW(serverModule, path, MAX_PATH * 2);
    return std::wstring(path, length);
}

} // namespace

extern "C" {

BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH) {
        serverModule = module;
        DisableThreadLibraryCalls(module);
    }
    return TRUE;
}

HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID classId, REFIID iid, void **object)
{
    return classObject(factories, classId, iid, object);
}

HRESULT STDAPICALLTYPE DllCanUnloadNow()
{
    return canUnloadNow();
}

HRESULT STDAPICALLTYPE DllRegisterServer()
{
    return registerServer(Norlix::standInClasses, serverPath()).done ? S_OK : SELFREG_E_CLASS;
}

HRESULT STDAPICALLTYPE DllUnregisterServer()
{
    return unregisterServer(Norlix::standInClasses).done ? S_OK : SELFREG_E_CLASS;
}

// For the tests: the objects alive of one class, and the members called since the log started.
long NorlixStandInLiveObjects(const wchar_t *className)
{
    return liveObjects(className);
}

void NorlixStandInStartCallLog()
{
    startCallLog();
}

const wchar_t *NorlixStandInCallLog()
{
    return callLog();
}

} // extern "C"

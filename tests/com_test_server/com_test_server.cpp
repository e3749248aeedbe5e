// An in-process COM server that behaves as a Visual Basic component would, for the tests of the
// COM client: errors raised through EXCEPINFO, some of them with a deferred fill-in, Booleans as
// -1, settings that come back as numbers or Null. Plain Win32, no Qt: a second Qt inside the test
// process would be a second QtCore.

#include "test_server_classes.h"

#include <com/automation_server.h>

#include <string>

using namespace AutomationServer;

namespace {

std::wstring currentLetter = L"A";
std::wstring lockHolder;

constexpr SCODE raised(int number)
{
    return static_cast<SCODE>(0x800A0000u | static_cast<unsigned>(number));
}

HRESULT STDAPICALLTYPE describeDeferredError(EXCEPINFO *exception)
{
    exception->bstrSource = SysAllocString(L"PrismorTest");
    exception->bstrDescription = SysAllocString(L"The setting is kept where it cannot be read.");
    return S_OK;
}

class CompanyDatabase : public DispatchObject
{
public:
    CompanyDatabase()
        : DispatchObject(L"CompanyDatabase",
            { { L"FileExists", Kind::Method }, { L"CompanySetting", Kind::Method },
                { L"DatabaseLocation", Kind::Property }, { L"DatabaseFileName", Kind::Property },
                { L"CompanyLetter", Kind::Settable }, { L"LockOwner", Kind::Method },
                { L"AccountsLock", Kind::Method } })
    {
    }

protected:
    void invoke(const std::wstring &member, bool put, const Call &call) override
    {
        if (member == L"FileExists")
            call.returnBool(call.text(0) == location() + fileName());
        else if (member == L"CompanySetting")
            setting(call.text(0), call);
        else if (member == L"DatabaseLocation")
            call.returnText(location());
        else if (member == L"DatabaseFileName")
            call.returnText(fileName());
        else if (member == L"CompanyLetter" && put)
            makeCurrent(call.text(0), call);
        else if (member == L"CompanyLetter")
            call.returnText(currentLetter);
        else if (member == L"LockOwner")
            call.returnText(call.text(0) == L"LA" ? lockHolder : L"");
        else if (member == L"AccountsLock")
            accountsLock(call.text(0), call.text(1), call);
    }

private:
    static std::wstring location() { return L"C:\\Norlix\\Companies\\" + currentLetter + L"\\"; }
    static std::wstring fileName() { return L"Company.mdb"; }

    static void makeCurrent(const std::wstring &letter, const Call &call)
    {
        if (letter.size() != 1 || letter[0] < L'A' || letter[0] > L'Z')
            call.raise(raised(1003), L"There is no company " + letter + L".");
        currentLetter = letter;
    }

    static void accountsLock(
        const std::wstring &workstation, const std::wstring &action, const Call &call)
    {
        if (action == L"LOCK" && lockHolder.empty())
            lockHolder = workstation;
        else if (action == L"UNLOCK" && lockHolder == workstation)
            lockHolder.clear();
        call.returnText(lockHolder);
    }

    // Each key shows one way a Visual Basic component answers or fails.
    static void setting(const std::wstring &key, const Call &call)
    {
        if (key == L"Companyname") {
            call.returnText(L"B\u00e4ckerei \u00d8rsted & S\u00f8n");
        } else if (key == L"CompanyVersNbr") {
            call.returnDouble(6.5);
        } else if (key == L"Count") {
            call.returnLong(42);
        } else if (key == L"AcctDBtidyMonth") {
            call.returnNull();
        } else if (key == L"Unset") {
            // Left Empty.
        } else if (key == L"Raised") {
            call.raise(raised(1001), L"The company settings cannot be read: the database is busy.");
        } else if (key == L"Deferred") {
            if (call.exception()) {
                call.exception()->scode = raised(1002);
                call.exception()->pfnDeferredFillIn = describeDeferredError;
            }
            throw Failure { DISP_E_EXCEPTION };
        } else if (key == L"ErrorInfo") {
            setErrorInfo(L"The settings table is damaged.");
            throw Failure { E_FAIL };
        } else if (key == L"Denied") {
            throw Failure { E_ACCESSDENIED };
        } else if (key == L"LeavesErrorInfo") {
            setErrorInfo(L"An error that was never raised.");
            call.returnText(L"");
        } else {
            call.returnText(L"");
        }
    }
};

class SystemGlobal : public DispatchObject
{
public:
    SystemGlobal()
        : DispatchObject(L"SystemGlobal", { { L"Instance", Kind::Method } })
    {
    }

protected:
    void invoke(const std::wstring &, bool, const Call &call) override
    {
        call.returnObject(new CompanyDatabase);
    }
};

// ToNumber(Value As Variant) As Double: text in the invariant locale, anything else converted.
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
        OwnedVariant number;
        const bool converted = SUCCEEDED(
            VariantChangeTypeEx(&number.value, &value.value, LOCALE_INVARIANT, 0, VT_R8));
        call.returnDouble(converted ? number.value.dblVal : 0.0);
    }
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

// ShowChoice(Title, Message, Buttons, Style As String, Number As Integer) As String, answered at
// once with the last button's name.
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
        (void)call.integer(4);
        const std::wstring buttons = call.text(2);
        const size_t gap = buttons.rfind(L"  ");
        call.returnText(gap == std::wstring::npos ? buttons : buttons.substr(gap + 2));
    }
};

const Factory factories[] = {
    { testSystemGlobal, []() -> IDispatch * { return new SystemGlobal; } },
    { testNumberConverter, []() -> IDispatch * { return new NumberConverter; } },
    { testChoiceDialog, []() -> IDispatch * { return new ChoiceDialog; } },
};

} // namespace

extern "C" {

HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID classId, REFIID iid, void **object)
{
    return classObject(factories, classId, iid, object);
}

HRESULT STDAPICALLTYPE DllCanUnloadNow()
{
    return canUnloadNow();
}

long testServerLiveObjects(const wchar_t *className)
{
    return liveObjects(className);
}

const wchar_t *testServerLog()
{
    return callLog();
}

void testServerReset()
{
    startCallLog();
    currentLetter = L"A";
    lockHolder.clear();
}

} // extern "C"

// An in-process COM server that behaves as a Visual Basic component would, for the tests of the
// COM client: IDispatch written by hand (names looked up case-insensitively, no type library),
// errors raised through EXCEPINFO as Err.Raise does, Booleans as -1. Plain Win32, no Qt: a
// second Qt inside the test process would be a second QtCore. Nothing thrown inside leaves it.

#include "test_server_classes.h"

#include <windows.h>

#include <oleauto.h>

#include <map>
#include <string>
#include <vector>

namespace {

struct Failure
{
    HRESULT result;
};

std::map<std::wstring, long> liveObjects;
std::wstring callLog;
std::wstring currentLetter = L"A";
std::wstring lockHolder;
long serverLocks = 0;

constexpr SCODE raised(int number)
{
    return static_cast<SCODE>(0x800A0000u | static_cast<unsigned>(number));
}

std::wstring typeName(VARTYPE type)
{
    const std::wstring prefix = (type & VT_BYREF) ? L"BYREF|" : L"";
    switch (type & ~VT_BYREF) {
    case VT_EMPTY:
        return prefix + L"EMPTY";
    case VT_NULL:
        return prefix + L"NULL";
    case VT_I2:
        return prefix + L"I2";
    case VT_I4:
        return prefix + L"I4";
    case VT_R8:
        return prefix + L"R8";
    case VT_BSTR:
        return prefix + L"BSTR";
    case VT_BOOL:
        return prefix + L"BOOL";
    case VT_VARIANT:
        return prefix + L"VARIANT";
    default:
        return prefix + std::to_wstring(type & ~VT_BYREF);
    }
}

std::wstring flagNames(WORD flags)
{
    std::wstring names;
    const std::pair<WORD, const wchar_t *> known[] = { { DISPATCH_METHOD, L"METHOD" },
        { DISPATCH_PROPERTYGET, L"PROPERTYGET" }, { DISPATCH_PROPERTYPUT, L"PROPERTYPUT" },
        { DISPATCH_PROPERTYPUTREF, L"PROPERTYPUTREF" } };
    for (const auto &[flag, name] : known)
        if (flags & flag)
            names += (names.empty() ? L"" : L"|") + std::wstring(name);
    return names;
}

// A value as Visual Basic's CStr would give it, invariant locale.
std::wstring text(const VARIANT &value)
{
    VARIANT converted;
    VariantInit(&converted);
    if (FAILED(VariantChangeTypeEx(
            &converted, const_cast<VARIANT *>(&value), LOCALE_INVARIANT, 0, VT_BSTR)))
        return {};
    std::wstring result(converted.bstrVal, SysStringLen(converted.bstrVal));
    VariantClear(&converted);
    return result;
}

void logCall(const std::wstring &member, WORD flags, const DISPPARAMS &parameters)
{
    std::wstring line = member + L" " + flagNames(flags);
    for (UINT i = parameters.cArgs; i-- > 0;) {
        const VARIANT &argument = parameters.rgvarg[i];
        line += L" " + typeName(argument.vt);
        if (argument.vt != VT_EMPTY && !(argument.vt & VT_BYREF))
            line += L"=" + text(argument);
    }
    for (UINT i = 0; i < parameters.cNamedArgs; ++i)
        line += L" named:" + std::to_wstring(parameters.rgdispidNamedArgs[i]);
    callLog += line + L"\n";
}

// The call as the member sees it: its arguments in declared order, its result.
struct Call
{
    const DISPPARAMS &parameters;
    VARIANT *result;
    EXCEPINFO *exception;

    // A ByVal String parameter: Visual Basic converts what it is given, but a ByRef Variant
    // cannot become a String (Type mismatch).
    std::wstring textArgument(UINT index) const
    {
        if (index >= parameters.cArgs)
            throw Failure { DISP_E_BADPARAMCOUNT };
        const VARIANT &argument = parameters.rgvarg[parameters.cArgs - 1 - index];
        if (argument.vt & VT_BYREF)
            throw Failure { DISP_E_TYPEMISMATCH };
        return text(argument);
    }
    const VARIANT &argument(UINT index) const
    {
        if (index >= parameters.cArgs)
            throw Failure { DISP_E_BADPARAMCOUNT };
        return parameters.rgvarg[parameters.cArgs - 1 - index];
    }

    void returnText(const std::wstring &value) const
    {
        if (!result)
            return;
        result->vt = VT_BSTR;
        result->bstrVal = SysAllocStringLen(value.data(), static_cast<UINT>(value.size()));
    }
    void returnBool(bool value) const
    {
        if (!result)
            return;
        result->vt = VT_BOOL;
        result->boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
    }
    void returnDouble(double value) const
    {
        if (!result)
            return;
        result->vt = VT_R8;
        result->dblVal = value;
    }
    void returnObject(IDispatch *object) const
    {
        if (result) {
            result->vt = VT_DISPATCH;
            result->pdispVal = object;
        } else {
            object->Release();
        }
    }
    // Err.Raise: the error's number and description through EXCEPINFO.
    [[noreturn]] void raise(int number, const wchar_t *description) const
    {
        if (exception) {
            exception->scode = raised(number);
            exception->bstrSource = SysAllocString(L"PrismorTest");
            exception->bstrDescription = SysAllocString(description);
        }
        throw Failure { DISP_E_EXCEPTION };
    }
};

enum class Kind { Method, Property, Settable };

struct Member
{
    const wchar_t *name;
    Kind kind;
};

// IUnknown and IDispatch over a table of members; a DISPID is the member's place in the table.
class DispatchObject : public IDispatch
{
public:
    DispatchObject(std::wstring className, std::vector<Member> members)
        : m_className(std::move(className))
        , m_members(std::move(members))
    {
        ++liveObjects[m_className];
    }
    virtual ~DispatchObject() { --liveObjects[m_className]; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void **object) override
    {
        if (!object)
            return E_POINTER;
        *object = nullptr;
        if (iid != IID_IUnknown && iid != IID_IDispatch)
            return E_NOINTERFACE;
        *object = static_cast<IDispatch *>(this);
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++m_references; }
    ULONG STDMETHODCALLTYPE Release() override
    {
        const ULONG left = --m_references;
        if (left == 0)
            delete this;
        return left;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT *count) override
    {
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo **) override
    {
        return DISP_E_BADINDEX;
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(
        REFIID, LPOLESTR *names, UINT count, LCID, DISPID *ids) override
    {
        for (UINT i = 0; i < count; ++i)
            ids[i] = DISPID_UNKNOWN;
        for (DISPID id = 0; count > 0 && id < static_cast<DISPID>(m_members.size()); ++id)
            if (_wcsicmp(names[0], m_members[id].name) == 0)
                ids[0] = id;
        return count == 1 && ids[0] != DISPID_UNKNOWN ? S_OK : DISP_E_UNKNOWNNAME;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS *parameters,
        VARIANT *result, EXCEPINFO *exception, UINT *) override
    {
        if (id < 0 || id >= static_cast<DISPID>(m_members.size()) || !parameters)
            return DISP_E_MEMBERNOTFOUND;
        const Member &member = m_members[id];
        try {
            logCall(m_className + L"." + member.name, flags, *parameters);
            if (!accepts(member, flags, *parameters))
                return DISP_E_MEMBERNOTFOUND;
            if (result)
                VariantInit(result);
            invoke(member.name, flags == DISPATCH_PROPERTYPUT,
                Call { *parameters, result, exception });
            return S_OK;
        } catch (const Failure &failure) {
            return failure.result;
        } catch (...) {
            return E_UNEXPECTED;
        }
    }

protected:
    virtual void invoke(const std::wstring &member, bool put, const Call &call) = 0;

private:
    // A method or a Property Get as Visual Basic's dispatch takes it; a Property Let only with
    // the value as the named argument DISPID_PROPERTYPUT.
    static bool accepts(const Member &member, WORD flags, const DISPPARAMS &parameters)
    {
        if (flags == DISPATCH_PROPERTYPUT)
            return member.kind == Kind::Settable && parameters.cArgs == 1
                && parameters.cNamedArgs == 1
                && parameters.rgdispidNamedArgs[0] == DISPID_PROPERTYPUT;
        if (member.kind == Kind::Method)
            return flags & DISPATCH_METHOD;
        return flags & DISPATCH_PROPERTYGET;
    }

    ULONG m_references = 1;
    std::wstring m_className;
    std::vector<Member> m_members;
};

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
            call.returnBool(call.textArgument(0) == location() + fileName());
        else if (member == L"CompanySetting")
            setting(call.textArgument(0), call);
        else if (member == L"DatabaseLocation")
            call.returnText(location());
        else if (member == L"DatabaseFileName")
            call.returnText(fileName());
        else if (member == L"CompanyLetter" && put)
            makeCurrent(call.textArgument(0), call);
        else if (member == L"CompanyLetter")
            call.returnText(currentLetter);
        else if (member == L"LockOwner")
            call.returnText(call.textArgument(0) == L"LA" ? lockHolder : L"");
        else if (member == L"AccountsLock")
            accountsLock(call.textArgument(0), call.textArgument(1), call);
    }

private:
    static std::wstring location() { return L"C:\\Norlix\\Companies\\" + currentLetter + L"\\"; }
    static std::wstring fileName() { return L"Company.mdb"; }

    static void makeCurrent(const std::wstring &letter, const Call &call)
    {
        if (letter.size() != 1 || letter[0] < L'A' || letter[0] > L'Z')
            call.raise(1003, (L"There is no company " + letter + L".").c_str());
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
        } else if (key == L"Count" && call.result) {
            call.result->vt = VT_I4;
            call.result->lVal = 42;
        } else if (key == L"AcctDBtidyMonth" && call.result) {
            call.result->vt = VT_NULL;
        } else if (key == L"Unset") {
            // Left Empty.
        } else if (key == L"Raised") {
            call.raise(1001, L"The company settings cannot be read: the database is busy.");
        } else if (key == L"Deferred") {
            if (call.exception) {
                call.exception->scode = raised(1002);
                call.exception->pfnDeferredFillIn = describeDeferredError;
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

    static void setErrorInfo(const wchar_t *description)
    {
        ICreateErrorInfo *creator = nullptr;
        if (FAILED(CreateErrorInfo(&creator)))
            return;
        creator->SetDescription(const_cast<LPOLESTR>(description));
        IErrorInfo *info = nullptr;
        if (SUCCEEDED(creator->QueryInterface(IID_IErrorInfo, reinterpret_cast<void **>(&info)))) {
            SetErrorInfo(0, info);
            info->Release();
        }
        creator->Release();
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
        VARIANT number;
        VariantInit(&number);
        const bool converted = SUCCEEDED(VariantChangeTypeEx(
            &number, const_cast<VARIANT *>(&call.argument(0)), LOCALE_INVARIANT, 0, VT_R8));
        call.returnDouble(converted ? number.dblVal : 0.0);
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
        VARIANT number;
        VariantInit(&number);
        const HRESULT asInteger = VariantChangeTypeEx(
            &number, const_cast<VARIANT *>(&call.argument(4)), LOCALE_INVARIANT, 0, VT_I2);
        if (FAILED(asInteger))
            throw Failure { asInteger };
        const std::wstring buttons = call.textArgument(2);
        const size_t gap = buttons.rfind(L"  ");
        call.returnText(gap == std::wstring::npos ? buttons : buttons.substr(gap + 2));
    }
};

class ClassFactory final : public IClassFactory
{
public:
    using Create = IDispatch *(*)();
    explicit ClassFactory(Create create)
        : m_create(create)
    {
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void **object) override
    {
        if (!object)
            return E_POINTER;
        *object = nullptr;
        if (iid != IID_IUnknown && iid != IID_IClassFactory)
            return E_NOINTERFACE;
        *object = static_cast<IClassFactory *>(this);
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++m_references; }
    ULONG STDMETHODCALLTYPE Release() override
    {
        const ULONG left = --m_references;
        if (left == 0)
            delete this;
        return left;
    }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown *outer, REFIID iid, void **object) override
    {
        if (!object)
            return E_POINTER;
        *object = nullptr;
        if (outer)
            return CLASS_E_NOAGGREGATION;
        IDispatch *created = nullptr;
        try {
            created = m_create();
        } catch (...) {
            return E_OUTOFMEMORY;
        }
        const HRESULT result = created->QueryInterface(iid, object);
        created->Release();
        return result;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override
    {
        serverLocks += lock ? 1 : -1;
        return S_OK;
    }

private:
    ULONG m_references = 1;
    Create m_create;
};

bool isClass(REFCLSID classId, const TestServerClass &served)
{
    CLSID servedId {};
    return SUCCEEDED(CLSIDFromString(served.classId, &servedId)) && IsEqualCLSID(classId, servedId);
}

} // namespace

extern "C" {

HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID classId, REFIID iid, void **object)
{
    ClassFactory::Create create = nullptr;
    if (isClass(classId, testSystemGlobal))
        create = []() -> IDispatch * { return new SystemGlobal; };
    else if (isClass(classId, testNumberConverter))
        create = []() -> IDispatch * { return new NumberConverter; };
    else if (isClass(classId, testChoiceDialog))
        create = []() -> IDispatch * { return new ChoiceDialog; };
    if (!create)
        return CLASS_E_CLASSNOTAVAILABLE;
    try {
        ClassFactory *factory = new ClassFactory(create);
        const HRESULT result = factory->QueryInterface(iid, object);
        factory->Release();
        return result;
    } catch (...) {
        return E_OUTOFMEMORY;
    }
}

HRESULT STDAPICALLTYPE DllCanUnloadNow()
{
    for (const auto &[name, count] : liveObjects)
        if (count != 0)
            return S_FALSE;
    return serverLocks == 0 ? S_OK : S_FALSE;
}

long testServerLiveObjects(const wchar_t *className)
{
    const auto found = liveObjects.find(className);
    return found == liveObjects.end() ? 0 : found->second;
}

const wchar_t *testServerLog()
{
    return callLog.c_str();
}

void testServerReset()
{
    callLog.clear();
    currentLetter = L"A";
    lockHolder.clear();
}

} // extern "C"

#include "automation_server.h"

#include <map>

namespace AutomationServer {
namespace {

std::map<std::wstring, long> liveCounts;
std::wstring log;
bool logging = false;
long serverLocks = 0;

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

// A value as Visual Basic's CStr gives it, in the invariant locale; empty when it has no text.
std::wstring textOf(const VARIANT &value)
{
    if (value.vt == VT_BSTR)
        return std::wstring(value.bstrVal, SysStringLen(value.bstrVal));
    OwnedVariant converted;
    if (FAILED(VariantChangeTypeEx(&converted.value, const_cast<VARIANT *>(&value),
            LOCALE_INVARIANT, VARIANT_ALPHABOOL, VT_BSTR)))
        return {};
    return textOf(converted.value);
}

void logCall(const std::wstring &member, WORD flags, const DISPPARAMS &parameters)
{
    std::wstring line = member + L" " + flagNames(flags);
    for (UINT i = parameters.cArgs; i-- > 0;) {
        const VARIANT &argument = parameters.rgvarg[i];
        line += L" " + typeName(argument.vt);
        OwnedVariant value;
        if (argument.vt != VT_EMPTY
            && SUCCEEDED(VariantCopyInd(&value.value, const_cast<VARIANT *>(&argument))))
            line += L"=" + textOf(value.value);
    }
    for (UINT i = 0; i < parameters.cNamedArgs; ++i)
        line += L" named:" + std::to_wstring(parameters.rgdispidNamedArgs[i]);
    log += line + L"\n";
}

// A method or a Property Get as Visual Basic's dispatch takes it; a Property Let only with the
// value as the named argument DISPID_PROPERTYPUT.
bool accepts(const Member &member, WORD flags, const DISPPARAMS &parameters)
{
    if (flags == DISPATCH_PROPERTYPUT)
        return member.kind == Kind::Settable && parameters.cArgs == 1
            && parameters.cNamedArgs == 1 && parameters.rgdispidNamedArgs[0] == DISPID_PROPERTYPUT;
    if (member.kind == Kind::Method)
        return flags & DISPATCH_METHOD;
    return flags & DISPATCH_PROPERTYGET;
}

class ClassFactory final : public IClassFactory
{
public:
    explicit ClassFactory(IDispatch *(*create)())
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
        } catch (const Failure &failure) {
            return failure.result;
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
    IDispatch *(*m_create)();
};

bool isClass(REFCLSID classId, const ServedClass &served)
{
    CLSID servedId {};
    return SUCCEEDED(CLSIDFromString(served.classId, &servedId)) && IsEqualCLSID(classId, servedId);
}

} // namespace

void Call::argument(UINT index, OwnedVariant &value) const
{
    if (index >= m_parameters.cArgs)
        throw Failure { DISP_E_BADPARAMCOUNT };
    const HRESULT copied
        = VariantCopyInd(&value.value, &m_parameters.rgvarg[m_parameters.cArgs - 1 - index]);
    if (FAILED(copied))
        throw Failure { copied };
}

std::wstring Call::text(UINT index) const
{
    OwnedVariant value;
    argument(index, value);
    if (value.value.vt == VT_BSTR)
        return textOf(value.value);
    OwnedVariant converted;
    const HRESULT result = VariantChangeTypeEx(
        &converted.value, &value.value, LOCALE_INVARIANT, VARIANT_ALPHABOOL, VT_BSTR);
    if (FAILED(result))
        throw Failure { DISP_E_TYPEMISMATCH };
    return textOf(converted.value);
}

short Call::integer(UINT index) const
{
    OwnedVariant value;
    argument(index, value);
    OwnedVariant converted;
    const HRESULT result
        = VariantChangeTypeEx(&converted.value, &value.value, LOCALE_INVARIANT, 0, VT_I2);
    if (FAILED(result))
        throw Failure { result };
    return converted.value.iVal;
}

void Call::returnText(const std::wstring &value) const
{
    if (!m_result)
        return;
    BSTR text = SysAllocStringLen(value.data(), static_cast<UINT>(value.size()));
    if (!text)
        throw Failure { E_OUTOFMEMORY };
    m_result->vt = VT_BSTR;
    m_result->bstrVal = text;
}

void Call::returnBool(bool value) const
{
    if (!m_result)
        return;
    m_result->vt = VT_BOOL;
    m_result->boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
}

void Call::returnDouble(double value) const
{
    if (!m_result)
        return;
    m_result->vt = VT_R8;
    m_result->dblVal = value;
}

void Call::returnLong(long value) const
{
    if (!m_result)
        return;
    m_result->vt = VT_I4;
    m_result->lVal = value;
}

void Call::returnNull() const
{
    if (m_result)
        m_result->vt = VT_NULL;
}

void Call::returnObject(IDispatch *object) const
{
    if (m_result) {
        m_result->vt = VT_DISPATCH;
        m_result->pdispVal = object;
    } else {
        object->Release();
    }
}

void Call::raise(SCODE number, const std::wstring &description) const
{
    if (m_exception) {
        m_exception->scode = number;
        m_exception->bstrSource = SysAllocString(L"Norlix");
        m_exception->bstrDescription
            = SysAllocStringLen(description.data(), static_cast<UINT>(description.size()));
    }
    throw Failure { DISP_E_EXCEPTION };
}

DispatchObject::DispatchObject(std::wstring className, std::vector<Member> members)
    : m_className(std::move(className))
    , m_members(std::move(members))
{
    ++liveCounts[m_className];
}

DispatchObject::~DispatchObject()
{
    --liveCounts[m_className];
}

HRESULT DispatchObject::QueryInterface(REFIID iid, void **object)
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

ULONG DispatchObject::AddRef()
{
    return ++m_references;
}

ULONG DispatchObject::Release()
{
    const ULONG left = --m_references;
    if (left == 0)
        delete this;
    return left;
}

HRESULT DispatchObject::GetTypeInfoCount(UINT *count)
{
    if (!count)
        return E_POINTER;
    *count = 0;
    return S_OK;
}

HRESULT DispatchObject::GetTypeInfo(UINT, LCID, ITypeInfo **)
{
    return DISP_E_BADINDEX;
}

HRESULT DispatchObject::GetIDsOfNames(REFIID, LPOLESTR *names, UINT count, LCID, DISPID *ids)
{
    if (!names || !ids)
        return E_POINTER;
    for (UINT i = 0; i < count; ++i)
        ids[i] = DISPID_UNKNOWN;
    for (DISPID id = 0; count > 0 && id < static_cast<DISPID>(m_members.size()); ++id)
        if (_wcsicmp(names[0], m_members[id].name) == 0)
            ids[0] = id;
    return count == 1 && ids[0] != DISPID_UNKNOWN ? S_OK : DISP_E_UNKNOWNNAME;
}

HRESULT DispatchObject::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS *parameters,
    VARIANT *result, EXCEPINFO *exception, UINT *)
{
    if (id < 0 || id >= static_cast<DISPID>(m_members.size()) || !parameters)
        return DISP_E_MEMBERNOTFOUND;
    const Member &member = m_members[id];
    try {
        if (logging)
            logCall(m_className + L"." + member.name, flags, *parameters);
        if (!accepts(member, flags, *parameters))
            return DISP_E_MEMBERNOTFOUND;
        if (result)
            VariantInit(result);
        invoke(member.name, flags == DISPATCH_PROPERTYPUT, Call { *parameters, result, exception });
        return S_OK;
    } catch (const Failure &failure) {
        if (result)
            VariantClear(result);
        return failure.result;
    } catch (...) {
        if (result)
            VariantClear(result);
        return E_UNEXPECTED;
    }
}

HRESULT classObject(std::span<const Factory> factories, REFCLSID classId, REFIID iid, void **object)
{
    if (!object)
        return E_POINTER;
    *object = nullptr;
    for (const Factory &factory : factories) {
        if (!isClass(classId, factory.served))
            continue;
        try {
            auto *classFactory = new ClassFactory(factory.create);
            const HRESULT result = classFactory->QueryInterface(iid, object);
            classFactory->Release();
            return result;
        } catch (...) {
            return E_OUTOFMEMORY;
        }
    }
    return CLASS_E_CLASSNOTAVAILABLE;
}

HRESULT canUnloadNow()
{
    for (const auto &[name, count] : liveCounts)
        if (count != 0)
            return S_FALSE;
    return serverLocks == 0 ? S_OK : S_FALSE;
}

void setErrorInfo(const std::wstring &description)
{
    ICreateErrorInfo *creator = nullptr;
    if (FAILED(CreateErrorInfo(&creator)))
        return;
    creator->SetDescription(const_cast<LPOLESTR>(description.c_str()));
    IErrorInfo *info = nullptr;
    if (SUCCEEDED(creator->QueryInterface(IID_IErrorInfo, reinterpret_cast<void **>(&info)))) {
        SetErrorInfo(0, info);
        info->Release();
    }
    creator->Release();
}

long liveObjects(const wchar_t *className)
{
    const auto found = liveCounts.find(className);
    return found == liveCounts.end() ? 0 : found->second;
}

void startCallLog()
{
    log.clear();
    logging = true;
}

const wchar_t *callLog()
{
    return log.c_str();
}

} // namespace AutomationServer

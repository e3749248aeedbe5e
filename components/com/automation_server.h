#pragma once

// The server side of late binding, answered as a Visual Basic class answers it: IDispatch over a
// table of members (names found case-insensitively, no type library), arguments converted as
// ByVal parameters convert them, errors raised through EXCEPINFO as Err.Raise does, Booleans as
// -1. Plain Win32 and the standard library: an in-process server must not bring a second Qt into
// its client's process. Nothing thrown inside a member leaves through COM.

#include <windows.h>

#include <oleauto.h>

#include <span>
#include <string>
#include <vector>

namespace AutomationServer {

// A class the server offers: its ProgID, its CLSID in registry form, and what it is.
struct ServedClass
{
    const wchar_t *progId;
    const wchar_t *classId;
    const wchar_t *description;
};

// Ends a member with this HRESULT.
struct Failure
{
    HRESULT result;
};

// Owns one VARIANT.
class OwnedVariant
{
public:
    OwnedVariant() { VariantInit(&value); }
    OwnedVariant(const OwnedVariant &) = delete;
    OwnedVariant &operator=(const OwnedVariant &) = delete;
    ~OwnedVariant() { VariantClear(&value); }

    VARIANT value;
};

// The call as a member sees it: its arguments in declared order, its result.
class Call
{
public:
    Call(const DISPPARAMS &parameters, VARIANT *result, EXCEPINFO *exception)
        : m_parameters(parameters)
        , m_result(result)
        , m_exception(exception)
    {
    }

    // The argument as given, a reference (VBScript passes its variables as VT_BYREF|VT_VARIANT)
    // followed to its value, as a ByVal parameter receives it.
    void argument(UINT index, OwnedVariant &value) const;
    // A ByVal String parameter; a value with no text (Null, an object) is a type mismatch.
    [[nodiscard]] std::wstring text(UINT index) const;
    // A ByVal Integer parameter; out of its range is an overflow.
    [[nodiscard]] short integer(UINT index) const;

    void returnText(const std::wstring &value) const;
    void returnBool(bool value) const;
    void returnDouble(double value) const;
    void returnLong(long value) const;
    void returnNull() const;
    // Takes over the reference that object holds.
    void returnObject(IDispatch *object) const;
    // Err.Raise: the number (vbObjectError and others are the caller's) and the description,
    // through EXCEPINFO.
    [[noreturn]] void raise(SCODE number, const std::wstring &description) const;
    [[nodiscard]] EXCEPINFO *exception() const { return m_exception; }

private:
    const DISPPARAMS &m_parameters;
    VARIANT *m_result;
    EXCEPINFO *m_exception;
};

// How Visual Basic may have written a member: a Sub or Function, a Property Get, or a Property
// Get with a Property Let.
enum class Kind { Method, Property, Settable };

struct Member
{
    const wchar_t *name;
    Kind kind;
};

// IUnknown and IDispatch over a table of members; a DISPID is the member's place in the table.
// Objects are counted per class name while they live.
class DispatchObject : public IDispatch
{
public:
    DispatchObject(std::wstring className, std::vector<Member> members);
    virtual ~DispatchObject();
    DispatchObject(const DispatchObject &) = delete;
    DispatchObject &operator=(const DispatchObject &) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void **object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT *count) override;
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo **) override;
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(
        REFIID, LPOLESTR *names, UINT count, LCID, DISPID *ids) override;
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS *parameters,
        VARIANT *result, EXCEPINFO *exception, UINT *) override;

protected:
    // put: the member is set (Property Let) rather than read or called.
    virtual void invoke(const std::wstring &member, bool put, const Call &call) = 0;

private:
    ULONG m_references = 1;
    std::wstring m_className;
    std::vector<Member> m_members;
};

// One class the server makes objects of. create gives an object holding one reference, or
// raises Failure (with the error information set for the caller to read).
struct Factory
{
    const ServedClass &served;
    IDispatch *(*create)();
};

// DllGetClassObject for the classes in factories.
HRESULT classObject(
    std::span<const Factory> factories, REFCLSID classId, REFIID iid, void **object);
// DllCanUnloadNow: no object alive and no lock on the server.
HRESULT canUnloadNow();

// Sets the thread's error information, which a client reads when a call fails without EXCEPINFO.
void setErrorInfo(const std::wstring &description);

// What the server has done, for its tests: the objects alive of one class, and, once
// startCallLog() has been called, every member invoked, one line each: "Class.Member FLAGS
// TYPE=value...", arguments in their declared order, then "named:DISPID" for each named argument.
[[nodiscard]] long liveObjects(const wchar_t *className);
void startCallLog();
[[nodiscard]] const wchar_t *callLog();

} // namespace AutomationServer

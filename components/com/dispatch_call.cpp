#include "dispatch_call.h"

#include "class_registration.h"
#include "component_error.h"

#include <limits>
#include <optional>
#include <string>
#include <vector>

namespace Norlix {
namespace {

const wchar_t *wide(const QString &text)
{
    return reinterpret_cast<const wchar_t *>(text.utf16());
}

QString hex(HRESULT result)
{
    return QStringLiteral("%1")
        .arg(static_cast<quint32>(result), 8, 16, QLatin1Char('0'))
        .toUpper();
}

// EXCEPINFO's strings belong to the caller, whichever way the call ends.
struct ExceptionInfo : EXCEPINFO
{
    ExceptionInfo()
        : EXCEPINFO {}
    {
    }
    ExceptionInfo(const ExceptionInfo &) = delete;
    ExceptionInfo &operator=(const ExceptionInfo &) = delete;
    ~ExceptionInfo()
    {
        SysFreeString(bstrSource);
        SysFreeString(bstrDescription);
        SysFreeString(bstrHelpFile);
    }
};

QString exceptionDescription(EXCEPINFO &exception)
{
    // A component may leave the strings empty until asked for them.
    if (exception.pfnDeferredFillIn)
        exception.pfnDeferredFillIn(&exception);
    return QString::fromWCharArray(
        exception.bstrDescription, SysStringLen(exception.bstrDescription));
}

QString errorInfoDescription()
{
    ComRef<IErrorInfo> info;
    if (GetErrorInfo(0, info.receive()) != S_OK || !info.get())
        return {};
    Bstr description;
    if (FAILED(info.get()->GetDescription(description.receive())))
        return {};
    return description.text();
}

QString systemText(HRESULT result)
{
    wchar_t *buffer = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, static_cast<DWORD>(result), 0, reinterpret_cast<wchar_t *>(&buffer), 0, nullptr);
    const QString text = QString::fromWCharArray(buffer, static_cast<int>(length)).trimmed();
    LocalFree(buffer);
    return text;
}

// What the component said about a failure, or else what the system says about its code.
QString failureDescription(HRESULT result, EXCEPINFO *exception, const QString &where)
{
    QString description;
    if (result == DISP_E_EXCEPTION && exception) {
        description = exceptionDescription(*exception);
        if (exception->scode != 0)
            result = exception->scode;
    }
    if (description.isEmpty())
        description = errorInfoDescription();
    if (!description.isEmpty())
        return description;
    QString text = systemText(result);
    if (text.isEmpty())
        text = QStringLiteral("The call failed");
    return QStringLiteral("%1 (error 0x%2 %3)").arg(text, hex(result), where);
}

// A class that is registered but could not be made: what the component said, or else which
// component, from which file, and what the system says.
QString creationFailure(const ComClass &component, HRESULT result)
{
    if (const QString said = errorInfoDescription(); !said.isEmpty())
        return said;
    const QString file =
        QString::fromStdWString(AutomationServer::registeredServer(wide(component.progId)));
    QString text = systemText(result);
    if (text.isEmpty())
        text = QStringLiteral("it failed");
    return QStringLiteral("%1 (%2) could not be started%3: %4 (error 0x%5)")
        .arg(component.name, component.progId,
            file.isEmpty() ? QString() : QStringLiteral(" from ") + file, text, hex(result));
}

Variant converted(const Variant &value, VARTYPE type)
{
    Variant result;
    // VARIANT_ALPHABOOL: a Boolean reads as True or False, as Visual Basic's CStr gives it.
    const HRESULT status = VariantChangeTypeEx(result.receive(),
        const_cast<VARIANT *>(&value.get()), LOCALE_INVARIANT, VARIANT_ALPHABOOL, type);
    if (FAILED(status))
        throw ComponentError(failureDescription(status, nullptr,
            QStringLiteral("reading the value that a Norlix component gave back")));
    return result;
}

bool isNumber(const QVariant &value)
{
    switch (value.typeId()) {
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Float:
    case QMetaType::Double:
        return true;
    default:
        return false;
    }
}

// The value as a Long, when it is a whole number that fits in one.
std::optional<int> asLong(const QVariant &value)
{
    constexpr qlonglong lowest = std::numeric_limits<int>::min();
    constexpr qlonglong highest = std::numeric_limits<int>::max();
    switch (value.typeId()) {
    case QMetaType::Short:
    case QMetaType::Int:
    case QMetaType::Long:
    case QMetaType::LongLong:
        if (const qlonglong whole = value.toLongLong(); whole >= lowest && whole <= highest)
            return static_cast<int>(whole);
        return std::nullopt;
    case QMetaType::UShort:
    case QMetaType::UInt:
    case QMetaType::ULong:
    case QMetaType::ULongLong:
        if (const qulonglong whole = value.toULongLong(); whole <= qulonglong(highest))
            return static_cast<int>(whole);
        return std::nullopt;
    default:
        return std::nullopt;
    }
}

} // namespace

QString Bstr::text() const
{
    return QString::fromWCharArray(m_bstr, static_cast<int>(SysStringLen(m_bstr)));
}

Variant Variant::text(const QString &value)
{
    Variant variant;
    variant.m_variant.vt = VT_BSTR;
    variant.m_variant.bstrVal = SysAllocStringLen(wide(value), static_cast<UINT>(value.size()));
    if (!variant.m_variant.bstrVal)
        throw ComponentError(QStringLiteral("Out of memory passing a text to a Norlix component."));
    return variant;
}

Variant Variant::number(int value)
{
    Variant variant;
    variant.m_variant.vt = VT_I4;
    variant.m_variant.lVal = value;
    return variant;
}

Variant Variant::from(const QVariant &value)
{
    Variant variant;
    if (!value.isValid())
        return variant;
    if (value.typeId() == QMetaType::Bool) {
        variant.m_variant.vt = VT_BOOL;
        variant.m_variant.boolVal = value.toBool() ? VARIANT_TRUE : VARIANT_FALSE;
    } else if (const auto whole = asLong(value)) {
        return number(*whole);
    } else if (isNumber(value)) {
        variant.m_variant.vt = VT_R8;
        variant.m_variant.dblVal = value.toDouble();
    } else {
        return text(value.toString());
    }
    return variant;
}

AutomationObject::AutomationObject(ComRef<IDispatch> dispatch, ComClass component)
    : m_dispatch(std::move(dispatch))
    , m_component(std::move(component))
{
}

AutomationObject AutomationObject::create(const ComClass &component)
{
    // Error information left over from an earlier call must not describe this one.
    SetErrorInfo(0, nullptr);
    CLSID classId {};
    HRESULT result = CLSIDFromProgID(wide(component.progId), &classId);
    ComRef<IDispatch> dispatch;
    if (SUCCEEDED(result))
        result = CoCreateInstance(
            classId, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, dispatch.receiveVoid());
    if (result == REGDB_E_CLASSNOTREG || result == CO_E_CLASSSTRING)
        throw ComponentError(QStringLiteral("%1 (%2) is not installed on this workstation.")
                                 .arg(component.name, component.progId));
    if (FAILED(result))
        throw ComponentError(creationFailure(component, result));
    return AutomationObject(std::move(dispatch), component);
}

void AutomationObject::put(const wchar_t *member, Variant value)
{
    invoke(member, DISPATCH_PROPERTYPUT, std::span(&value, 1));
}

AutomationObject AutomationObject::object(const wchar_t *member)
{
    const Variant result = call(member);
    const VARIANT &value = result.get();
    ComRef<IDispatch> dispatch;
    IUnknown *unknown = nullptr;
    if (value.vt == VT_DISPATCH)
        unknown = value.pdispVal;
    else if (value.vt == VT_UNKNOWN)
        unknown = value.punkVal;
    if (!unknown || FAILED(unknown->QueryInterface(IID_IDispatch, dispatch.receiveVoid())))
        throw ComponentError(QStringLiteral("%1 gave no object to work on from %2.")
                                 .arg(m_component.name, QString::fromWCharArray(member)));
    return AutomationObject(std::move(dispatch), m_component);
}

Variant AutomationObject::invoke(const wchar_t *member, WORD flags, std::span<Variant> arguments)
{
    // Error information left over from an earlier call must not describe this one.
    SetErrorInfo(0, nullptr);
    LPOLESTR name = const_cast<LPOLESTR>(member);
    DISPID id = DISPID_UNKNOWN;
    HRESULT result = m_dispatch.get()->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &id);
    if (FAILED(result))
        fail(member, result, nullptr);

    // Shallow copies, last argument first; the Variants keep what they own.
    std::vector<VARIANTARG> reversed;
    for (auto argument = arguments.rbegin(); argument != arguments.rend(); ++argument)
        reversed.push_back(argument->get());
    DISPID propertyPut = DISPID_PROPERTYPUT;
    DISPPARAMS parameters { reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0 };
    if (flags == DISPATCH_PROPERTYPUT) {
        parameters.rgdispidNamedArgs = &propertyPut;
        parameters.cNamedArgs = 1;
    }
    Variant value;
    ExceptionInfo exception;
    UINT argumentError = 0;
    result = m_dispatch.get()->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &parameters,
        flags == DISPATCH_PROPERTYPUT ? nullptr : value.receive(), &exception, &argumentError);
    if (FAILED(result))
        fail(member, result, &exception);
    return value;
}

void AutomationObject::fail(const wchar_t *member, HRESULT result, EXCEPINFO *exception) const
{
    throw ComponentError(failureDescription(result, exception,
        QStringLiteral("in %1 of %2").arg(QString::fromWCharArray(member), m_component.progId)));
}

QString toText(const Variant &value)
{
    switch (value.get().vt) {
    case VT_EMPTY:
    case VT_NULL:
        return {};
    case VT_BSTR:
        return QString::fromWCharArray(value.get().bstrVal, SysStringLen(value.get().bstrVal));
    default:
        return toText(converted(value, VT_BSTR));
    }
}

bool toBool(const Variant &value)
{
    if (value.get().vt == VT_BOOL)
        return value.get().boolVal != VARIANT_FALSE;
    return converted(value, VT_BOOL).get().boolVal != VARIANT_FALSE;
}

double toDouble(const Variant &value)
{
    if (value.get().vt == VT_R8)
        return value.get().dblVal;
    return converted(value, VT_R8).get().dblVal;
}

} // namespace Norlix

#pragma once

// Late binding to automation objects as a Visual Basic client does it: by name through IDispatch,
// texts passed by value as BSTR, results read in the invariant locale, a failure raised as
// Norlix::ComponentError. MinGW has no comsupp, hence the small owners below.

#include <QString>
#include <QVariant>

#include <windows.h>

#include <oleauto.h>

#include <array>
#include <span>
#include <utility>

namespace Norlix {

// A registered automation class: its ProgID and the name by which the user knows it.
struct ComClass
{
    QString progId;
    QString name;
};

// Owns one BSTR.
class Bstr
{
public:
    Bstr() = default;
    explicit Bstr(BSTR adopted)
        : m_bstr(adopted)
    {
    }
    Bstr(const Bstr &) = delete;
    Bstr &operator=(const Bstr &) = delete;
    ~Bstr() { SysFreeString(m_bstr); }

    [[nodiscard]] QString text() const;
    [[nodiscard]] BSTR *receive() { return &m_bstr; }

private:
    BSTR m_bstr = nullptr;
};

// Owns one VARIANT.
class Variant
{
public:
    Variant() { VariantInit(&m_variant); }
    Variant(Variant &&other) noexcept
        : m_variant(other.m_variant)
    {
        VariantInit(&other.m_variant);
    }
    Variant(const Variant &) = delete;
    Variant &operator=(const Variant &) = delete;
    Variant &operator=(Variant &&) = delete;
    ~Variant() { VariantClear(&m_variant); }

    [[nodiscard]] static Variant text(const QString &value);
    [[nodiscard]] static Variant number(int value);
    // Text as BSTR, whole numbers that fit as VT_I4, other numbers as VT_R8, nothing as VT_EMPTY.
    [[nodiscard]] static Variant from(const QVariant &value);

    [[nodiscard]] const VARIANT &get() const { return m_variant; }
    [[nodiscard]] VARIANT *receive() { return &m_variant; }

private:
    VARIANT m_variant;
};

// Holds one reference to an interface.
template<typename Interface> class ComRef
{
public:
    ComRef() = default;
    ComRef(ComRef &&other) noexcept
        : m_pointer(std::exchange(other.m_pointer, nullptr))
    {
    }
    ComRef(const ComRef &) = delete;
    ComRef &operator=(const ComRef &) = delete;
    ComRef &operator=(ComRef &&) = delete;
    ~ComRef()
    {
        if (m_pointer)
            m_pointer->Release();
    }

    [[nodiscard]] Interface *get() const { return m_pointer; }
    [[nodiscard]] Interface **receive() { return &m_pointer; }
    [[nodiscard]] void **receiveVoid() { return reinterpret_cast<void **>(&m_pointer); }

private:
    Interface *m_pointer = nullptr;
};

// One automation object, kept until this is destroyed. The thread must have initialised COM.
class AutomationObject
{
public:
    // Creates an object of the class; a class that is not registered is named as not installed.
    [[nodiscard]] static AutomationObject create(const ComClass &component);

    // Calls a method or reads a property (Visual Basic may have written either), arguments in
    // their declared order.
    template<typename... Arguments> Variant call(const wchar_t *member, Arguments... arguments)
    {
        std::array<Variant, sizeof...(Arguments)> list { std::move(arguments)... };
        return invoke(member, DISPATCH_METHOD | DISPATCH_PROPERTYGET, list);
    }
    void put(const wchar_t *member, Variant value);
    // The object that a call gives back, reached through the same component.
    [[nodiscard]] AutomationObject object(const wchar_t *member);

private:
    AutomationObject(ComRef<IDispatch> dispatch, ComClass component);
    Variant invoke(const wchar_t *member, WORD flags, std::span<Variant> arguments);
    [[noreturn]] void fail(const wchar_t *member, HRESULT result, EXCEPINFO *exception) const;

    ComRef<IDispatch> m_dispatch;
    ComClass m_component;
};

// Results read as Visual Basic reads them: Empty and Null as empty text, numbers in the invariant
// locale, a Boolean true when it is not zero.
[[nodiscard]] QString toText(const Variant &value);
[[nodiscard]] bool toBool(const Variant &value);
[[nodiscard]] double toDouble(const Variant &value);

} // namespace Norlix

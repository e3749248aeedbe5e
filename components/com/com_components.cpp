#include "com_components.h"

namespace Norlix {
namespace {

// One working object, released when the operation that fetched it is over.
class ComCompanyDatabase : public CompanyDatabase
{
public:
    explicit ComCompanyDatabase(AutomationObject object)
        : m_object(std::move(object))
    {
    }

    bool FileExists(const QString &path) override
    {
        return toBool(m_object.call(L"FileExists", Variant::text(path)));
    }
    QString CompanySetting(const QString &key) override
    {
        return toText(m_object.call(L"CompanySetting", Variant::text(key)));
    }
    QString DatabaseLocation() override { return toText(m_object.call(L"DatabaseLocation")); }
    QString DatabaseFileName() override { return toText(m_object.call(L"DatabaseFileName")); }
    void CompanyLetter(const QString &letter) override
    {
        m_object.put(L"CompanyLetter", Variant::text(letter));
    }
    QString CompanyLetter() override { return toText(m_object.call(L"CompanyLetter")); }
    QString LockOwner(const QString &lockName) override
    {
        return toText(m_object.call(L"LockOwner", Variant::text(lockName)));
    }
    QString AccountsLock(const QString &workstation, const QString &action) override
    {
        return toText(
            m_object.call(L"AccountsLock", Variant::text(workstation), Variant::text(action)));
    }

private:
    AutomationObject m_object;
};

class ComSystemGlobal : public CompanyDatabaseComponent
{
public:
    explicit ComSystemGlobal(const ComClass &component)
        : m_object(AutomationObject::create(component))
    {
    }

    std::unique_ptr<CompanyDatabase> Instance() override
    {
        return std::make_unique<ComCompanyDatabase>(m_object.object(L"Instance"));
    }

private:
    AutomationObject m_object;
};

class ComConverter : public ConverterObject
{
public:
    explicit ComConverter(AutomationObject object)
        : m_object(std::move(object))
    {
    }

    double ToNumber(const QVariant &value) override
    {
        return toDouble(m_object.call(L"ToNumber", Variant::from(value)));
    }

private:
    AutomationObject m_object;
};

class ComNumberConverter : public NumberConverterComponent
{
public:
    explicit ComNumberConverter(const ComClass &component)
        : m_object(AutomationObject::create(component))
    {
    }

    std::unique_ptr<ConverterObject> Converter() override
    {
        return std::make_unique<ComConverter>(m_object.object(L"Converter"));
    }

private:
    AutomationObject m_object;
};

class ComChoiceDialog : public ChoiceDialogComponent
{
public:
    explicit ComChoiceDialog(const ComClass &component)
        : m_object(AutomationObject::create(component))
    {
    }

    // The number goes as a Long (VT_I4): it is an int here, and a component that declares it an
    // Integer converts it, raising an overflow rather than receiving a cut-off value.
    QString ShowChoice(const QString &title, const QString &message, const QString &buttons,
        const QString &style, int number) override
    {
        return toText(m_object.call(L"ShowChoice", Variant::text(title), Variant::text(message),
            Variant::text(buttons), Variant::text(style), Variant::number(number)));
    }

private:
    AutomationObject m_object;
};

} // namespace

std::unique_ptr<CompanyDatabaseComponent> makeComSystemGlobal(const ComClass &component)
{
    return std::make_unique<ComSystemGlobal>(component);
}

std::unique_ptr<NumberConverterComponent> makeComNumberConverter(const ComClass &component)
{
    return std::make_unique<ComNumberConverter>(component);
}

std::unique_ptr<ChoiceDialogComponent> makeComChoiceDialog(const ComClass &component)
{
    return std::make_unique<ComChoiceDialog>(component);
}

} // namespace Norlix

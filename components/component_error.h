#pragma once

#include <QString>

#include <exception>

namespace Norlix {

// The one error the Norlix components raise. Its description is written for the user: it says
// what failed and why, naming the path or setting concerned.
class ComponentError : public std::exception
{
public:
    // Whether the failed request may have changed anything. Only a component that knows for
    // certain that nothing was written (the file stayed busy before the request began, say)
    // says Unchanged; a caller may then repeat the request without doing it twice.
    enum class Effect { Unknown, Unchanged };

    explicit ComponentError(QString description, Effect effect = Effect::Unknown)
        : m_description(std::move(description)), m_utf8(m_description.toUtf8()), m_effect(effect)
    {
    }

    [[nodiscard]] const QString &description() const noexcept { return m_description; }
    [[nodiscard]] const char *what() const noexcept override { return m_utf8.constData(); }
    [[nodiscard]] bool changedNothing() const noexcept { return m_effect == Effect::Unchanged; }

private:
    QString m_description;
    QByteArray m_utf8;
    Effect m_effect;
};

} // namespace Norlix

#pragma once

#include <QString>

#include <exception>

namespace Norlix {

// The one error the Norlix components raise. Its description is written for the user: it says
// what failed and why, naming the path or setting concerned.
class ComponentError : public std::exception
{
public:
    explicit ComponentError(QString description)
        : m_description(std::move(description)), m_utf8(m_description.toUtf8())
    {
    }

    [[nodiscard]] const QString &description() const noexcept { return m_description; }
    [[nodiscard]] const char *what() const noexcept override { return m_utf8.constData(); }

private:
    QString m_description;
    QByteArray m_utf8;
};

} // namespace Norlix

#pragma once

// Shared by the tests of the stand-in Norlix installation.

#include <component_error.h>

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QTest>

#include <functional>

// Runs the call and gives back the description of the ComponentError it raised; fails the
// test when it raised none.
#define NORLIX_EXPECT_ERROR(call, description)                                                     \
    do {                                                                                           \
        bool raised_ = false;                                                                      \
        try {                                                                                      \
            (void)(call);                                                                          \
        } catch (const Norlix::ComponentError &error_) {                                           \
            raised_ = true;                                                                        \
            (description) = error_.description();                                                  \
        }                                                                                          \
        QVERIFY2(raised_, "expected a ComponentError: " #call);                                    \
    } while (false)

[[nodiscard]] inline QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline bool writeFileBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate)
        && file.write(bytes) == bytes.size();
}

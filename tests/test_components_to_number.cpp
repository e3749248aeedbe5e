#include <component_error.h>
#include <standin/to_number.h>

#include <QLocale>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTest>

#include <clocale>
#include <cmath>
#include <cstdlib>
#include <limits>

using Norlix::ComponentError;
using Norlix::toNumber;

class TestToNumber : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void text_data();
    void text();
    void outOfRange_data();
    void outOfRange();
    void heldNumbers_data();
    void heldNumbers();
    void randomTextMatchesTheCLibrary();
};

void TestToNumber::initTestCase()
{
    // A locale with a decimal comma must not change how the point is read.
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
}

void TestToNumber::cleanupTestCase()
{
    QLocale::setDefault(QLocale::c());
}

void TestToNumber::text_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("expected");

    QTest::newRow("empty") << "" << 0.0;
    QTest::newRow("spaces only") << "   " << 0.0;
    QTest::newRow("version") << "6.123" << 6.123;
    QTest::newRow("spaces around") << "  6.123  " << 6.123;
    QTest::newRow("tabs and newline around") << "\t7\n" << 7.0;
    QTest::newRow("trailing text") << "6.12x" << 6.12;
    QTest::newRow("no number") << "abc" << 0.0;
    QTest::newRow("negative") << "-2.5" << -2.5;
    QTest::newRow("plus sign") << "+3" << 3.0;
    QTest::newRow("exponent") << "1e3" << 1000.0;
    QTest::newRow("negative exponent") << "1E-2" << 0.01;
    QTest::newRow("exponent without digits") << "1e" << 1.0;
    QTest::newRow("exponent sign without digits") << "1e+" << 1.0;
    QTest::newRow("exponent then text") << "2.5e3kg" << 2500.0;
    QTest::newRow("point first") << ".5" << 0.5;
    QTest::newRow("point last") << "5." << 5.0;
    QTest::newRow("point alone") << "." << 0.0;
    QTest::newRow("sign alone") << "-" << 0.0;
    QTest::newRow("space after sign") << "- 5" << 0.0;
    QTest::newRow("decimal comma is not a point") << "1,5" << 1.0;
    QTest::newRow("digit grouping stops the number") << "1 000" << 1.0;
    QTest::newRow("second point stops the number") << "1.2.3" << 1.2;
    QTest::newRow("hexadecimal is not read") << "0x10" << 0.0;
    QTest::newRow("infinity is not a number") << "inf" << 0.0;
    QTest::newRow("Infinity is not a number") << "Infinity" << 0.0;
    QTest::newRow("nan is not a number") << "nan" << 0.0;
    QTest::newRow("leading zeros") << "00012" << 12.0;
    QTest::newRow("negative zero") << "-0" << 0.0;
    QTest::newRow("too small to tell from zero") << "1e-400" << 0.0;
    QTest::newRow("huge exponent of zero") << "0e999999999999999999999" << 0.0;
    QTest::newRow("largest double") << "1.7976931348623157e308" << 1.7976931348623157e308;
    QTest::newRow("long fraction") << "0.1000000000000000000000000000001" << 0.1;
    QTest::newRow("arabic-indic digits are not read") << QString::fromUtf8("٣") << 0.0;
}

void TestToNumber::text()
{
    QFETCH(QString, text);
    QFETCH(double, expected);
    QCOMPARE(toNumber(QVariant(text)), expected);
    QCOMPARE(toNumber(QVariant(text.toUtf8())), expected);
}

void TestToNumber::outOfRange_data()
{
    QTest::addColumn<QVariant>("value");
    QTest::newRow("large exponent") << QVariant(QStringLiteral("1e400"));
    QTest::newRow("negative large exponent") << QVariant(QStringLiteral("-1e400"));
    QTest::newRow("four hundred digits") << QVariant(QString(400, u'9'));
    QTest::newRow("exponent beyond any integer")
        << QVariant(QStringLiteral("1e99999999999999999999999"));
    QTest::newRow("held NaN") << QVariant(std::numeric_limits<double>::quiet_NaN());
    QTest::newRow("held infinity") << QVariant(std::numeric_limits<double>::infinity());
    QTest::newRow("held float infinity") << QVariant(-std::numeric_limits<float>::infinity());
}

void TestToNumber::outOfRange()
{
    QFETCH(QVariant, value);
    try {
        const double result = toNumber(value);
        QFAIL(qPrintable(QStringLiteral("gave %1 instead of an error").arg(result)));
    } catch (const ComponentError &error) {
        QVERIFY(!error.description().isEmpty());
    }
}

void TestToNumber::heldNumbers_data()
{
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<double>("expected");
    QTest::newRow("int") << QVariant(42) << 42.0;
    QTest::newRow("negative int") << QVariant(-7) << -7.0;
    QTest::newRow("double") << QVariant(2.5) << 2.5;
    QTest::newRow("float") << QVariant(0.25f) << 0.25;
    QTest::newRow("long long") << QVariant(qint64(1) << 53) << 9007199254740992.0;
    QTest::newRow("largest double")
        << QVariant(std::numeric_limits<double>::max()) << std::numeric_limits<double>::max();
    QTest::newRow("empty value") << QVariant() << 0.0;
    QTest::newRow("true") << QVariant(true) << 1.0;
}

void TestToNumber::heldNumbers()
{
    QFETCH(QVariant, value);
    QFETCH(double, expected);
    QCOMPARE(toNumber(value), expected);
}

// Texts drawn from the characters that matter to a number; the result must agree with the C
// library reading the same leading number in the "C" locale, and never be NaN or infinite.
void TestToNumber::randomTextMatchesTheCLibrary()
{
    std::setlocale(LC_NUMERIC, "C");
    const QString alphabet = QStringLiteral("0123456789+-.eE ,x9");
    const QRegularExpression leadingNumber(
        QStringLiteral(R"(^\s*([+-]?(?:\d+\.?\d*|\.\d+)(?:[eE][+-]?\d+)?))"));
    QRandomGenerator random(20251208);
    for (int round = 0; round < 20000; ++round) {
        QString text;
        const int length = random.bounded(12);
        for (int i = 0; i < length; ++i)
            text += alphabet[random.bounded(int(alphabet.size()))];
        const auto match = leadingNumber.match(text);
        const double expected = match.hasMatch()
            ? std::strtod(match.captured(1).toLatin1().constData(), nullptr)
            : 0.0;
        double result = 0.0;
        try {
            result = toNumber(QVariant(text));
        } catch (const ComponentError &) {
            QVERIFY2(std::isinf(expected), qPrintable(text));
            continue;
        }
        QVERIFY2(std::isfinite(result), qPrintable(text));
        QVERIFY2(result == expected,
            qPrintable(
                QStringLiteral("\"%1\": %2, expected %3").arg(text).arg(result).arg(expected)));
    }
}

QTEST_GUILESS_MAIN(TestToNumber)
#include "test_components_to_number.moc"

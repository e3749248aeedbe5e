// The check's pure pieces: the version cut, the number's text, the temporary name's rounding.

#include <temp_name.h>
#include <version_text.h>

#include <QTest>

#include <bit>
#include <cmath>
#include <limits>
#include <random>

namespace {

const float largestBelowOne = std::nextafter(1.0f, 0.0f);

} // namespace

class TestCheckText : public QObject
{
    Q_OBJECT

private slots:
    void versionCut_data();
    void versionCut();
    void numberText_data();
    void numberText();
    void numberTextReadsBackAsTheSameDouble();
    void unitFloat_data();
    void unitFloat();
    void unitFloatNeverReachesOne();
    void tempNameRounding_data();
    void tempNameRounding();
};

void TestCheckText::versionCut_data()
{
    QTest::addColumn<QString>("setting");
    QTest::addColumn<QString>("version");

    QTest::newRow("prefix and five digits") << "V12345" << QStringLiteral("12345");
    QTest::newRow("prefix and a fraction") << "V1.25" << QStringLiteral("1.25");
    QTest::newRow("longer than six") << "V123456789" << QStringLiteral("12345");
    QTest::newRow("exactly two") << "V7" << QStringLiteral("7");
    QTest::newRow("shorter than two") << "V" << QStringLiteral("");
    QTest::newRow("empty") << "" << QStringLiteral("");
    QTest::newRow("spaces are characters too") << " 1 2 3 4" << QStringLiteral("1 2 3");
    // \U takes eight hex digits: U+1F600 and then the digits 1234567.
    QTest::newRow("a pair of surrogates is one character")
        << QStringLiteral("X\U0001F6001234567") << "\U0001F6001234";
}

void TestCheckText::versionCut()
{
    QFETCH(QString, setting);
    QFETCH(QString, version);
    QCOMPARE(cutVersionText(setting), version);
}

void TestCheckText::numberText_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("text");

    QTest::newRow("integer") << 12345.0 << "12345";
    QTest::newRow("one") << 1.0 << "1";
    QTest::newRow("trailing zeros of an integer") << 1200.0 << "1200";
    QTest::newRow("fraction") << 1.25 << "1.25";
    QTest::newRow("shortest, not seventeen digits") << 0.1 << "0.1";
    QTest::newRow("below one") << 0.5 << "0.5";
    QTest::newRow("small below one") << 0.000125 << "0.000125";
    QTest::newRow("negative integer") << -2.0 << "-2";
    QTest::newRow("negative fraction") << -0.75 << "-0.75";
    QTest::newRow("no grouping") << 1234567.5 << "1234567.5";
    QTest::newRow("fifteen integer digits") << 999999999999999.0 << "999999999999999";
    QTest::newRow("sixteen integer digits") << 1e15 << "1E+15";
    QTest::newRow("large") << 1e16 << "1E+16";
    QTest::newRow("large with digits") << 9007199254740992.0 << "9.007199254740992E+15";
    QTest::newRow("negative large") << -2.5e300 << "-2.5E+300";
    QTest::newRow("largest double")
        << std::numeric_limits<double>::max() << "1.7976931348623157E+308";
    QTest::newRow("fifteen places") << 1e-15 << "0.000000000000001";
    QTest::newRow("sixteen places") << 1e-16 << "1E-16";
    QTest::newRow("tiny") << 1.5e-20 << "1.5E-20";
    QTest::newRow("seventeen significant digits") << 0.1 + 0.2 << "3.0000000000000004E-1";
    QTest::newRow("zero") << 0.0 << "0";
    QTest::newRow("not a number") << std::numeric_limits<double>::quiet_NaN() << "NaN";
    QTest::newRow("infinity") << -std::numeric_limits<double>::infinity() << "-Infinity";
}

void TestCheckText::numberText()
{
    QFETCH(double, value);
    QFETCH(QString, text);
    QCOMPARE(generalNumberText(value), text);
}

void TestCheckText::numberTextReadsBackAsTheSameDouble()
{
    std::mt19937_64 generator(20240611);
    std::uniform_int_distribution<std::uint64_t> bits;
    for (int i = 0; i < 20000; ++i) {
        const double value = std::bit_cast<double>(bits(generator));
        if (!std::isfinite(value) || value == 0)
            continue;
        const QString text = generalNumberText(value);
        bool ok = false;
        const double readBack = text.toDouble(&ok);
        QVERIFY2(ok && readBack == value, qPrintable(text));
        QVERIFY2(!text.contains(QLatin1Char(',')), qPrintable(text));
    }
}

void TestCheckText::unitFloat_data()
{
    QTest::addColumn<quint32>("bits");
    QTest::addColumn<float>("r");

    QTest::newRow("all clear") << quint32(0) << 0.0f;
    QTest::newRow("low byte unused") << quint32(0xFF) << 0.0f;
    QTest::newRow("top bit") << quint32(0x80000000) << 0.5f;
    QTest::newRow("lowest used bit") << quint32(0x100) << std::ldexp(1.0f, -24);
    QTest::newRow("all set") << quint32(0xFFFFFFFF) << largestBelowOne;
}

void TestCheckText::unitFloat()
{
    QFETCH(quint32, bits);
    QFETCH(float, r);
    QCOMPARE(unitFloatFromBits(bits), r);
}

void TestCheckText::unitFloatNeverReachesOne()
{
    std::mt19937 generator(7);
    for (int i = 0; i < 100000; ++i) {
        const float r = unitFloatFromBits(static_cast<std::uint32_t>(generator()));
        QVERIFY(r >= 0.0f && r < 1.0f);
    }
}

void TestCheckText::tempNameRounding_data()
{
    QTest::addColumn<float>("r");
    QTest::addColumn<int>("number");

    QTest::newRow("zero") << 0.0f << 0;
    QTest::newRow("312.5 to even 312") << 0.03125f << 312;
    QTest::newRow("937.5 to even 938") << 0.09375f << 938;
    QTest::newRow("1562.5 to even 1562") << 0.15625f << 1562;
    QTest::newRow("2187.5 to even 2188") << 0.21875f << 2188;
    QTest::newRow("just above a half") << std::nextafter(0.03125f, 1.0f) << 313;
    QTest::newRow("just below a half") << std::nextafter(0.09375f, 0.0f) << 937;
    QTest::newRow("156.25 down") << 0.015625f << 156;
    QTest::newRow("largest float below one") << largestBelowOne << 10000;
    QTest::newRow("one is kept below one") << 1.0f << 10000;
    QTest::newRow("negative") << -0.5f << 0;
    QTest::newRow("not a number") << std::numeric_limits<float>::quiet_NaN() << 0;
}

void TestCheckText::tempNameRounding()
{
    QFETCH(float, r);
    QFETCH(int, number);
    QCOMPARE(tempNameNumber(r), number);
    QCOMPARE(tempWorkstationName(r), QStringLiteral("TEMP") + QString::number(number));
}

QTEST_APPLESS_MAIN(TestCheckText)
#include "test_check_text.moc"

#include <com/class_registration.h>
#include <com/com_components.h>
#include <com_test_server/test_server_classes.h>
#include <component_error.h>
#include <components.h>
#include <fresh_objects.h>
#include <test_support.h>

#include <QCoreApplication>
#include <QDir>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTest>

#include <windows.h>

#include <string>

using namespace Norlix;

namespace {

const ComClasses testClasses {
    { QString::fromWCharArray(testSystemGlobal.progId), QStringLiteral("The test database") },
    { QString::fromWCharArray(testNumberConverter.progId), QStringLiteral("The test converter") },
    { QString::fromWCharArray(testChoiceDialog.progId), QStringLiteral("The test dialog") },
};
// A ProgID whose class is not registered.
constexpr AutomationServer::ServedClass unregisteredClass { L"PrismorTest.Unregistered",
    L"{2B0E5C43-57D6-4E0B-9C55-5D1E4F0C7A11}", L"Nothing" };
const AutomationServer::ServedClass testClassList[]
    = { testSystemGlobal, testNumberConverter, testChoiceDialog };

// A ProgID that names a class no server offers.
bool registerProgIdAlone(const AutomationServer::ServedClass &named)
{
    const std::wstring key = L"Software\\Classes\\" + std::wstring(named.progId) + L"\\CLSID";
    const auto size = static_cast<DWORD>((wcslen(named.classId) + 1) * sizeof(wchar_t));
    return RegSetKeyValueW(HKEY_LOCAL_MACHINE, key.c_str(), nullptr, REG_SZ, named.classId, size)
        == ERROR_SUCCESS;
}

template<typename Operation> QString failure(Operation operation)
{
    try {
        operation();
    } catch (const ComponentError &error) {
        return error.description();
    }
    return QStringLiteral("(no error)");
}

} // namespace

class TestComClient : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void cleanupTestCase();

    void databaseOperationsAsVisualBasicCallsThem();
    void settingsReadAsText_data();
    void settingsReadAsText();
    void companyLetterWrittenAsPropertyPut();
    void failuresDescribed_data();
    void failuresDescribed();
    void workingObjectsLastOneOperation();
    void toNumberTakesAVariant_data();
    void toNumberTakesAVariant();
    void showChoicePassesItsArguments();
    void unregisteredClassIsNotInstalled();
    void serverFileMissingIsNamed();

private:
    [[nodiscard]] long live(const wchar_t *className) const { return m_liveObjects(className); }
    // The members invoked, only those of className when it is given.
    [[nodiscard]] QStringList log(const QString &className = {}) const;

    HMODULE m_server = nullptr;
    TestServerLiveObjects m_liveObjects = nullptr;
    TestServerLog m_log = nullptr;
    TestServerReset m_reset = nullptr;
};

void TestComClient::initTestCase()
{
    const std::wstring dll
        = QDir::toNativeSeparators(QStringLiteral(COM_TEST_SERVER_DLL)).toStdWString();
    m_server = LoadLibraryW(dll.c_str());
    QVERIFY(m_server);
    m_liveObjects = reinterpret_cast<TestServerLiveObjects>(
        reinterpret_cast<void *>(GetProcAddress(m_server, "testServerLiveObjects")));
    m_log = reinterpret_cast<TestServerLog>(
        reinterpret_cast<void *>(GetProcAddress(m_server, "testServerLog")));
    m_reset = reinterpret_cast<TestServerReset>(
        reinterpret_cast<void *>(GetProcAddress(m_server, "testServerReset")));
    QVERIFY(m_liveObjects && m_log && m_reset);

    const auto registered = AutomationServer::registerServer(testClassList, dll);
    QVERIFY2(registered.done, qPrintable(QString::fromStdWString(registered.message)));
    QVERIFY(registerProgIdAlone(unregisteredClass));
}

void TestComClient::init()
{
    m_reset();
    useComponentFactories({ [] { return makeComSystemGlobal(testClasses.systemGlobal); },
        [] { return makeComNumberConverter(testClasses.numberConverter); },
        [] { return makeComChoiceDialog(testClasses.choiceDialog); } });
}

void TestComClient::cleanup()
{
    resetComponents();
    for (const wchar_t *name :
        { L"SystemGlobal", L"CompanyDatabase", L"NumberConverter", L"Converter", L"ChoiceDialog" })
        QVERIFY2(live(name) == 0, qPrintable(QString::fromWCharArray(name) + " left alive"));
}

void TestComClient::cleanupTestCase()
{
    QVERIFY(AutomationServer::unregisterServer(testClassList).done);
    RegDeleteTreeW(HKEY_LOCAL_MACHINE,
        (L"Software\\Classes\\" + std::wstring(unregisteredClass.progId)).c_str());
    FreeLibrary(m_server);
}

QStringList TestComClient::log(const QString &className) const
{
    QStringList lines = QString::fromWCharArray(m_log()).split(u'\n', Qt::SkipEmptyParts);
    if (!className.isEmpty())
        lines = lines.filter(QRegularExpression(QStringLiteral("^%1\\.").arg(className)));
    return lines;
}

void TestComClient::databaseOperationsAsVisualBasicCallsThem()
{
    const QString location = QStringLiteral("C:\\Norlix\\Companies\\A\\");
    QCOMPARE(freshCompanyDatabase()->DatabaseLocation(), location);
    QCOMPARE(freshCompanyDatabase()->DatabaseFileName(), QStringLiteral("Company.mdb"));
    QVERIFY(freshCompanyDatabase()->FileExists(location + "Company.mdb"));
    QVERIFY(!freshCompanyDatabase()->FileExists(location + "company.mdb"));
    QCOMPARE(freshCompanyDatabase()->AccountsLock("PC1", "LOCK"), QStringLiteral("PC1"));
    QCOMPARE(freshCompanyDatabase()->AccountsLock("PC2", "LOCK"), QStringLiteral("PC1"));
    QCOMPARE(freshCompanyDatabase()->LockOwner("LA"), QStringLiteral("PC1"));

    QCOMPARE(log("CompanyDatabase"),
        QStringList({ "CompanyDatabase.DatabaseLocation METHOD|PROPERTYGET",
            "CompanyDatabase.DatabaseFileName METHOD|PROPERTYGET",
            "CompanyDatabase.FileExists METHOD|PROPERTYGET BSTR=" + location + "Company.mdb",
            "CompanyDatabase.FileExists METHOD|PROPERTYGET BSTR=" + location + "company.mdb",
            "CompanyDatabase.AccountsLock METHOD|PROPERTYGET BSTR=PC1 BSTR=LOCK",
            "CompanyDatabase.AccountsLock METHOD|PROPERTYGET BSTR=PC2 BSTR=LOCK",
            "CompanyDatabase.LockOwner METHOD|PROPERTYGET BSTR=LA" }));
}

void TestComClient::settingsReadAsText_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("expected");
    QTest::newRow("text beyond ASCII")
        << "Companyname" << QString::fromUtf8("Bäckerei Ørsted & Søn");
    QTest::newRow("Double, invariant locale") << "CompanyVersNbr"
                                              << "6.5";
    QTest::newRow("Long") << "Count"
                          << "42";
    QTest::newRow("Null") << "AcctDBtidyMonth"
                          << "";
    QTest::newRow("Empty") << "Unset"
                           << "";
}

void TestComClient::settingsReadAsText()
{
    QFETCH(QString, key);
    QFETCH(QString, expected);
    // A user whose numbers have a decimal comma: the setting's text must not take it.
    wchar_t decimal[8] = {};
    QVERIFY(GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, decimal, 8) > 0);
    QVERIFY(SetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, L","));
    const auto restore
        = qScopeGuard([&] { SetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, decimal); });

    const QString value = freshCompanyDatabase()->CompanySetting(key);
    QCOMPARE(value, expected);
    QVERIFY(!value.isNull() || expected.isEmpty());
}

void TestComClient::companyLetterWrittenAsPropertyPut()
{
    freshCompanyDatabase()->CompanyLetter(QStringLiteral("B"));
    QCOMPARE(freshCompanyDatabase()->CompanyLetter(), QStringLiteral("B"));
    QCOMPARE(failure([] { freshCompanyDatabase()->CompanyLetter(QStringLiteral("7")); }),
        QStringLiteral("There is no company 7."));
    QCOMPARE(log("CompanyDatabase"),
        QStringList({ "CompanyDatabase.CompanyLetter PROPERTYPUT BSTR=B named:-3",
            "CompanyDatabase.CompanyLetter METHOD|PROPERTYGET",
            "CompanyDatabase.CompanyLetter PROPERTYPUT BSTR=7 named:-3" }));
}

void TestComClient::failuresDescribed_data()
{
    QTest::addColumn<QString>("before"); // a setting read first, successfully
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("expected");
    QTest::newRow("Err.Raise") << ""
                               << "Raised"
                               << "The company settings cannot be read: the database is busy.";
    QTest::newRow("deferred fill-in") << ""
                                      << "Deferred"
                                      << "The setting is kept where it cannot be read.";
    QTest::newRow("error information only") << ""
                                            << "ErrorInfo"
                                            << "The settings table is damaged.";
    // Wine's text for E_ACCESSDENIED; Windows says "Access is denied."
    const QString denied = QStringLiteral(
        "Access denied. (error 0x80070005 in CompanySetting of PrismorTest.SystemGlobal)");
    QTest::newRow("HRESULT alone") << ""
                                   << "Denied" << denied;
    QTest::newRow("error information left by a call that succeeded") << "LeavesErrorInfo"
                                                                     << "Denied" << denied;
}

void TestComClient::failuresDescribed()
{
    QFETCH(QString, before);
    QFETCH(QString, key);
    QFETCH(QString, expected);
    if (!before.isEmpty())
        QCOMPARE(freshCompanyDatabase()->CompanySetting(before), QString());
    QCOMPARE(failure([&] { (void)freshCompanyDatabase()->CompanySetting(key); }), expected);
}

void TestComClient::workingObjectsLastOneOperation()
{
    QCOMPARE(live(L"SystemGlobal"), 0);
    QCOMPARE(freshCompanyDatabase()->CompanyLetter(), QStringLiteral("A"));
    QCOMPARE(live(L"SystemGlobal"), 1);
    QCOMPARE(live(L"CompanyDatabase"), 0);
    {
        const auto database = freshCompanyDatabase();
        QCOMPARE(live(L"CompanyDatabase"), 1);
    }
    QCOMPARE(live(L"CompanyDatabase"), 0);
    QVERIFY(
        failure([] { (void)freshCompanyDatabase()->CompanySetting("Raised"); }) != "(no error)");
    QCOMPARE(live(L"CompanyDatabase"), 0);
    QCOMPARE(freshConverter()->ToNumber(QVariant(1)), 1.0);
    QCOMPARE(live(L"Converter"), 0);
    QCOMPARE(live(L"NumberConverter"), 1);
    QCOMPARE(live(L"SystemGlobal"), 1);

    QCOMPARE(log(),
        QStringList({ "SystemGlobal.Instance METHOD|PROPERTYGET",
            "CompanyDatabase.CompanyLetter METHOD|PROPERTYGET",
            "SystemGlobal.Instance METHOD|PROPERTYGET", "SystemGlobal.Instance METHOD|PROPERTYGET",
            "CompanyDatabase.CompanySetting METHOD|PROPERTYGET BSTR=Raised",
            "NumberConverter.Converter METHOD|PROPERTYGET",
            "Converter.ToNumber METHOD|PROPERTYGET I4=1" }));
}

void TestComClient::toNumberTakesAVariant_data()
{
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<QString>("passed");
    QTest::addColumn<double>("expected");
    QTest::newRow("text") << QVariant(QStringLiteral("6.123")) << "BSTR=6.123" << 6.123;
    QTest::newRow("empty text") << QVariant(QString()) << "BSTR=" << 0.0;
    QTest::newRow("int") << QVariant(7) << "I4=7" << 7.0;
    QTest::newRow("double") << QVariant(2.25) << "R8=2.25" << 2.25;
    QTest::newRow("too large for a Long") << QVariant(5000000000LL) << "R8=5000000000" << 5e9;
    QTest::newRow("unsigned, too large for a Long")
        << QVariant(4294967295u) << "R8=4294967295" << 4294967295.0;
    QTest::newRow("nothing") << QVariant() << "EMPTY" << 0.0;
}

void TestComClient::toNumberTakesAVariant()
{
    QFETCH(QVariant, value);
    QFETCH(QString, passed);
    QFETCH(double, expected);
    QCOMPARE(freshConverter()->ToNumber(value), expected);
    QCOMPARE(log("Converter"), QStringList("Converter.ToNumber METHOD|PROPERTYGET " + passed));
}

void TestComClient::showChoicePassesItsArguments()
{
    QCOMPARE(ChoiceDialog().ShowChoice(
                 "CAUTION", Texts::lockMessage, "Retry  Exit  Unlock", "warning", 0),
        QStringLiteral("Unlock"));
    QCOMPARE(log(),
        QStringList("ChoiceDialog.ShowChoice METHOD|PROPERTYGET BSTR=CAUTION BSTR="
            + Texts::lockMessage + " BSTR=Retry  Exit  Unlock BSTR=warning I4=0"));
}

void TestComClient::unregisteredClassIsNotInstalled()
{
    // The Norlix names, under ProgIDs that this session has not registered.
    const auto absent = [](const ComClass &component) {
        return ComClass { component.progId + QStringLiteral("Absent"), component.name };
    };
    const QString notInstalled = QStringLiteral(" is not installed on this workstation.");
    QCOMPARE(failure([&] { makeComSystemGlobal(absent(norlixComClasses.systemGlobal)); }),
        "The Norlix company database component (Norlix.SystemGlobalAbsent)" + notInstalled);
    QCOMPARE(failure([&] { makeComNumberConverter(absent(norlixComClasses.numberConverter)); }),
        "The Norlix number converter component (Norlix.NumberConverterAbsent)" + notInstalled);
    QCOMPARE(failure([&] { makeComChoiceDialog(absent(norlixComClasses.choiceDialog)); }),
        "The Norlix choice dialog component (Norlix.ChoiceDialogAbsent)" + notInstalled);
    // Its ProgID is there, its class is not.
    QCOMPARE(failure([] {
        makeComSystemGlobal({ QStringLiteral("PrismorTest.Unregistered"), QStringLiteral("A") });
    }),
        "A (PrismorTest.Unregistered)" + notInstalled);
}

// A class whose registration outlived its file: the message names the component and the file.
void TestComClient::serverFileMissingIsNamed()
{
    constexpr AutomationServer::ServedClass missing[] = { { L"PrismorTest.Missing",
        L"{A73A724E-1400-4B16-B030-968D4815759D}", L"A class whose file is gone" } };
    const std::wstring file = L"C:\\Norlix\\Gone\\NorlixComponents.dll";
    QVERIFY(AutomationServer::registerServer(missing, file).done);
    const auto unregister
        = qScopeGuard([&] { (void)AutomationServer::unregisterServer(missing); });

    const QString description = failure([] {
        makeComSystemGlobal({ QStringLiteral("PrismorTest.Missing"), QStringLiteral("The test database") });
    });
    QVERIFY2(description.startsWith(QStringLiteral("The test database (PrismorTest.Missing) could "
                                                   "not be started from C:\\Norlix\\Gone\\NorlixComponents.dll: ")),
        qPrintable(description));
    QVERIFY2(description.contains(QStringLiteral("(error 0x8")), qPrintable(description));
}

PRISMOR_COM_TEST_MAIN(TestComClient)

#include "test_components_com_client.moc"

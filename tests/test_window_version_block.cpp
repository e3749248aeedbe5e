// Prismor.exe's version block and icon: the resource script is compiled with a Windows resource
// compiler from Debian's packages (binutils-mingw-w64), and the compiled resources are read back
// by the same compiler as a script of their own.

#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>

class TestWindowVersionBlock : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void versionBlock();
    void applicationIcon();

private:
    // Runs windres and gives back what it printed; nothing, and a warning, when it failed.
    QByteArray windres(const QStringList &arguments);

    QString m_windres;
    QTemporaryDir m_output;
    QString m_script; // the compiled resources decompiled, without the icons' pixels
};

QByteArray TestWindowVersionBlock::windres(const QStringList &arguments)
{
    QProcess compiler;
    compiler.setWorkingDirectory(QStringLiteral(PRISMOR_RESOURCES_DIR));
    compiler.start(m_windres, arguments);
    const bool ran = compiler.waitForFinished(60000)
        && compiler.exitStatus() == QProcess::NormalExit && compiler.exitCode() == 0;
    if (!ran)
        qWarning("windres %s: %s", qPrintable(arguments.join(u' ')),
            compiler.readAllStandardError().constData());
    return ran ? compiler.readAllStandardOutput() : QByteArray();
}

void TestWindowVersionBlock::initTestCase()
{
    m_windres = QStandardPaths::findExecutable(QStringLiteral("x86_64-w64-mingw32-windres"));
    if (m_windres.isEmpty())
        QSKIP("No Windows resource compiler: x86_64-w64-mingw32-windres is missing (Debian "
              "package binutils-mingw-w64-x86-64, installed by scripts/install-dependencies.sh)");

    // windres hands the script to a C preprocessor: the MinGW compiler where there is one,
    // otherwise the system's own, which serves as well for a script that includes no headers.
    QStringList arguments;
    if (QStandardPaths::findExecutable(QStringLiteral("x86_64-w64-mingw32-gcc")).isEmpty()) {
        const QString cpp = QStandardPaths::findExecutable(QStringLiteral("cpp"));
        if (cpp.isEmpty())
            QSKIP("No C preprocessor for windres: neither x86_64-w64-mingw32-gcc nor cpp found");
        arguments << QStringLiteral("--preprocessor=") + cpp;
    }
    QVERIFY(m_output.isValid());
    const QString res = m_output.filePath(QStringLiteral("prismor.res"));
    windres(arguments
        + QStringList { "-O", "res", "-i", PRISMOR_RESOURCES_DIR "/prismor.rc", "-o", res });
    const QStringList lines = QString::fromUtf8(windres({ "-O", "rc", "-i", res })).split(u'\n');
    for (const QString &line : lines)
        if (!line.startsWith(QLatin1String("  0x")))
            m_script += line.trimmed() + u'\n';
    QVERIFY2(m_script.contains(QLatin1String("VERSIONINFO")), qPrintable(m_script));
}

void TestWindowVersionBlock::versionBlock()
{
    QCOMPARE(m_script.count(QLatin1String("VERSIONINFO")), 1);
    QString block = m_script.section(QStringLiteral("\n1 VERSIONINFO\n"), 1).trimmed();
    // Any company may build it, but some company has to be named.
    static const QRegularExpression company(QStringLiteral("VALUE \"CompanyName\", \"[^\"]+\"\n"));
    QVERIFY2(block.contains(company), qPrintable(block));
    block.remove(company);
    // No FILEFLAGS: none are set, so it is not a debug or patched build.
    QCOMPARE(block,
        QStringLiteral(
            "FILEVERSION 1, 0, 0, 0\nPRODUCTVERSION 1, 0, 0, 0\nFILEFLAGSMASK 0x3f\n"
            "FILEOS 0x4\nFILETYPE 0x1\nBEGIN\nBLOCK \"StringFileInfo\"\nBEGIN\n"
            "BLOCK \"040904B0\"\nBEGIN\nVALUE \"FileVersion\", \"1.00\"\n"
            "VALUE \"InternalName\", \"Prismor\"\n"
            "VALUE \"OriginalFilename\", \"Prismor.exe\"\n"
            "VALUE \"ProductName\", \"Prismor\"\nVALUE \"ProductVersion\", \"1.00\"\n"
            "END\nEND\nBLOCK \"VarFileInfo\"\nBEGIN\nVALUE \"Translation\", 0x409, 1200\n"
            "END\nEND"));
}

void TestWindowVersionBlock::applicationIcon()
{
    QCOMPARE(m_script.count(QLatin1String(" 3 /* RT_ICON */ ")), 2);
    QCOMPARE(m_script.count(QLatin1String(" 14 /* RT_GROUP_ICON */ ")), 1);
    // An icon (type 1, not a cursor) of two images, each listed by its width and height.
    QVERIFY2(m_script.contains(QLatin1String("\n0, 1, 2,")), qPrintable(m_script));
    static const QRegularExpression image(
        QStringLiteral(R"("\\(\d{3})\\(\d{3})\\000\\000", 1, 32,)"));
    QList<int> sides;
    for (const QRegularExpressionMatch &match : image.globalMatch(m_script)) {
        QCOMPARE(match.captured(1), match.captured(2)); // square
        sides << match.captured(1).toInt(nullptr, 8);
    }
    std::sort(sides.begin(), sides.end());
    QCOMPARE(sides, QList<int>({ 16, 32 }));
}

QTEST_GUILESS_MAIN(TestWindowVersionBlock)
#include "test_window_version_block.moc"

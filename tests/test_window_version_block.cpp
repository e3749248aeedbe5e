// Prismor.exe's version block and icon: the resource script is compiled with a Windows resource
// compiler from Debian's packages (binutils-mingw-w64) and every field is read back from the
// compiled resources.

#include <QByteArray>
#include <QFile>
#include <QMap>
#include <QObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include <cstring>

namespace {

constexpr quint16 iconType = 3;
constexpr quint16 groupIconType = 14;
constexpr quint16 versionType = 16;

struct Resource
{
    quint16 type = 0;
    quint16 id = 0;
    quint16 language = 0;
    QByteArray data;
};

qsizetype aligned(qsizetype offset)
{
    return (offset + 3) & ~qsizetype(3);
}

// Reads past the end of a damaged file give 0, which ends every walk through it.
template<typename Integer> Integer littleEndian(const QByteArray &bytes, qsizetype offset)
{
    if (offset < 0 || offset > bytes.size() - qsizetype(sizeof(Integer)))
        return 0;
    Integer value = 0;
    std::memcpy(&value, bytes.constData() + offset, sizeof(Integer));
    return qFromLittleEndian(value);
}

quint16 word(const QByteArray &bytes, qsizetype offset)
{
    return littleEndian<quint16>(bytes, offset);
}

quint32 dword(const QByteArray &bytes, qsizetype offset)
{
    return littleEndian<quint32>(bytes, offset);
}

// A resource's type or name: a number (0xFFFF, id) or a text; returns where it ends.
qsizetype readOrdinal(const QByteArray &bytes, qsizetype offset, quint16 *id)
{
    if (word(bytes, offset) == 0xFFFF) {
        *id = word(bytes, offset + 2);
        return offset + 4;
    }
    *id = 0;
    while (word(bytes, offset) != 0)
        offset += 2;
    return offset + 2;
}

// The entries of a compiled .res file, the empty first entry left out.
QList<Resource> readResources(const QByteArray &file)
{
    QList<Resource> resources;
    qsizetype offset = 0;
    while (offset + 32 <= file.size()) {
        const quint32 dataSize = dword(file, offset);
        const quint32 headerSize = dword(file, offset + 4);
        Resource resource;
        qsizetype field = readOrdinal(file, offset + 8, &resource.type);
        field = aligned(readOrdinal(file, field, &resource.id));
        resource.language = word(file, field + 6);
        resource.data = file.mid(offset + headerSize, dataSize);
        if (dataSize > 0)
            resources << resource;
        offset = aligned(offset + headerSize + dataSize);
    }
    return resources;
}

// One block of the version tree: a key, a value and child blocks.
struct VersionNode
{
    QString key;
    quint16 type = 0; // 1: the value is text, 0: binary
    QByteArray value;
    QList<VersionNode> children;

    [[nodiscard]] QString text() const
    {
        QString result = QString::fromUtf16(
            reinterpret_cast<const char16_t *>(value.constData()), value.size() / 2);
        while (result.endsWith(QChar(0)))
            result.chop(1);
        return result;
    }
    [[nodiscard]] QStringList childKeys() const
    {
        QStringList keys;
        for (const VersionNode &child : children)
            keys << child.key;
        return keys;
    }
};

VersionNode readVersionNode(const QByteArray &data, qsizetype offset)
{
    VersionNode node;
    const qsizetype end = offset + word(data, offset);
    const quint16 valueLength = word(data, offset + 2);
    node.type = word(data, offset + 4);
    qsizetype position = offset + 6;
    while (position < end && word(data, position) != 0) {
        node.key += QChar(word(data, position));
        position += 2;
    }
    position = aligned(position + 2);
    const qsizetype valueBytes = node.type == 1 ? valueLength * 2 : valueLength;
    node.value = data.mid(position, valueBytes);
    position = aligned(position + valueBytes);
    while (position + 6 <= end) {
        const quint16 childLength = word(data, position);
        if (childLength == 0)
            break;
        node.children << readVersionNode(data, position);
        position = aligned(position + childLength);
    }
    return node;
}

} // namespace

class TestWindowVersionBlock : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void versionBlock();
    void applicationIcon();

private:
    QTemporaryDir m_output;
    QList<Resource> m_resources;
};

void TestWindowVersionBlock::initTestCase()
{
    const QString windres
        = QStandardPaths::findExecutable(QStringLiteral("x86_64-w64-mingw32-windres"));
    if (windres.isEmpty())
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
    arguments << QStringLiteral("-O") << QStringLiteral("res") << QStringLiteral("-i")
              << QStringLiteral(PRISMOR_RESOURCES_DIR "/prismor.rc") << QStringLiteral("-o") << res;

    QProcess compiler;
    compiler.setWorkingDirectory(QStringLiteral(PRISMOR_RESOURCES_DIR));
    compiler.start(windres, arguments);
    QVERIFY(compiler.waitForFinished(60000));
    QVERIFY2(compiler.exitStatus() == QProcess::NormalExit && compiler.exitCode() == 0,
        compiler.readAllStandardError().constData());

    QFile compiled(res);
    QVERIFY(compiled.open(QIODevice::ReadOnly));
    m_resources = readResources(compiled.readAll());
    QVERIFY(!m_resources.isEmpty());
}

void TestWindowVersionBlock::versionBlock()
{
    QList<Resource> versions;
    for (const Resource &resource : std::as_const(m_resources))
        if (resource.type == versionType)
            versions << resource;
    QCOMPARE(versions.size(), 1);
    QCOMPARE(versions.first().id, 1);

    const VersionNode root = readVersionNode(versions.first().data, 0);
    QCOMPARE(root.key, QStringLiteral("VS_VERSION_INFO"));
    QCOMPARE(root.value.size(), 52);
    const QByteArray &fixed = root.value;
    QCOMPARE(dword(fixed, 0), 0xFEEF04BDu); // signature
    QCOMPARE(dword(fixed, 8), 0x00010000u); // file version 1.0
    QCOMPARE(dword(fixed, 12), 0x00000000u); //              .0.0
    QCOMPARE(dword(fixed, 16), 0x00010000u); // product version 1.0
    QCOMPARE(dword(fixed, 20), 0x00000000u); //                 .0.0
    QCOMPARE(dword(fixed, 28), 0x00000000u); // no flags: not a debug or patched build
    QCOMPARE(dword(fixed, 32), 0x00000004u); // VOS__WINDOWS32
    QCOMPARE(dword(fixed, 36), 0x00000001u); // VFT_APP

    QCOMPARE(root.childKeys(), QStringList({ "StringFileInfo", "VarFileInfo" }));
    const VersionNode &stringInfo = root.children.at(0);
    QCOMPARE(stringInfo.childKeys(), QStringList { QStringLiteral("040904B0") });
    QMap<QString, QString> strings;
    for (const VersionNode &entry : stringInfo.children.first().children) {
        QCOMPARE(entry.type, 1);
        strings.insert(entry.key, entry.text());
    }
    QVERIFY(!strings.value(QStringLiteral("CompanyName")).isEmpty());
    strings.remove(QStringLiteral("CompanyName"));
    const QMap<QString, QString> expected = {
        { QStringLiteral("ProductName"), QStringLiteral("Prismor") },
        { QStringLiteral("FileVersion"), QStringLiteral("1.00") },
        { QStringLiteral("ProductVersion"), QStringLiteral("1.00") },
        { QStringLiteral("InternalName"), QStringLiteral("Prismor") },
        { QStringLiteral("OriginalFilename"), QStringLiteral("Prismor.exe") },
    };
    QCOMPARE(strings, expected);

    const VersionNode &varInfo = root.children.at(1);
    QCOMPARE(varInfo.childKeys(), QStringList { QStringLiteral("Translation") });
    const QByteArray translation = varInfo.children.first().value;
    QCOMPARE(translation.size(), 4);
    QCOMPARE(word(translation, 0), 0x0409);
    QCOMPARE(word(translation, 2), 0x04B0);
}

void TestWindowVersionBlock::applicationIcon()
{
    QList<Resource> groups;
    int images = 0;
    for (const Resource &resource : std::as_const(m_resources)) {
        if (resource.type == groupIconType)
            groups << resource;
        images += resource.type == iconType;
    }
    QCOMPARE(groups.size(), 1);
    const QByteArray &group = groups.first().data;
    QCOMPARE(word(group, 2), 1); // an icon, not a cursor
    const int count = word(group, 4);
    QCOMPARE(count, 2);
    QCOMPARE(images, 2);
    QList<int> sides;
    for (int i = 0; i < count; ++i) {
        const qsizetype entry = 6 + 14 * i;
        QCOMPARE(quint8(group.at(entry)), quint8(group.at(entry + 1))); // square
        sides << quint8(group.at(entry));
    }
    std::sort(sides.begin(), sides.end());
    QCOMPARE(sides, QList<int>({ 16, 32 }));
}

QTEST_GUILESS_MAIN(TestWindowVersionBlock)
#include "test_window_version_block.moc"

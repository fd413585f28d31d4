// The version record and its readers: the program's own record reads back as its version, hostile
// records and hostile ELF files give an empty text without reading out of bounds, and an executable
// linked like the program carries the record in its file.
#include "about/versionfields.h"
#include "about/versionrecord.h"
#include "buildconfig.h"

#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

#include <iterator>

using VersionRecord::Fields;

namespace {

QByteArray programRecord()
{
    return VersionRecord::build(VersionRecord::programFields());
}

QByteArray utf16z(const QString &text)
{
    QByteArray out;
    for (const QChar c : text + QChar(0)) {
        out.append(char(c.unicode() & 0xFF));
        out.append(char(c.unicode() >> 8));
    }
    return out;
}

quint16 wordAt(const QByteArray &data, qsizetype offset)
{
    return qFromLittleEndian<quint16>(data.constData() + offset);
}

quint32 dwordAt(const QByteArray &data, qsizetype offset)
{
    return qFromLittleEndian<quint32>(data.constData() + offset);
}

// The header of the first node whose key is key.
qsizetype nodeOffset(const QByteArray &record, const QString &key)
{
    const qsizetype keyAt = record.indexOf(utf16z(key));
    return keyAt < 0 ? -1 : keyAt - 6;
}

enum HeaderWord
{
    Length = 0,
    ValueLength = 2,
    Type = 4
};

QByteArray patched(QByteArray record, const QString &key, HeaderWord word, quint16 value)
{
    const qsizetype at = nodeOffset(record, key);
    Q_ASSERT(at >= 0);
    qToLittleEndian<quint16>(value, record.data() + at + word);
    return record;
}

Fields twoLanguageFields(bool russianHasVersion, bool englishHasVersion, bool englishFirst)
{
    Fields fields = VersionRecord::programFields();
    QList<QPair<QString, QString>> russian = {{"ProductName", "Ondavo"}};
    QList<QPair<QString, QString>> english = {{"ProductName", "Ondavo"}};
    if (russianHasVersion)
        russian.append(qMakePair(QStringLiteral("FileVersion"), QStringLiteral("1.0.7.7")));
    if (englishHasVersion)
        english.append(qMakePair(QStringLiteral("FileVersion"), QStringLiteral("2.0")));
    fields.stringTables = {{"041904E3", russian}, {"040904E4", english}};
    fields.translations = {{0x0419, 0x04E3}, {0x0409, 0x04E4}};
    if (englishFirst)
        std::swap(fields.translations[0], fields.translations[1]);
    return fields;
}

// A minimal ELF file: a null section, the section-name table and one data section, in any of the
// four layouts, with helpers to damage it field by field.
class SyntheticElf
{
public:
    static constexpr int namesSection = 1;
    static constexpr int dataSection = 2;

    SyntheticElf(bool is64, bool bigEndian, const QByteArray &payload, const QByteArray &dataName)
        : m_is64(is64), m_bigEndian(bigEndian)
    {
        const QByteArray names = QByteArray("\0.shstrtab\0", 11) + dataName + QByteArray(1, '\0');
        const qsizetype headerSize = is64 ? 64 : 52;
        const qsizetype namesAt = headerSize;
        const qsizetype payloadAt = (namesAt + names.size() + 3) & ~3;
        m_tableAt = (payloadAt + payload.size() + 7) & ~7;
        m_data = QByteArray(m_tableAt + 3 * entrySize(), '\0');
        m_data.replace(0, 4, QByteArray("\x7F\x45\x4C\x46", 4)); // the ELF magic
        m_data[4] = char(is64 ? 2 : 1);
        m_data[5] = char(bigEndian ? 2 : 1);
        m_data[6] = 1;
        m_data.replace(namesAt, names.size(), names);
        m_data.replace(payloadAt, payload.size(), payload);

        setHeader(TableOffset, quint64(m_tableAt));
        setHeader(EntrySize, quint64(entrySize()));
        setHeader(Count, 3);
        setHeader(NamesIndex, namesSection);
        setSection(namesSection, Name, 1);
        setSection(namesSection, SectionType, 3); // SHT_STRTAB
        setSection(namesSection, Offset, quint64(namesAt));
        setSection(namesSection, Size, quint64(names.size()));
        setSection(dataSection, Name, 11);
        setSection(dataSection, SectionType, 1); // SHT_PROGBITS
        setSection(dataSection, Offset, quint64(payloadAt));
        setSection(dataSection, Size, quint64(payload.size()));
    }

    enum HeaderField
    {
        TableOffset,
        EntrySize,
        Count,
        NamesIndex
    };
    enum SectionField
    {
        Name,
        SectionType,
        Offset,
        Size,
        Link
    };

    void setHeader(HeaderField field, quint64 value)
    {
        switch (field) {
        case TableOffset:
            return put(m_is64 ? 0x28 : 0x20, m_is64 ? 8 : 4, value);
        case EntrySize:
            return put(m_is64 ? 0x3A : 0x2E, 2, value);
        case Count:
            return put(m_is64 ? 0x3C : 0x30, 2, value);
        case NamesIndex:
            return put(m_is64 ? 0x3E : 0x32, 2, value);
        }
    }

    void setSection(int index, SectionField field, quint64 value)
    {
        const qsizetype at = m_tableAt + index * entrySize();
        switch (field) {
        case Name:
            return put(at, 4, value);
        case SectionType:
            return put(at + 4, 4, value);
        case Offset:
            return put(at + (m_is64 ? 24 : 16), m_is64 ? 8 : 4, value);
        case Size:
            return put(at + (m_is64 ? 32 : 20), m_is64 ? 8 : 4, value);
        case Link:
            return put(at + (m_is64 ? 40 : 24), 4, value);
        }
    }

    QByteArray data() const { return m_data; }

private:
    qsizetype entrySize() const { return m_is64 ? 64 : 40; }

    void put(qsizetype at, int width, quint64 value)
    {
        for (int i = 0; i < width; ++i) {
            const int shift = m_bigEndian ? 8 * (width - 1 - i) : 8 * i;
            m_data[at + i] = char((value >> shift) & 0xFF);
        }
    }

    bool m_is64;
    bool m_bigEndian;
    qsizetype m_tableAt = 0;
    QByteArray m_data;
};

const QByteArray elfPayload("record\0\x01\xFE\xFF payload", 18);

SyntheticElf elf(bool is64 = true, bool bigEndian = false)
{
    return SyntheticElf(is64, bigEndian, elfPayload, VersionRecord::sectionName);
}

bool writeFile(const QString &path, const QByteArray &data)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(data) == data.size();
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Whatever a damaged record yields, it is empty or a short string of real characters.
bool plausible(const QString &text, qsizetype recordSize)
{
    return text.isEmpty() || (text.size() < recordSize / 2 && !text.contains(QChar(0)));
}

} // namespace

class TestVersionRecord : public QObject
{
    Q_OBJECT
private slots:
    void fileVersion_data();
    void fileVersion();
    void programRecordLayout();
    void tableKey_data();
    void tableKey();
    void buildRejectsOversizedBlocks();
    void everyTruncationIsEmpty();
    void randomDamageStaysInBounds();

    void readElfSection_data();
    void readElfSection();
    void readsOwnExecutable();
    void truncatedExecutable();
    void executableLinkedLikeTheProgram();
    void executableWithoutRecord();
};

void TestVersionRecord::fileVersion_data()
{
    QTest::addColumn<QByteArray>("record");
    QTest::addColumn<QString>("expected");

    const QByteArray record = programRecord();
    const quint16 size = quint16(record.size());
    QTest::newRow("program's own record") << record << QStringLiteral(ONDAVO_VERSION);
    QTest::newRow("trailing bytes after the record") << record + QByteArray(64, '\x55') << ONDAVO_VERSION;

    Fields noTranslation = VersionRecord::programFields();
    noTranslation.translations.clear();
    QTest::newRow("no translation") << VersionRecord::build(noTranslation) << QString();
    Fields noStrings = VersionRecord::programFields();
    noStrings.stringTables.clear();
    QTest::newRow("no string tables") << VersionRecord::build(noStrings) << QString();

    QTest::newRow("first translation lacks FileVersion, a later one has it")
        << VersionRecord::build(twoLanguageFields(true, false, true)) << QString();
    Fields missingTable = twoLanguageFields(true, false, true);
    missingTable.stringTables.removeLast();
    QTest::newRow("first translation has no table") << VersionRecord::build(missingTable) << QString();
    QTest::newRow("first translation wins")
        << VersionRecord::build(twoLanguageFields(true, true, true)) << "2.0";
    QTest::newRow("second table unused")
        << VersionRecord::build(twoLanguageFields(true, true, false)) << "1.0.7.7";
    Fields lowerKey = VersionRecord::programFields();
    lowerKey.stringTables[0].first = "041904e3";
    QTest::newRow("table key in lower case") << VersionRecord::build(lowerKey) << "1.0.7.7";
    Fields emptyVersion = VersionRecord::programFields();
    for (auto &entry : emptyVersion.stringTables[0].second) {
        if (entry.first == "FileVersion")
            entry.second.clear();
    }
    QTest::newRow("empty FileVersion") << VersionRecord::build(emptyVersion) << QString();

    QTest::newRow("empty buffer") << QByteArray() << QString();
    QTest::newRow("five bytes") << record.left(5) << QString();
    QTest::newRow("root length zero") << patched(record, "VS_VERSION_INFO", Length, 0) << QString();
    QTest::newRow("root length below its header")
        << patched(record, "VS_VERSION_INFO", Length, 5) << QString();
    QTest::newRow("root length past the buffer")
        << patched(record, "VS_VERSION_INFO", Length, quint16(size + 2)) << QString();
    QTest::newRow("root length 0xFFFF") << patched(record, "VS_VERSION_INFO", Length, 0xFFFF) << QString();
    QTest::newRow("root length ends inside its key")
        << patched(record, "VS_VERSION_INFO", Length, 20) << QString();
    QTest::newRow("root value past the root")
        << patched(record, "VS_VERSION_INFO", ValueLength, size) << QString();
    QByteArray otherRoot = record;
    otherRoot[6] = 'X';
    QTest::newRow("root key not VS_VERSION_INFO") << otherRoot << QString();

    QTest::newRow("child as long as its parent")
        << patched(record, "StringFileInfo", Length, size) << QString();
    QTest::newRow("child length zero") << patched(record, "StringFileInfo", Length, 0) << QString();
    QTest::newRow("child length one") << patched(record, "VarFileInfo", Length, 1) << QString();
    QTest::newRow("child length past its parent")
        << patched(record, "VarFileInfo", Length, 0xFFFF) << QString();
    QTest::newRow("string table as long as its parent")
        << patched(record, "041904E3", Length, wordAt(record, nodeOffset(record, "StringFileInfo")))
        << QString();
    QTest::newRow("translation without entries")
        << patched(record, "Translation", ValueLength, 0) << QString();
    QTest::newRow("translation entry cut to one word")
        << patched(record, "Translation", ValueLength, 2) << QString();
    QTest::newRow("translation value past its node")
        << patched(record, "Translation", ValueLength, 400) << QString();
    QTest::newRow("FileVersion value past its node")
        << patched(record, "FileVersion", ValueLength, 300) << QString();
    QTest::newRow("FileVersion length without terminator")
        << patched(record, "FileVersion", ValueLength, 7) << "1.0.7.7";
    QTest::newRow("FileVersion value shorter than the text")
        << patched(record, "FileVersion", ValueLength, 4) << "1.0.";
    QTest::newRow("FileVersion node cut before its value")
        << patched(record, "FileVersion", Length, 6 + 24) << QString();
}

void TestVersionRecord::fileVersion()
{
    QFETCH(QByteArray, record);
    QFETCH(QString, expected);
    QCOMPARE(VersionRecord::fileVersion(record), expected);
}

// The record is read on Windows by the system's version functions, so its bytes follow their layout.
void TestVersionRecord::programRecordLayout()
{
    const QByteArray record = programRecord();
    QVERIFY(record.size() > 92);
    QCOMPARE(record.size() % 4, 0);
    QCOMPARE(wordAt(record, 0), quint16(record.size()));
    QCOMPARE(wordAt(record, 2), quint16(52)); // VS_FIXEDFILEINFO
    QCOMPARE(wordAt(record, 4), quint16(0));
    QCOMPARE(record.mid(6, 32), utf16z("VS_VERSION_INFO"));
    const quint32 fixed[] = {0xFEEF04BD, 0x00010000, 0x00010000, 0x00070007, 0x00010000, 0x00070007, 0x3F,
                             0,          4,          1,          0,          0,          0};
    for (int i = 0; i < 13; ++i)
        QCOMPARE(dwordAt(record, 40 + 4 * i), fixed[i]);

    QCOMPARE(nodeOffset(record, "StringFileInfo"), 92);
    const qsizetype translation = nodeOffset(record, "Translation");
    QCOMPARE(wordAt(record, translation + 2), quint16(4));
    QCOMPARE(wordAt(record, translation + 4), quint16(0));
    QCOMPARE(dwordAt(record, translation + 32), 0x04E30419u); // after the padded key

    // Every string: text type, value length in WCHARs with the terminator, value on a 32-bit boundary.
    const QList<QPair<QString, QString>> strings = VersionRecord::programFields().stringTables.at(0).second;
    QCOMPARE(strings.size(), 10);
    for (const auto &entry : strings) {
        const qsizetype at = nodeOffset(record, entry.first);
        QVERIFY2(at > 0 && at % 4 == 0, qPrintable(entry.first));
        QCOMPARE(wordAt(record, at + 2), quint16(entry.second.size() + 1));
        QCOMPARE(wordAt(record, at + 4), quint16(1));
        const qsizetype valueAt = (at + 6 + 2 * (entry.first.size() + 1) + 3) & ~3;
        QCOMPARE(record.mid(valueAt, 2 * (entry.second.size() + 1)), utf16z(entry.second));
        QCOMPARE(wordAt(record, at), quint16(valueAt - at + 2 * (entry.second.size() + 1)));
    }
    const QStringList keys = {"CompanyName",    "FileDescription", "FileVersion",      "InternalName",
                              "LegalCopyright", "LegalTrademarks", "OriginalFilename", "ProductName",
                              "ProductVersion", "Comments"};
    for (const auto &entry : strings)
        QVERIFY(keys.contains(entry.first));
    QCOMPARE(strings.at(1).second, QStringLiteral("Internet radio tuner and clock with alarm"));
    QCOMPARE(strings.at(8).second, QStringLiteral("1.0"));
}

void TestVersionRecord::tableKey_data()
{
    QTest::addColumn<int>("language");
    QTest::addColumn<int>("codePage");
    QTest::addColumn<QString>("key");
    QTest::newRow("Russian, 1251") << 0x0419 << 1251 << "041904E3";
    QTest::newRow("English, Unicode") << 0x0409 << 1200 << "040904B0";
    QTest::newRow("zeros") << 0 << 0 << "00000000";
    QTest::newRow("all bits") << 0xFFFF << 0xABCD << "FFFFABCD";
}

void TestVersionRecord::tableKey()
{
    QFETCH(int, language);
    QFETCH(int, codePage);
    QFETCH(QString, key);
    QCOMPARE(VersionRecord::tableKey(quint16(language), quint16(codePage)), key);
}

void TestVersionRecord::buildRejectsOversizedBlocks()
{
    Fields fields = VersionRecord::programFields();
    fields.stringTables[0].second.append(qMakePair(QStringLiteral("Comments"), QString(40000, QChar('x'))));
    QCOMPARE(VersionRecord::build(fields), QByteArray());
    fields.stringTables[0].second.last().second = QString(1000, QChar('x'));
    QCOMPARE(VersionRecord::fileVersion(VersionRecord::build(fields)), QStringLiteral("1.0.7.7"));
}

void TestVersionRecord::everyTruncationIsEmpty()
{
    const QByteArray record = programRecord();
    for (qsizetype length = 0; length < record.size(); ++length) {
        // A copy of exactly this length, so the sanitizer sees any read past it.
        const QByteArray cut(record.constData(), length);
        QVERIFY2(VersionRecord::fileVersion(cut).isEmpty(), qPrintable(QString::number(length)));
    }
}

void TestVersionRecord::randomDamageStaysInBounds()
{
    const QByteArray record = programRecord();
    const QString intact = VersionRecord::fileVersion(record);
    QRandomGenerator random(20090316);
    const quint16 lengths[] = {
        0, 1, 2, 5, 6, 7, 8, 0x7FFF, 0x8000, 0xFFFF, quint16(record.size()), quint16(record.size() - 1)};
    int unchanged = 0;
    int lost = 0;
    for (int round = 0; round < 5000; ++round) {
        QByteArray damaged = record;
        const int changes = 1 + random.bounded(3);
        for (int c = 0; c < changes; ++c) {
            const qsizetype at = random.bounded(damaged.size());
            switch (random.bounded(4)) {
            case 0:
                damaged[at] = char(random.bounded(256));
                break;
            case 1:
                damaged[at] = char(damaged.at(at) ^ (1 << random.bounded(8)));
                break;
            case 2: {
                // Header words and lengths are where a parser goes wrong.
                const qsizetype even = qMin(at & ~qsizetype(1), damaged.size() - 2);
                qToLittleEndian<quint16>(lengths[random.bounded(int(std::size(lengths)))],
                                         damaged.data() + even);
                break;
            }
            default:
                damaged.truncate(at);
                break;
            }
            if (damaged.size() < 2)
                break;
        }
        const QByteArray exact(damaged.constData(), damaged.size());
        const QString text = VersionRecord::fileVersion(exact);
        QVERIFY2(plausible(text, record.size()), qPrintable(QString::number(round)));
        unchanged += text == intact;
        lost += text.isEmpty();
    }
    // The damage reached both harmless and fatal places.
    QVERIFY(unchanged > 100);
    QVERIFY(lost > 100);
}

void TestVersionRecord::readElfSection_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<bool>("found");

    QTest::newRow("64-bit little-endian") << elf(true, false).data() << true;
    QTest::newRow("32-bit little-endian") << elf(false, false).data() << true;
    QTest::newRow("64-bit big-endian") << elf(true, true).data() << true;
    QTest::newRow("32-bit big-endian") << elf(false, true).data() << true;

    QTest::newRow("longer name only")
        << SyntheticElf(true, false, elfPayload, QByteArray(VersionRecord::sectionName) + "x").data()
        << false;
    QTest::newRow("shorter name only")
        << SyntheticElf(true, false, elfPayload, QByteArray(VersionRecord::sectionName).chopped(1)).data()
        << false;
    QTest::newRow("empty file") << QByteArray() << false;
    QTest::newRow("not an ELF file") << QByteArray("#!/bin/sh\necho 1.0.7.7\n") << false;
    QTest::newRow("cut inside the header") << elf().data().left(40) << false;
    QTest::newRow("cut inside the section table") << elf().data().chopped(1) << false;
    QByteArray badClass = elf().data();
    badClass[4] = 3;
    QTest::newRow("unknown class") << badClass << false;
    QByteArray badEncoding = elf().data();
    badEncoding[5] = 0;
    QTest::newRow("unknown byte order") << badEncoding << false;

    const auto damaged = [](auto change, bool is64 = true) {
        SyntheticElf file = elf(is64);
        change(file);
        return file.data();
    };
    using E = SyntheticElf;
    const qsizetype size = elf().data().size();
    QTest::newRow("no section table") << damaged([](E &f) { f.setHeader(E::TableOffset, 0); }) << false;
    QTest::newRow("section table past the end")
        << damaged([&](E &f) { f.setHeader(E::TableOffset, quint64(size)); }) << false;
    QTest::newRow("section table offset overflows")
        << damaged([](E &f) { f.setHeader(E::TableOffset, ~quint64(0) - 8); }) << false;
    QTest::newRow("32-bit table offset past the end")
        << damaged([](E &f) { f.setHeader(E::TableOffset, 0xFFFFFFF0); }, false) << false;
    QTest::newRow("entry size zero") << damaged([](E &f) { f.setHeader(E::EntrySize, 0); }) << false;
    QTest::newRow("entry size too small") << damaged([](E &f) { f.setHeader(E::EntrySize, 16); }) << false;
    QTest::newRow("entry size larger than the table")
        << damaged([](E &f) { f.setHeader(E::EntrySize, 0xFFFF); }) << false;
    QTest::newRow("more sections than the file holds")
        << damaged([](E &f) { f.setHeader(E::Count, 0xFFFF); }) << false;
    QTest::newRow("name table index out of range")
        << damaged([](E &f) { f.setHeader(E::NamesIndex, 3); }) << false;
    QTest::newRow("name table index extended, link to nothing")
        << damaged([](E &f) { f.setHeader(E::NamesIndex, 0xFFFF); }) << false;
    QTest::newRow("name table index extended through section 0") << damaged([](E &f) {
        f.setHeader(E::NamesIndex, 0xFFFF);
        f.setSection(0, E::Link, E::namesSection);
    }) << true;
    QTest::newRow("extended index out of range") << damaged([](E &f) {
        f.setHeader(E::NamesIndex, 0xFFFF);
        f.setSection(0, E::Link, 0xFFFFFFFF);
    }) << false;
    QTest::newRow("count extended through section 0") << damaged([](E &f) {
        f.setHeader(E::Count, 0);
        f.setSection(0, E::Size, 3);
    }) << true;
    QTest::newRow("extended count overflows") << damaged([](E &f) {
        f.setHeader(E::Count, 0);
        f.setSection(0, E::Size, ~quint64(0) / 2);
    }) << false;
    QTest::newRow("name table past the end")
        << damaged([&](E &f) { f.setSection(E::namesSection, E::Offset, quint64(size)); }) << false;
    QTest::newRow("name table size overflows")
        << damaged([](E &f) { f.setSection(E::namesSection, E::Size, ~quint64(0)); }) << false;
    QTest::newRow("name table without file data")
        << damaged([](E &f) { f.setSection(E::namesSection, E::SectionType, 8); }) << false;
    QTest::newRow("name offset past the name table")
        << damaged([](E &f) { f.setSection(E::dataSection, E::Name, 5000); }) << false;
    QTest::newRow("unterminated last name")
        << damaged([](E &f) { f.setSection(E::namesSection, E::Size, 26); }) << false;
    QTest::newRow("section data past the end")
        << damaged([&](E &f) { f.setSection(E::dataSection, E::Offset, quint64(size - 4)); }) << false;
    QTest::newRow("section size overflows")
        << damaged([](E &f) { f.setSection(E::dataSection, E::Size, ~quint64(0) - 2); }) << false;
    QTest::newRow("32-bit section size past the end")
        << damaged([](E &f) { f.setSection(E::dataSection, E::Size, 0xFFFFFFFF); }, false) << false;
    QTest::newRow("section without file data")
        << damaged([](E &f) { f.setSection(E::dataSection, E::SectionType, 8); }) << false;
}

void TestVersionRecord::readElfSection()
{
    QFETCH(QByteArray, file);
    QFETCH(bool, found);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath("file");
    QVERIFY(writeFile(path, file));
    QCOMPARE(VersionRecord::readElfSection(path, VersionRecord::sectionName),
             found ? elfPayload : QByteArray());
}

void TestVersionRecord::readsOwnExecutable()
{
    const QString self = QCoreApplication::applicationFilePath();
    QCOMPARE(VersionRecord::readElfSection(self, VersionRecord::sectionName), programRecord());
    QVERIFY(!VersionRecord::readElfSection(self, ".text").isEmpty());
    QVERIFY(VersionRecord::readElfSection(self, ".no_such_section").isEmpty());
    QVERIFY(VersionRecord::readElfSection(self, QByteArray()).isEmpty());
    QCOMPARE(VersionRecord::getFileVersionText(), QStringLiteral(ONDAVO_VERSION));

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QVERIFY(VersionRecord::readElfSection(dir.path(), VersionRecord::sectionName).isEmpty());
    QVERIFY(VersionRecord::readElfSection(dir.filePath("missing"), VersionRecord::sectionName).isEmpty());
    QVERIFY(VersionRecord::getFileVersionText(dir.filePath("missing")).isEmpty());
    QVERIFY(VersionRecord::getFileVersionText(QString()).isEmpty());
}

void TestVersionRecord::truncatedExecutable()
{
    const QByteArray whole = readFile(QCoreApplication::applicationFilePath());
    QVERIFY(whole.size() > 4096);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    // The linker puts the section table last, so every cut loses it.
    const qsizetype cuts[] = {0, 3, 16, 63, 64, 4096, whole.size() / 2, whole.size() - 65, whole.size() - 1};
    for (const qsizetype cut : cuts) {
        const QString path = dir.filePath(QString::number(cut));
        QVERIFY(writeFile(path, whole.left(cut)));
        QVERIFY2(VersionRecord::readElfSection(path, VersionRecord::sectionName).isEmpty(),
                 qPrintable(QString::number(cut)));
        QVERIFY(VersionRecord::getFileVersionText(path).isEmpty());
    }
}

void TestVersionRecord::executableLinkedLikeTheProgram()
{
    const QString probe = QStringLiteral(ONDAVO_VERSION_PROBE);
    QCOMPARE(VersionRecord::readElfSection(probe, VersionRecord::sectionName), programRecord());
    QCOMPARE(VersionRecord::getFileVersionText(probe), QStringLiteral("1.0.7.7"));

    // The probe reads its own file when it runs.
    QProcess process;
    process.start(probe, {});
    QVERIFY(process.waitForFinished(30000));
    QCOMPARE(process.exitCode(), 0);
    QCOMPARE(QString::fromUtf8(process.readAllStandardOutput()), QStringLiteral("1.0.7.7"));
}

void TestVersionRecord::executableWithoutRecord()
{
    const QString objcopy = QStringLiteral(ONDAVO_OBJCOPY);
    if (objcopy.isEmpty())
        QSKIP("objcopy was not found when the build was configured");
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString stripped = dir.filePath("probe");
    QCOMPARE(QProcess::execute(objcopy, {"--remove-section", VersionRecord::sectionName,
                                         QStringLiteral(ONDAVO_VERSION_PROBE), stripped}),
             0);
    QVERIFY(VersionRecord::readElfSection(stripped, ".text").size() > 0);
    QVERIFY(VersionRecord::readElfSection(stripped, VersionRecord::sectionName).isEmpty());
    QCOMPARE(VersionRecord::getFileVersionText(stripped), QString());

    QProcess process;
    process.start(stripped, {});
    QVERIFY(process.waitForFinished(30000));
    QCOMPARE(process.exitCode(), 0);
    QCOMPARE(process.readAllStandardOutput(), QByteArray());
}

QTEST_MAIN(TestVersionRecord)
#include "tst_versionrecord.moc"

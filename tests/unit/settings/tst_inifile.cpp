#include "fakes/hostilepaths.h"
#include "settings/inifile.h"

#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#ifdef Q_OS_UNIX
#include <csignal>
#include <sys/resource.h>
#endif

#include <optional>

class TestIniFile : public QObject
{
    Q_OBJECT
private slots:
    void read_data();
    void read();
    void setValue_data();
    void setValue();
    void unchangedRoundTrip_data();
    void unchangedRoundTrip();
    void hostileInput();
    void missingFileIsEmpty();
    void saveAndLoad();
    void failedSaveKeepsOriginal();
    void readOnlyFileIsNotReplaced();
    void hostilePaths_data();
    void hostilePaths();
    void sizeLimit_data();
    void sizeLimit();

private:
    QTemporaryDir m_dir;
};

namespace {
// Byte strings with NULs in them.
template <int N> QByteArray bytes(const char (&text)[N])
{
    return QByteArray(text, N - 1);
}

// UTF-16 code units in either order, with the byte order mark unless told otherwise.
QByteArray utf16(const QString &text, bool bigEndian = false, bool mark = true)
{
    QByteArray data;
    if (mark)
        data = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
    for (const QChar c : text) {
        const char high = char(c.unicode() >> 8);
        const char low = char(c.unicode() & 0xFF);
        data.append(bigEndian ? high : low);
        data.append(bigEndian ? low : high);
    }
    return data;
}

QByteArray utf16le(const QString &text)
{
    return utf16(text);
}
} // namespace

void TestIniFile::read_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("key");
    QTest::addColumn<bool>("present");
    QTest::addColumn<QString>("value");

    const QString s = QStringLiteral("S");
    const QString k = QStringLiteral("Key");
    QTest::newRow("names ignore case") << QByteArray("[Settings]\nTimerCmd=abc\n") << "SETTINGS"
                                       << "timercmd" << true << "abc";
    QTest::newRow("blanks trimmed") << QByteArray("  [ S ]  \n \t Key  =  two words \t\n") << s << k << true
                                    << "two words";
    QTest::newRow("double quotes") << QByteArray("[S]\nKey= \"  padded  \" \n") << s << k << true
                                   << "  padded  ";
    QTest::newRow("single quotes") << QByteArray("[S]\nKey='abc'\n") << s << k << true << "abc";
    QTest::newRow("mismatched quotes kept") << QByteArray("[S]\nKey='abc\"\n") << s << k << true << "'abc\"";
    QTest::newRow("lone quote kept") << QByteArray("[S]\nKey=\"\n") << s << k << true << "\"";
    QTest::newRow("one pair only") << QByteArray("[S]\nKey=\"\"abc\"\"\n") << s << k << true << "\"abc\"";
    QTest::newRow("old file's quoted command")
        << QByteArray("[S]\nKey=\"/a b\" -o \"c d\"\n") << s << k << true << "/a b\" -o \"c d";
    QTest::newRow("inner quotes kept") << QByteArray("[S]\nKey=a\"b\"\n") << s << k << true << "a\"b\"";
    QTest::newRow("empty value") << QByteArray("[S]\nKey=\n") << s << k << true << "";
    QTest::newRow("equals in value") << QByteArray("[S]\nKey=a=b\n") << s << k << true << "a=b";
    QTest::newRow("first duplicate key") << QByteArray("[S]\nKey=1\nKEY=2\n") << s << k << true << "1";
    QTest::newRow("first duplicate section") << QByteArray("[S]\nA=1\n[s]\nKey=2\n") << s << k << false << "";
    QTest::newRow("key before sections") << QByteArray("Key=1\n[S]\n") << s << k << false << "";
    QTest::newRow("no section at all") << QByteArray("Key=1\nOther=2\n") << s << k << false << "";
    QTest::newRow("comment") << QByteArray("[S]\n;Key=1\n") << s << k << false << "";
    QTest::newRow("other section") << QByteArray("[S]\n[T]\nKey=1\n") << s << k << false << "";
    QTest::newRow("empty key name") << QByteArray("[S]\n=1\n") << s << "" << false << "";
    QTest::newRow("text after header") << QByteArray("[S] ; note\nKey=1\n") << s << k << true << "1";
    QTest::newRow("name ends at the first bracket")
        << QByteArray("[a[b]c]\nKey=1\n") << "a[b" << k << true << "1";
    QTest::newRow("brackets in the header's comment")
        << QByteArray("[Settings] ; see [x]\nKey=1\n") << "Settings" << k << true << "1";
    QTest::newRow("three UTF-8 marks")
        << QByteArray("\xEF\xBB\xBF\xEF\xBB\xBF\xEF\xBB\xBF[S]\nKey=1\n") << s << k << true << "1";
    QTest::newRow("three UTF-16LE marks")
        << QByteArray("\xFF\xFE\xFF\xFE") + utf16le(QStringLiteral("[S]\r\nKey=1\r\n")) << s << k << true
        << "1";
    QTest::newRow("UTF-16BE") << utf16(QStringLiteral("[S]\nKey=\u0436\n"), true) << s << k << true
                              << QStringLiteral("\u0436");
    QTest::newRow("mark where a key line starts")
        << QByteArray("[S]\n\xEF\xBB\xBFKey=1\n") << s << k << true << "1";
    QTest::newRow("mark where a header starts")
        << QByteArray("[T]\nKey=0\n\xEF\xBB\xBF\xEF\xBB\xBF[S]\nKey=1\n") << s << k << true << "1";
    QTest::newRow("mark inside a value kept")
        << QByteArray("[S]\nKey=\xEF\xBB\xBFx\n") << s << k << true << QStringLiteral("\uFEFFx");
    QTest::newRow("unclosed header stays in section")
        << QByteArray("[S]\n[Broken\nKey=1\n") << s << k << true << "1";
    QTest::newRow("unclosed header opens nothing")
        << QByteArray("[S]\n[Broken\nKey=1\n") << "Broken" << k << false << "";
    QTest::newRow("unclosed header is no key") << QByteArray("[S]\n[Key=1\n") << s << "[Key" << false << "";
    QTest::newRow("CRLF") << QByteArray("[S]\r\nA=1\r\nKey=2\r\n") << s << k << true << "2";
    QTest::newRow("CR only") << QByteArray("[S]\rA=1\rKey=2\r") << s << k << true << "2";
    QTest::newRow("no final line end") << QByteArray("[S]\nKey=2") << s << k << true << "2";
    QTest::newRow("UTF-8") << QByteArray("[S]\nKey=\xD1\x82\xD0\xB5\xD1\x81\xD1\x82\n") << s << k << true
                           << QStringLiteral("тест");
    QTest::newRow("UTF-8 BOM") << QByteArray("\xEF\xBB\xBF[S]\nKey=1\n") << s << k << true << "1";
    QTest::newRow("UTF-16LE BOM") << utf16le(QStringLiteral("[S]\r\nKey=тест\r\n")) << s << k << true
                                  << QStringLiteral("тест");
    QTest::newRow("NUL lines") << bytes("\0\0\n[S]\n\0junk\0\nKey=1\n") << s << k << true << "1";
    QTest::newRow("NUL in value") << bytes("[S]\nKey=a\0b\n") << s << k << true
                                  << QStringLiteral("a") + QChar(0) + QStringLiteral("b");
    QTest::newRow("invalid UTF-8") << QByteArray("\xC3\x28\xFF[S]\n[S]\nKey=ok\n") << s << k << true << "ok";

    const QByteArray longValue(3000, 'v');
    QTest::newRow("cut to 2047") << "[S]\nKey=" + longValue + "\n" << s << k << true << QString(2047, u'v');
    QTest::newRow("quoted then cut") << "[S]\nKey=\"" + longValue + "\"\n"
                                     << s << k << true << QString(2047, u'v');
    QTest::newRow("cut keeps surrogate pairs") << "[S]\nKey=" + QByteArray(2046, 'v') + "\xF0\x9F\x98\x80\n"
                                               << s << k << true << QString(2046, u'v');
    const QByteArray megabyte(1 << 20, 'm');
    QTest::newRow("1 MB value") << "[S]\nKey=" + megabyte + "\n" << s << k << true << QString(2047, u'm');
    QTest::newRow("1 MB line before") << "[S]\n" + megabyte + "\nKey=1\n" << s << k << true << "1";
}

void TestIniFile::read()
{
    QFETCH(QByteArray, data);
    QFETCH(QString, section);
    QFETCH(QString, key);
    QFETCH(bool, present);
    QFETCH(QString, value);

    const IniFile ini = IniFile::fromData(data);
    QCOMPARE(ini.contains(section, key), present);
    QCOMPARE(ini.value(section, key, QStringLiteral("default")), present ? value : QStringLiteral("default"));
}

void TestIniFile::setValue_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QByteArray>("after");

    const QString s = QStringLiteral("S");
    QTest::newRow("replace in place")
        << QByteArray("; top\n[Settings]\nTimerCmd=old\n; note\nPassw=x\n\n[Other]\nA=1\n") << "settings"
        << "timercmd"
        << "new" << QByteArray("; top\n[Settings]\nTimerCmd=new\n; note\nPassw=x\n\n[Other]\nA=1\n");
    QTest::newRow("replace quoted, padded") << QByteArray("[S]\n  A = \"old\"  \n") << s << "A"
                                            << "new" << QByteArray("[S]\nA=new\n");
    QTest::newRow("replace first duplicate") << QByteArray("[S]\nA=1\n[S]\nA=2\n") << s << "A"
                                             << "9" << QByteArray("[S]\nA=9\n[S]\nA=2\n");
    QTest::newRow("add after last key") << QByteArray("[S]\nA=1\n; tail\n\n[T]\nB=2\n") << s << "C"
                                        << "3" << QByteArray("[S]\nA=1\nC=3\n; tail\n\n[T]\nB=2\n");
    QTest::newRow("add to empty section") << QByteArray("[S]\n\n[T]\n") << s << "C"
                                          << "3" << QByteArray("[S]\nC=3\n\n[T]\n");
    QTest::newRow("add to first duplicate") << QByteArray("[S]\nA=1\n[S]\nA=2\n") << s << "B"
                                            << "9" << QByteArray("[S]\nA=1\nB=9\n[S]\nA=2\n");
    QTest::newRow("add at file end") << QByteArray("[S]\nA=1") << s << "B"
                                     << "2" << QByteArray("[S]\nA=1\nB=2\n");
    QTest::newRow("replace keeps missing line end") << QByteArray("[S]\nA=1") << s << "A"
                                                    << "2" << QByteArray("[S]\nA=2");
    QTest::newRow("add section") << QByteArray("x\n; c\n[T]\nB=2\n") << s << "A"
                                 << "1" << QByteArray("x\n; c\n[T]\nB=2\n[S]\nA=1\n");
    QTest::newRow("new file") << QByteArray() << "Settings"
                              << "TimerCmd"
                              << "" << QByteArray("[Settings]\nTimerCmd=\n");
    QTest::newRow("CRLF kept") << QByteArray("[S]\r\nA=1\r\n") << s << "B"
                               << "2" << QByteArray("[S]\r\nA=1\r\nB=2\r\n");
    QTest::newRow("CR only becomes LF") << QByteArray("[S]\rA=1\r") << s << "B"
                                        << "2" << QByteArray("[S]\nA=1\nB=2\n");
    // UTF-16 files stay UTF-16: written as UTF-8 they would lose lone surrogates and every other
    // line's bytes.
    QTest::newRow("UTF-16 stays UTF-16") << utf16le(QStringLiteral("[S]\r\nA=1\r\n")) << s << "A"
                                         << QStringLiteral("ё") << utf16le(QStringLiteral("[S]\r\nA=ё\r\n"));
    QTest::newRow("UTF-16BE stays UTF-16BE")
        << utf16(QStringLiteral("; \u65E5\n[S]\n"), true) << s << "A" << QStringLiteral("\u0436")
        << utf16(QStringLiteral("; \u65E5\n[S]\nA=\u0436\n"), true);
    const QString loneSurrogate(QChar(0xD800));
    QTest::newRow("UTF-16 lone surrogate and odd byte kept")
        << utf16le(QStringLiteral("[S]\nX=") + loneSurrogate + QStringLiteral("\nA=1\n")) + "\x41" << s << "A"
        << "2" << utf16le(QStringLiteral("[S]\nX=") + loneSurrogate + QStringLiteral("\nA=2\n")) + "\x41";
    QTest::newRow("UTF-16 odd byte stays last")
        << utf16le(QStringLiteral("[T]\nB=1")) + "\x41" << s << "A"
        << "1" << utf16le(QStringLiteral("[T]\nB=1\n[S]\nA=1\n")) + "\x41";
    QTest::newRow("8-bit lines kept")
        << QByteArray("; \xCA\xEE\xEC\xEC\xE5\xED\xF2\n[\xC4\xF0\xF3\xE3\xEE\xE5]\nK=\xE7\xED\n[S]\n"
                      "Note=\xFF\xFE stray \xC3(\n\x80\x81\nA=old\n")
        << s << "A" << QStringLiteral("ё")
        << QByteArray("; \xCA\xEE\xEC\xEC\xE5\xED\xF2\n[\xC4\xF0\xF3\xE3\xEE\xE5]\nK=\xE7\xED\n[S]\n"
                      "Note=\xFF\xFE stray \xC3(\n\x80\x81\nA=\xD1\x91\n");
    QTest::newRow("8-bit lines kept, key added")
        << QByteArray("[S]\nNote=\xE9t\xE9\n\n[T]\nB=\xA4\n") << s << "A"
        << "1" << QByteArray("[S]\nNote=\xE9t\xE9\nA=1\n\n[T]\nB=\xA4\n");
    QTest::newRow("three UTF-8 marks")
        << QByteArray("\xEF\xBB\xBF\xEF\xBB\xBF\xEF\xBB\xBF[S]\nA=1\n") << s << "A"
        << "2" << QByteArray("\xEF\xBB\xBF\xEF\xBB\xBF\xEF\xBB\xBF[S]\nA=2\n");
    QTest::newRow("three UTF-16 marks")
        << QByteArray("\xFF\xFE\xFF\xFE") + utf16le(QStringLiteral("[S]\r\nA=1\r\n")) << s << "A"
        << "2" << QByteArray("\xFF\xFE\xFF\xFE") + utf16le(QStringLiteral("[S]\r\nA=2\r\n"));
    QTest::newRow("marks alone") << QByteArray("\xEF\xBB\xBF\xEF\xBB\xBF") << s << "A"
                                 << "1" << QByteArray("\xEF\xBB\xBF\xEF\xBB\xBF[S]\nA=1\n");
    QTest::newRow("mark where a line starts") << QByteArray("[S]\n\xEF\xBB\xBF"
                                                            "A=1\n")
                                              << s << "A"
                                              << "2" << QByteArray("[S]\nA=2\n");
    QTest::newRow("brackets in the header's comment")
        << QByteArray("[Settings] ; see [x]\nA=1\n") << "Settings"
        << "B"
        << "2" << QByteArray("[Settings] ; see [x]\nA=1\nB=2\n");
    QTest::newRow("unclosed header kept") << QByteArray("[S]\n[Broken\nA=1\n") << s << "B"
                                          << "2" << QByteArray("[S]\n[Broken\nA=1\nB=2\n");
    QTest::newRow("value as given") << QByteArray("[S]\n") << s << "A"
                                    << " 'q' " << QByteArray("[S]\nA=\" 'q' \"\n");
    QTest::newRow("double quotes kept") << QByteArray() << s << "A"
                                        << "\"/a b\" \"c\"" << QByteArray("[S]\nA='\"/a b\" \"c\"'\n");
    QTest::newRow("single quotes kept") << QByteArray() << s << "A"
                                        << "'a b'" << QByteArray("[S]\nA=\"'a b'\"\n");
    const QByteArray codePage("[S]\r\nA = \"/home/u/\xCC\xF3\xE7 \xFB\" \r\n");
    QTest::newRow("unchanged 8-bit value kept")
        << codePage << s << "A" << QString::fromUtf8("/home/u/\xCC\xF3\xE7 \xFB") << codePage;
    QTest::newRow("line breaks in value") << QByteArray("[S]\nA=1\n") << s << "A"
                                          << "x\r\n[Evil]\nB=1" << QByteArray("[S]\nA=x  [Evil] B=1\n");
    QTest::newRow("line breaks in names") << QByteArray() << "S\n[T]"
                                          << "K\rX"
                                          << "1" << QByteArray("[S [T]\nK X=1\n");
    QTest::newRow("empty key ignored") << QByteArray("[S]\n") << s << " "
                                       << "1" << QByteArray("[S]\n");
}

void TestIniFile::setValue()
{
    QFETCH(QByteArray, before);
    QFETCH(QString, section);
    QFETCH(QString, key);
    QFETCH(QString, value);
    QFETCH(QByteArray, after);

    IniFile ini = IniFile::fromData(before);
    ini.setValue(section, key, value);
    QCOMPARE(ini.toData(), after);
    QCOMPARE(IniFile::fromData(after).contains(section, key), !key.trimmed().isEmpty());
    if (!key.trimmed().isEmpty())
        QCOMPARE(IniFile::fromData(after).value(section, key), value.replace('\r', ' ').replace('\n', ' '));
}

void TestIniFile::unchangedRoundTrip_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("comments and blanks") << QByteArray("; c\n\n  [S] \n A = 1 \n\njunk\n[T]\n");
    QTest::newRow("CRLF without final line end") << QByteArray("[S]\r\nA=1\r\n\r\nB=2");
    QTest::newRow("NUL bytes") << bytes("[S]\n\0\nA=\0\n");
    QTest::newRow("8-bit bytes") << QByteArray("; \xE9\n[\xC4]\nA=\xFF\xFE\n\x80");
    QTest::newRow("repeated marks") << QByteArray("\xEF\xBB\xBF\xEF\xBB\xBF[S]\r\nA=1\r\n");
    QTest::newRow("UTF-16 lone surrogate, odd byte")
        << utf16(QStringLiteral("[S]\nA=") + QChar(0xDC00) + QStringLiteral("\n"), true) + "\x0A";
}

void TestIniFile::unchangedRoundTrip()
{
    QFETCH(QByteArray, data);
    QCOMPARE(IniFile::fromData(data).toData(), data);
}

// Random bytes, with and without line structure, must never crash, hang or lose a write.
void TestIniFile::hostileInput()
{
    QRandomGenerator rng(20260316);
    for (int round = 0; round < 200; ++round) {
        QByteArray junk(int(rng.bounded(4096)), Qt::Uninitialized);
        for (char &c : junk)
            c = char(round % 2 ? rng.bounded(256) : "[]=;\r\n\"'Sk\0 "[rng.bounded(12)]);
        IniFile ini = IniFile::fromData(junk);
        ini.setValue(QStringLiteral("S"), QStringLiteral("k"), QStringLiteral("written"));
        const IniFile reread = IniFile::fromData(ini.toData());
        QCOMPARE(reread.value(QStringLiteral("S"), QStringLiteral("k")), QStringLiteral("written"));
    }
}

void TestIniFile::missingFileIsEmpty()
{
    const IniFile ini = IniFile::load(m_dir.filePath(QStringLiteral("missing.ini")));
    QVERIFY(ini.toData().isEmpty());
    QCOMPARE(ini.value(QStringLiteral("S"), QStringLiteral("A"), QStringLiteral("d")), QStringLiteral("d"));
}

void TestIniFile::saveAndLoad()
{
    const QString path = m_dir.filePath(QStringLiteral("saved.ini"));
    IniFile ini = IniFile::load(path);
    ini.setValue(QStringLiteral("Settings"), QStringLiteral("Passw"), QStringLiteral("пароль"));
    QVERIFY2(ini.save(path), qPrintable(ini.errorString()));
    ini.setValue(QStringLiteral("Settings"), QStringLiteral("UserName"), QStringLiteral("me"));
    QVERIFY2(ini.save(path), qPrintable(ini.errorString()));

    const IniFile loaded = IniFile::load(path);
    QCOMPARE(loaded.value(QStringLiteral("Settings"), QStringLiteral("Passw")), QStringLiteral("пароль"));
    QCOMPARE(loaded.value(QStringLiteral("Settings"), QStringLiteral("UserName")), QStringLiteral("me"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), ini.toData());
}

void TestIniFile::failedSaveKeepsOriginal()
{
    const QByteArray original("[Settings]\nTimerCmd=keep me\n");
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("original.ini"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(original), original.size());
    file.close();

    // A path below a regular file: no one, root included, can create a file there.
    IniFile ini = IniFile::fromData(original);
    ini.setValue(QStringLiteral("Settings"), QStringLiteral("TimerCmd"), QStringLiteral("changed"));
    QVERIFY(!ini.save(path + QStringLiteral("/settings.ini")));
    QVERIFY(!ini.errorString().isEmpty());

#ifdef Q_OS_UNIX
    // The file-size limit stops root's writes too: the new content cannot be written in full,
    // so the original must survive byte for byte.
    ini.setValue(QStringLiteral("Settings"), QStringLiteral("Big"), QString(64 * 1024, u'b'));
    rlimit saved{};
    QCOMPARE(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 1024;
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool saved1 = ini.save(path);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);
    QVERIFY(!saved1);
    QVERIFY(!ini.errorString().isEmpty());
#endif

    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), original);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("original.ini")});
}

void TestIniFile::readOnlyFileIsNotReplaced()
{
    const QByteArray original("[Settings]\nPassw=secret\n");
    const QString path = m_dir.filePath(QStringLiteral("readonly.ini"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(original), original.size());
    file.close();
    QVERIFY(file.setPermissions(QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));

    IniFile ini = IniFile::load(path);
    ini.setValue(QStringLiteral("Settings"), QStringLiteral("Passw"), QStringLiteral("other"));
    QVERIFY(!ini.save(path));
    QVERIFY(ini.errorString().contains(QStringLiteral("read-only")));

    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), original);
    QVERIFY(!(file.permissions() & QFile::WriteOwner));
}

void TestIniFile::hostilePaths_data()
{
    using HostilePaths::Kind;
    QTest::addColumn<Kind>("kind");
    QTest::addColumn<IniFile::Source>("source");

    QTest::newRow("FIFO") << Kind::Fifo << IniFile::Source::NotAFile;
    QTest::newRow("link to a FIFO") << Kind::LinkToFifo << IniFile::Source::NotAFile;
    QTest::newRow("directory") << Kind::Directory << IniFile::Source::NotAFile;
    QTest::newRow("socket") << Kind::Socket << IniFile::Source::NotAFile;
    QTest::newRow("device") << Kind::Device << IniFile::Source::NotAFile;
    QTest::newRow("writable, unreadable") << Kind::Unreadable << IniFile::Source::Unreadable;
}

// Nothing at the path is read but a regular file, and nothing that was not read is replaced.
void TestIniFile::hostilePaths()
{
    QFETCH(HostilePaths::Kind, kind);
    QFETCH(IniFile::Source, source);

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("settings.ini"));
    const QByteArray original("[Settings]\nPassw=secret\n");
    QVERIFY(HostilePaths::make(kind, path, original));
    const QString before = HostilePaths::describe(path);
    const auto entries = [&dir] {
        return QDir(dir.path())
            .entryList(QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot);
    };
    const QStringList entriesBefore = entries();
    {
        // Root reads anything whatever its mode; without that right it reads as a user does.
        HostilePaths::NoReadOverride asUser;
        if (kind == HostilePaths::Kind::Unreadable && HostilePaths::readable(path))
            QSKIP("This system does not let a test make a file unreadable");

        IniFile ini;
        {
            // Before the fix the load waited for a writer; this one comes after 2 s.
            std::optional<HostilePaths::FifoRelease> release;
            if (kind == HostilePaths::Kind::Fifo || kind == HostilePaths::Kind::LinkToFifo)
                release.emplace(path, QByteArray("[Settings]\nPassw=from the fifo\n"));
            ini = IniFile::load(path);
            QVERIFY(!release || !release->fired());
        }
        QCOMPARE(ini.source(), source);
        QVERIFY(ini.toData().isEmpty());

        ini.setValue(QStringLiteral("Settings"), QStringLiteral("Passw"), QStringLiteral("other"));
        QVERIFY(!ini.save(path));
        QVERIFY(!ini.errorString().isEmpty());
        // Not by a document from elsewhere either.
        IniFile fresh = IniFile::fromData("[Settings]\nPassw=fresh\n");
        QVERIFY(!fresh.save(path));
        QVERIFY(!fresh.errorString().isEmpty());
    }
    QCOMPARE(HostilePaths::describe(path), before);
    QCOMPARE(entries(), entriesBefore);
    if (kind == HostilePaths::Kind::Unreadable) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), original);
    }
}

void TestIniFile::sizeLimit_data()
{
    QTest::addColumn<qint64>("size");
    QTest::addColumn<bool>("kept"); // aside, as an unreadable file is
    QTest::newRow("1 MiB") << (qint64(1) << 20) << false;
    QTest::newRow("1 MiB and a byte") << (qint64(1) << 20) + 1 << true;
    QTest::newRow("1 GiB and a few bytes, sparse") << (qint64(1) << 30) + 3 << true;
}

// The size alone decides, so a huge file costs neither the memory nor the time of reading it.
void TestIniFile::sizeLimit()
{
    QFETCH(qint64, size);
    QFETCH(bool, kept);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("settings.ini"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write("[S]\nA=1\n") == 8 && file.resize(size));
    file.close();
    if (kept)
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QString::number(size) + " bytes"));
    QElapsedTimer timer;
    timer.start();
    IniFile ini = IniFile::load(path);
    QVERIFY2(timer.elapsed() < 1000, qPrintable(QString::number(timer.elapsed())));
    QCOMPARE(ini.source(), kept ? IniFile::Source::Unreadable : IniFile::Source::File);
    QCOMPARE(ini.value(QStringLiteral("S"), QStringLiteral("A")), kept ? QString() : QStringLiteral("1"));
    ini.setValue(QStringLiteral("S"), QStringLiteral("A"), QStringLiteral("2"));
    QCOMPARE(ini.save(path), !kept);
    QCOMPARE(IniFile::fromData("[S]\nA=3\n").save(path), !kept); // nor by a document from elsewhere
    QCOMPARE(QFileInfo(path).size(), kept ? size : 8);
}

QTEST_GUILESS_MAIN(TestIniFile)
#include "tst_inifile.moc"

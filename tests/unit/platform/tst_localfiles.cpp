// The files beside the executable, found by the folder's bytes: a name that is not valid text must
// still find them, and nothing is ever looked up in the working directory.
#include "platform/platform.h"

#include <QTemporaryDir>
#include <QtTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

class TestLocalFiles : public QObject
{
    Q_OBJECT
private slots:
    void besideTheExecutable_data();
    void besideTheExecutable();
};

void TestLocalFiles::besideTheExecutable_data()
{
    QTest::addColumn<QByteArray>("folder"); // below the test's folder, or "" for a relative one
    QTest::addColumn<QString>("made");      // what is made at folder + the page's path: "file", "dir"
    QTest::addColumn<bool>("found");
    QTest::newRow("plain folder") << QByteArray("/bin/") << "file" << true;
    QTest::newRow("folder named in Latin-1") << QByteArray("/\xd0\xe0\xe4\xe8\xee/") << "file" << true;
    QTest::newRow("folder with stray bytes") << QByteArray("/a\xff\xfe b%20/") << "file" << true;
    QTest::newRow("no file") << QByteArray("/bin/") << "" << false;
    QTest::newRow("a folder at the file's place") << QByteArray("/bin/") << "dir" << false;
    // An executable whose folder could not be told: the working directory's page is not taken.
    QTest::newRow("relative folder") << QByteArray() << "file" << false;
}

void TestLocalFiles::besideTheExecutable()
{
    QFETCH(QByteArray, folder);
    QFETCH(QString, made);
    QFETCH(bool, found);
    QTemporaryDir home;
    QVERIFY(home.isValid());
    const QByteArray base = folder.isNull() ? QByteArray() : QFile::encodeName(home.path()) + folder;
    QVERIFY(QDir::setCurrent(home.path()));
    // Made by bytes: QDir would take the names as text.
    const QByteArray pageFolder = base + "radio/localhost";
    for (qsizetype at = pageFolder.indexOf('/', 1); at >= 0; at = pageFolder.indexOf('/', at + 1))
        ::mkdir(pageFolder.left(at).constData(), 0700);
    ::mkdir(pageFolder.constData(), 0700);
    const QByteArray page = pageFolder + "/index.htm";
    if (made == "file")
        ::close(::open(page.constData(), O_CREAT | O_WRONLY, 0600));
    else if (made == "dir")
        ::mkdir(page.constData(), 0700);

    const QUrl url = fileUrlIn(base, QStringLiteral("radio/localhost/index.htm"));
    QCOMPARE(!url.isEmpty(), found);
    if (found) {
        // The address carries the path's bytes as they are, whatever the locale makes of them.
        const QByteArray encoded = url.toEncoded();
        QVERIFY(encoded.startsWith("file:///"));
        QCOMPARE(QByteArray::fromPercentEncoding(encoded.mid(7)), page);
    }
}

QTEST_GUILESS_MAIN(TestLocalFiles)
#include "tst_localfiles.moc"

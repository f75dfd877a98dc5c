// Qt
#include <QDir>
#include <QImage>
#include <QTemporaryDir>
#include <QTest>

// Local
#include "ct/atomicfile.h"
#include <csignal>
#include <random>
#include <sys/mount.h>
#include <sys/resource.h>

using namespace Qt::StringLiterals;

/// Writing files whole or not at all, and saying why not.
class TestAtomicFile : public QObject
{
    Q_OBJECT
private slots:
    void writesWholeFiles();
    void imagesReadBackAsTheyWere_data();
    void imagesReadBackAsTheyWere();
    void shortWriteNamesItsCause_data();
    void shortWriteNamesItsCause();
    void unusableDirectoryIsFoundBeforeWriting_data();
    void unusableDirectoryIsFoundBeforeWriting();
};

void TestAtomicFile::writesWholeFiles()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(u"a/b/c.dat"_s);
    const QByteArray bytes(300000, 'q');
    QString error;
    QVERIFY2(writeFileAtomically(path, bytes, &error), qPrintable(error));
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), bytes);
    QCOMPARE(QDir(dir.filePath(u"a/b"_s)).entryList(QDir::Files), QStringList {u"c.dat"_s});
}

void TestAtomicFile::imagesReadBackAsTheyWere_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("png, encoded fast") << u"slice.png"_s;
    QTest::newRow("PNG in capitals") << u"slice.PNG"_s;
}

void TestAtomicFile::imagesReadBackAsTheyWere()
{
    // A noisy grey slice, as a reconstruction's picture is: the lossless formats give it back.
    QFETCH(QString, name);
    QImage image(301, 200, QImage::Format_Grayscale8);
    std::mt19937 rng(4);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            image.scanLine(y)[x] = uchar((x * 3 + y + int(rng() % 40)) & 0xff);
    // Whatever resolution the screen gave the picture, the file says 96 dpi: the window and the
    // command write the same bytes.
    image.setDotsPerMeterX(3937);
    image.setDotsPerMeterY(1234);
    QTemporaryDir dir;
    QString error;
    QVERIFY2(writeImageAtomically(dir.filePath(name), image, &error), qPrintable(error));
    const QImage back(dir.filePath(name));
    QCOMPARE(back.convertToFormat(QImage::Format_Grayscale8), image);
    QCOMPARE(back.dotsPerMeterX(), imageDotsPerMeter);
    QCOMPARE(back.dotsPerMeterY(), imageDotsPerMeter);
}

void TestAtomicFile::shortWriteNamesItsCause_data()
{
    QTest::addColumn<QString>("limit"); // what stops the write
    QTest::addColumn<int>("bytes");
    QTest::addColumn<QString>("cause");
    // A write that stops short sets no error: before, the message read "Unknown error".
    QTest::newRow("file size limit, small file") << u"fsize"_s << 3000 << u"File too large"_s;
    QTest::newRow("file size limit, large file") << u"fsize"_s << 200000 << u"File too large"_s;
    QTest::newRow("full disk, small file") << u"disk"_s << 3000 << u"No space left on device"_s;
    QTest::newRow("full disk, large file") << u"disk"_s << 200000 << u"No space left on device"_s;
}

void TestAtomicFile::shortWriteNamesItsCause()
{
    QFETCH(QString, limit);
    QFETCH(int, bytes);
    QFETCH(QString, cause);
    QTemporaryDir dir;
    QString target = dir.path();
    bool mounted = false;
    rlimit old {};
    if (limit == u"disk"_s) {
        // A file system of 64 KiB, filled but for a little: needs the right to mount one.
        target = dir.filePath(u"small"_s);
        QVERIFY(QDir().mkpath(target));
        if (mount("tmpfs", QFile::encodeName(target).constData(), "tmpfs", 0, "size=64k") != 0)
            QSKIP("No small file system: mounting one needs the right to mount (root)");
        mounted = true;
        QFile filler(QDir(target).filePath(u"filler"_s));
        QVERIFY(filler.open(QIODevice::WriteOnly));
        filler.write(QByteArray(62 * 1024, 'f'));
        filler.close();
    } else {
        std::signal(SIGXFSZ, SIG_IGN);
        QCOMPARE(getrlimit(RLIMIT_FSIZE, &old), 0);
        rlimit small = old;
        small.rlim_cur = 1000;
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
    }
    QString error;
    const bool written
        = writeFileAtomically(QDir(target).filePath(u"slice.dat"_s), QByteArray(bytes, 'x'), &error);
    const QStringList left = QDir(target).entryList(QDir::Files);
    if (mounted)
        umount2(QFile::encodeName(target).constData(), MNT_DETACH);
    else
        setrlimit(RLIMIT_FSIZE, &old);
    QVERIFY(!written);
    QVERIFY2(error.contains(cause), qPrintable(error));
    QVERIFY(!left.contains(u"slice.dat"_s)); // nothing half-written under the file's name
}

void TestAtomicFile::unusableDirectoryIsFoundBeforeWriting_data()
{
    QTest::addColumn<QString>("dir");
    QTest::addColumn<bool>("usable");
    QTest::newRow("a temporary folder") << QString() << true;
    QTest::newRow("a file, not a folder") << u"file"_s << false;
    QTest::newRow("missing") << u"missing/folder"_s << false;
    // No one, not even root, makes files in /proc.
    QTest::newRow("a folder that takes no files") << u"/proc"_s << false;
}

void TestAtomicFile::unusableDirectoryIsFoundBeforeWriting()
{
    QFETCH(QString, dir);
    QFETCH(bool, usable);
    QTemporaryDir base;
    QFile file(base.filePath(u"file"_s));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    const QString path = dir.startsWith(u'/') ? dir : base.filePath(dir);
    const QString problem = directoryWriteProblem(path);
    QCOMPARE(problem.isEmpty(), usable);
    if (!usable)
        QVERIFY2(problem.contains(path), qPrintable(problem));
    QCOMPARE(QDir(base.path()).entryList(QDir::Files | QDir::Hidden), QStringList {u"file"_s});
}

QTEST_APPLESS_MAIN(TestAtomicFile)
#include "tst_atomicfile.moc"

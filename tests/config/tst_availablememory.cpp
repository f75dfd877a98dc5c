// Qt
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

// Local
#include "config/availablememory.h"

using namespace Qt::StringLiterals;

/// The memory a job may count on: the control group's room, the figures said to people.
class TestAvailableMemory : public QObject
{
    Q_OBJECT
private slots:
    void cgroupRoom_data();
    void cgroupRoom();
    void shortage_data();
    void shortage();
    void givenByTheEnvironment();
};

void TestAvailableMemory::cgroupRoom_data()
{
    // Files of a made-up hierarchy: "level/file=content" (level "." is the root); the room of the
    // group "a/b" is the lowest limit less usage of its levels.
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<qint64>("room");
    QTest::newRow("v2, no limit") << QStringList {u"a/b/memory.max=max"_s, u"a/b/memory.current=5000"_s}
                                  << qint64(-1);
    QTest::newRow("v2, the group's limit")
        << QStringList {u"a/b/memory.max=8000"_s, u"a/b/memory.current=5000"_s} << qint64(3000);
    QTest::newRow("v2, a parent's lower room") << QStringList {u"a/b/memory.max=8000"_s,
        u"a/b/memory.current=1000"_s, u"a/memory.max=4000"_s, u"a/memory.current=3500"_s}
                                               << qint64(500);
    QTest::newRow("v2, usage beyond the limit")
        << QStringList {u"a/b/memory.max=100"_s, u"a/b/memory.current=900"_s} << qint64(0);
    QTest::newRow("v1, no limit") << QStringList {u"a/b/memory.limit_in_bytes=9223372036854771712"_s,
        u"a/b/memory.usage_in_bytes=10"_s}
                                  << qint64(-1);
    QTest::newRow("v1, the limit at the root") << QStringList {u"./memory.limit_in_bytes=1000000"_s,
        u"./memory.usage_in_bytes=250000"_s} << qint64(750000);
    QTest::newRow("no files") << QStringList {} << qint64(-1);
}

void TestAvailableMemory::cgroupRoom()
{
    QFETCH(QStringList, files);
    QFETCH(qint64, room);
    QTemporaryDir root;
    QVERIFY(QDir(root.path()).mkpath(u"a/b"_s));
    for (const QString &entry : std::as_const(files)) {
        const QStringList parts = entry.split(u'=');
        QFile f(root.filePath(parts[0]));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(parts[1].toLatin1() + '\n');
    }
    QCOMPARE(::cgroupRoom(root.path(), root.filePath(u"a/b"_s)), room);
}

void TestAvailableMemory::shortage_data()
{
    QTest::addColumn<qint64>("needed");
    QTest::addColumn<qint64>("available");
    QTest::addColumn<QString>("said");
    QTest::newRow("fits") << qint64(1000) << qint64(1000) << QString();
    // The need rounded up, the room down: never "23 GB needs, 23 GB are available".
    QTest::newRow("a slice of 29 GB")
        << qint64(28800000000) << qint64(23400000000) << u"slice 0 needs 29 GB, 23 GB are available"_s;
    QTest::newRow("just beyond") << qint64(23000000001) << qint64(23000000000)
                                 << u"slice 0 needs 24 GB, 23 GB are available"_s;
    QTest::newRow("bytes") << qint64(999) << qint64(10)
                           << u"slice 0 needs 999 bytes, 10 bytes are available"_s;
}

void TestAvailableMemory::shortage()
{
    QFETCH(qint64, needed);
    QFETCH(qint64, available);
    QFETCH(QString, said);
    QCOMPARE(memoryShortage(u"slice 0"_s, needed, available), said);
}

void TestAvailableMemory::givenByTheEnvironment()
{
    const qint64 machine = availableMemory();
    QVERIFY(machine > 0);
    qputenv("QV_AVAILABLE_MEMORY", "12345");
    QCOMPARE(availableMemory(), qint64(12345));
    qunsetenv("QV_AVAILABLE_MEMORY");
}

QTEST_GUILESS_MAIN(TestAvailableMemory)
#include "tst_availablememory.moc"

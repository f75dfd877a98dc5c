// Qt
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

// Local
#include "imagedata/hdf5probe.h"
#include "imagedata/hdf5scan.h"
#include "imagedata/imagesource.h"
#include "tools/scanfile/scanfilewriter.h"

using namespace Qt::StringLiterals;

namespace {

// Sets an environment variable for the scope.
struct Environment
{
    QByteArray name;
    QByteArray before;
    bool had;
    Environment(const char *n, const QByteArray &value)
        : name(n)
        , before(qgetenv(n))
        , had(qEnvironmentVariableIsSet(n))
    {
        if (value.isNull())
            qunsetenv(n);
        else
            qputenv(n, value);
    }
    ~Environment()
    {
        if (had)
            qputenv(name.constData(), before);
        else
            qunsetenv(name.constData());
    }
};

} // namespace

/// A scan file's structure is opened first in a child process: a file that makes the HDF5 library
/// fault, or keeps it busy past the limit, is refused with a reason and never opened here.
class TestHdf5Probe : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void refusesWhatTheChildDoesNotSurvive_data();
    void refusesWhatTheChildDoesNotSurvive();
    void aFileThatPassedIsNotCheckedAgain();

private:
    QString script(const QString &name, const QString &body);
    QTemporaryDir dir_;
    QString sound_, damaged_, looping_;
};

QString TestHdf5Probe::script(const QString &name, const QString &body)
{
    const QString path = dir_.filePath(name);
    QFile f(path);
    if (f.open(QIODevice::WriteOnly)) {
        f.write((u"#!/bin/sh\n"_s + body + u"\n"_s).toUtf8());
        f.close();
        f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    return path;
}

void TestHdf5Probe::initTestCase()
{
    ScanFileRecipe recipe;
    recipe.keys = {1, 0, 0, 0};
    recipe.gzip = 1;
    sound_ = dir_.filePath(u"sound.nxs"_s);
    QVERIFY(writeScanFile(sound_, recipe));
    // Fuzzing findings (their first byte chose the target's mode): a file whose damaged local heap
    // makes HDF5 1.10.8 fault while it opens the file's groups, and one whose damaged global heap
    // keeps it in a loop reading a string attribute.
    for (auto [name, path] : {std::pair {"library-segv-damaged-local-heap", &damaged_},
             std::pair {"library-loop-damaged-global-heap", &looping_}}) {
        QFile input(QStringLiteral(QUORVEL_FUZZ_CORPUS "/hdf5probe/") + QLatin1String(name));
        QVERIFY(input.open(QIODevice::ReadOnly));
        *path = dir_.filePath(QLatin1String(name) + u".h5"_s);
        QFile out(*path);
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write(input.readAll().mid(1));
    }
}

void TestHdf5Probe::refusesWhatTheChildDoesNotSurvive_data()
{
    QTest::addColumn<QString>("file"); // sound, damaged or looping
    QTest::addColumn<QString>("helper"); // a script's body; empty: the real helper
    QTest::addColumn<QString>("refusal"); // empty: it passes
    const QString damaged = scanprobe::damagedText();
    QTest::newRow("the library faults") << u"damaged"_s << QString() << damaged;
    QTest::newRow("the library loops") << u"looping"_s << QString() << damaged;
    QTest::newRow("the library never ends") << u"sound"_s << u"exec sleep 30"_s << damaged;
    QTest::newRow("the child ends with a status") << u"sound"_s << u"exit 3"_s << damaged;
    // A crash handler (a sanitizer's, for one) may end a faulting child with status 0.
    QTest::newRow("the child ends with 0 unfinished") << u"sound"_s << u"exit 0"_s << damaged;
    QTest::newRow("no helper") << u"sound"_s << u"-"_s << u"quorvel-scanprobe is not installed"_s;
    QTest::newRow("a sound file") << u"sound"_s << QString() << QString();
}

void TestHdf5Probe::refusesWhatTheChildDoesNotSurvive()
{
    QFETCH(QString, file);
    QFETCH(QString, helper);
    QFETCH(QString, refusal);
    const QString path = file == u"sound"_s ? sound_ : file == u"damaged"_s ? damaged_ : looping_;
    const QByteArray program = helper.isEmpty() ? QByteArray()
        : helper == u"-"_s                      ? QByteArrayLiteral("/nonexistent/quorvel-scanprobe")
                                                : script(u"helper.sh"_s, helper).toLocal8Bit();
    const Environment env("QUORVEL_SCANPROBE", program);
    QElapsedTimer clock;
    clock.start();
    QString error;
    QCOMPARE(probeScanFile(path, error, 500), refusal.isEmpty());
    QVERIFY2(error.contains(refusal), qPrintable(error));
    QVERIFY(clock.elapsed() < 5000); // a child past its time is killed, not waited for
    if (file != u"damaged"_s)
        return;
    // The program's own ways in refuse it with the same reason, before opening it.
    QVERIFY(!Hdf5Scan::open(path, error));
    QCOMPARE(error, refusal);
    std::vector<ImageSource> sources;
    std::vector<std::shared_ptr<const Hdf5Scan>> scans;
    QVERIFY(!expandSources({path}, sources, scans, error));
    QCOMPARE(error, u"cannot use %1: %2"_s.arg(path, refusal));
}

void TestHdf5Probe::aFileThatPassedIsNotCheckedAgain()
{
    // A helper that counts its calls before it checks.
    const QString calls = dir_.filePath(u"calls"_s);
    const QString helper = script(u"counting.sh"_s,
        u"echo x >> '%1'\nexec '%2' \"$@\""_s.arg(calls, QStringLiteral(QV_SCANPROBE_HELPER)));
    const Environment env("QUORVEL_SCANPROBE", helper.toLocal8Bit());
    const QString copy = dir_.filePath(u"copy.nxs"_s);
    QVERIFY(QFile::copy(sound_, copy));
    QString error;
    const auto count = [&calls] {
        QFile f(calls);
        return f.open(QIODevice::ReadOnly) ? f.readAll().count('\n') : 0;
    };
    QVERIFY2(probeScanFile(copy, error), qPrintable(error));
    QVERIFY2(Hdf5Scan::open(copy, error), qPrintable(error));
    QCOMPARE(count(), 1);
    // Changed since: checked again.
    QFile f(copy);
    QVERIFY(f.open(QIODevice::Append));
    f.write("tail");
    f.close();
    QVERIFY(probeScanFile(copy, error));
    QCOMPARE(count(), 2);
}

QTEST_GUILESS_MAIN(TestHdf5Probe)
#include "tst_hdf5probe.moc"

// Qt
#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

// Local
#include "tests/app/reconcommand.h"
#include "tools/phantom/phantom.h"
#include <cmath>

using namespace Qt::StringLiterals;

namespace {

constexpr int detector = 96;

// A scan into `dir` as `quorvel-demo --offset-axis` writes one: the demo object as wide as the
// stitched slice (2·reach), 24 rows of `detector` columns, the axis at `cor`.
bool writeSet(const QString &dir, double cor, int projections, double rangeDeg = 360.0, double noise = 1.0)
{
    ScanSetup s;
    s.width = detector;
    s.height = 24;
    s.cor = cor;
    s.projections = projections;
    s.rangeDeg = rangeDeg;
    s.noise = noise;
    if (noise == 0.0)
        s.flatNoise = 0.0;
    const int reach = static_cast<int>(std::max(cor, detector - 1 - cor));
    return writeScan(demoPhantomReaching(0.9 * reach), s, QDir(dir).filePath(u"p"_s), u"p_"_s,
        QDir(dir).filePath(u"i0.img"_s), QDir(dir).filePath(u"bg.img"_s));
}

QStringList commandOn(const QString &dir, const QString &extra)
{
    return QStringList {QDir(dir).filePath(u"p"_s), u"--i0"_s, QDir(dir).filePath(u"i0.img"_s), u"--bg"_s,
               QDir(dir).filePath(u"bg.img"_s), u"--axis"_s, u"v"_s}
    + words(extra);
}

// The batch lines that load the scan in `dir` for a stitched CT2 run saving data files into `out`.
QString loadLines(const QString &dir, const QString &out)
{
    return u"ct_rot_ax_is_v 1\nimages_load %1 *.img\ni0_load %2\nbg_load %3\ncalc_ct2 1\nct_dataset_range "
           u"360\n"
           "ct_offset_axis 1\nauto_save_in_sub_folders 0\nauto_save_data 1\nauto_save_data_path %4\n"
           "auto_save_data_name s\nauto_save_data_tag E\n"_s.arg(QDir(dir).filePath(u"p"_s),
               QDir(dir).filePath(u"i0.img"_s), QDir(dir).filePath(u"bg.img"_s), out);
}

// C of "offset axis: C (overlap O pixels, axis near the SIDE edge)" in `text`; NaN when not said.
double saidAxis(const QString &text, QString *side = nullptr)
{
    static const QRegularExpression line(
        u"offset axis: (\\S+) \\(overlap \\d+ pixels, axis near the (\\w+) edge\\)"_s);
    const QRegularExpressionMatch m = line.match(text);
    if (side)
        *side = m.captured(2);
    return m.hasMatch() ? m.captured(1).toDouble() : std::nan("");
}

// Runs the window without a display on the batch `text` in `folder`: its exit status and log.
int runWindow(const QString &folder, const QString &text, QString &log)
{
    QFile file(QDir(folder).filePath(u"run.bat"_s));
    if (!file.open(QIODevice::WriteOnly) || file.write(text.toUtf8()) < 0)
        return -1;
    file.close();
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(QString::fromLatin1(name));
    p.setProcessEnvironment(env);
    p.setWorkingDirectory(folder); // no configuration file here
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(QStringLiteral(QUORVEL_PROGRAM), {u"-nw"_s, u"-e"_s, u"-b"_s, file.fileName(), u"-x"_s});
    const bool ended = p.waitForFinished(60000);
    if (!ended)
        p.kill();
    log = QString::fromLocal8Bit(p.readAll());
    file.remove();
    return ended && p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

} // namespace

/// Offset-axis 360° scans through the run library: the command's option and its refusals, its slice
/// against a detector twice as wide, the tasks of an array, the scan of axis positions, and the
/// window's batch lines, which give the command's bytes.
class TestOffsetAxisRun : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void command_data();
    void command();
    void stitchedSliceMatchesFullWidth();
    void tasksAndScans();
    void seriesSearchEachSet();
    void window_data();
    void window();

private:
    QString scan(const QString &name) const { return dir_.filePath(name); }
    QTemporaryDir dir_;
};

void TestOffsetAxisRun::initTestCase()
{
    // Overlaps of 24 (axis right) and 20 (axis left) columns; a centred 360° scan, on which no
    // overlap of an offset axis matches; a 180° scan.
    QVERIFY(writeSet(scan(u"right"_s), 83, 180) && writeSet(scan(u"left"_s), 10, 180));
    QVERIFY(writeSet(scan(u"odd"_s), 83, 181) && writeSet(scan(u"clean"_s), 83, 180, 360.0, 0.0));
    QVERIFY(writeSet(scan(u"centred"_s), 47.5, 120) && writeSet(scan(u"half"_s), 83, 90, 180.0));
}

void TestOffsetAxisRun::command_data()
{
    QTest::addColumn<QString>("scan");
    QTest::addColumn<QString>("options");
    QTest::addColumn<int>("status");
    QTest::addColumn<double>("axis"); // said before the slices, within a quarter pixel (NaN: none)
    QTest::addColumn<QString>("said"); // in the output or the refusal
    const double none = std::nan("");
    QTest::newRow("auto, right") << u"right"_s << u"auto"_s << 0 << 83.0 << u"near the right edge"_s;
    QTest::newRow("auto, left") << u"left"_s << u"auto"_s << 0 << 10.0 << u"near the left edge"_s;
    QTest::newRow("auto, odd projections") << u"odd"_s << u"auto"_s << 0 << 83.0 << u"wrote"_s;
    QTest::newRow("given") << u"right"_s << u"83.25"_s << 0 << 83.25 << u"offset axis: 83.25 (overlap"_s;
    QTest::newRow("with --cor") << u"right"_s << u"auto --cor 83"_s << 2 << none << u"give no --cor"_s;
    QTest::newRow("partial") << u"right"_s << u"auto --partial 0:90"_s << 2 << none << u"no --partial"_s;
    QTest::newRow("not a number") << u"right"_s << u"right"_s << 2 << none << u"auto or a finite number"_s;
    QTest::newRow("a 180 degree set")
        << u"half"_s << u"auto --range 180"_s << 2 << none << u"needs a data set over 360 degrees"_s;
    QTest::newRow("outside the lines")
        << u"right"_s << u"95.5"_s << 2 << none << u"outside the lines of 96"_s;
    QTest::newRow("no overlap found")
        << u"centred"_s << u"auto"_s << 1 << none << u"cannot find the offset axis"_s;
    // Without the option, a centred 360° scan is reconstructed as before.
    QTest::newRow("centred, as before")
        << u"centred"_s << QString() << 0 << none << u"centre of rotation: 47.5"_s;
}

void TestOffsetAxisRun::command()
{
    QFETCH(QString, scan);
    QFETCH(QString, options);
    QFETCH(int, status);
    QFETCH(double, axis);
    QFETCH(QString, said);
    QTemporaryDir out;
    const QString args = options.isEmpty() ? u"--range 360 --cor 47.5"_s : u"--offset-axis "_s + options;
    QString text;
    QCOMPARE(
        runRecon(commandOn(this->scan(scan), args + u" --slice 12 --out "_s + out.path()), &text), status);
    QVERIFY2(text.contains(said), qPrintable(text));
    const double found = saidAxis(text);
    QCOMPARE(std::isnan(found), std::isnan(axis));
    if (!std::isnan(axis)) {
        QVERIFY2(std::abs(found - axis) <= 0.25, qPrintable(text));
        QVERIFY(text.indexOf(u"offset axis:"_s) < text.indexOf(u"wrote"_s));
        QCOMPARE(filesUnder(out.path()), words(u"ct-00012.dat ct-00012.png"_s));
    }
}

void TestOffsetAxisRun::stitchedSliceMatchesFullWidth()
{
    // The run's angles and engine for the stitched rows: noise-free, its slice agrees within 1 % of
    // the range with that of a detector of 167 columns (the axis on its middle) over 180° at the
    // stitched rows' angles.
    QTemporaryDir work;
    ScanSetup full;
    full.width = 167;
    full.height = 24;
    full.cor = 83;
    full.projections = 90;
    full.noise = full.flatNoise = 0.0;
    QVERIFY(writeScan(demoPhantomReaching(0.9 * 83), full, work.filePath(u"p"_s), u"p_"_s,
        work.filePath(u"i0.img"_s), work.filePath(u"bg.img"_s)));
    QString text;
    const QString tail = u" --slice 12 --tiff --no-png --no-data --out "_s;
    QVERIFY2(
        runRecon(commandOn(scan(u"clean"_s), u"--offset-axis 83"_s + tail + scan(u"clean"_s)), &text) == 0,
        qPrintable(text));
    QVERIFY2(
        runRecon(commandOn(work.path(), u"--cor 83"_s + tail + work.path()), &text) == 0, qPrintable(text));
    const std::vector<float> a = tiffValues(QDir(scan(u"clean"_s)).filePath(u"ct-00012.tif"_s));
    const std::vector<float> b = tiffValues(work.filePath(u"ct-00012.tif"_s));
    QVERIFY(!a.empty());
    QCOMPARE(a.size(), b.size()); // the whole stitched slice
    const auto [lo, hi] = std::minmax_element(b.begin(), b.end());
    double sum = 0.0;
    for (size_t i = 0; i < a.size(); ++i)
        sum += double(a[i] - b[i]) * (a[i] - b[i]);
    QVERIFY2(std::sqrt(sum / a.size()) <= 0.01 * (*hi - *lo),
        qPrintable(QString::number(std::sqrt(sum / a.size()))));
}

void TestOffsetAxisRun::tasksAndScans()
{
    // The tasks of an array each reconstruct one block, and search the same slices of the whole run:
    // all use one axis.
    QTemporaryDir out;
    ReconOptions options;
    QString error;
    QVERIFY(
        parseReconOptions(commandOn(scan(u"right"_s),
                              u"--offset-axis auto --slices 2:21 --block 5 --no-png --out "_s + out.path()),
            options, error));
    std::vector<double> said;
    for (int block : {0, 3}) {
        QString text;
        QTextStream stream(&text);
        QCOMPARE(ReconRun(options, stream, stream).exec(block), 0);
        stream.flush();
        said.push_back(saidAxis(text));
    }
    QCOMPARE(said[0], said[1]);
    QVERIFY(std::abs(said[0] - 83.0) <= 0.25);
    // Trial axes stitch sinograms of different widths: every page is one size, and the best trial lies
    // within a pixel of the true axis (the entropy of a stitched slice is not sharper than that; with
    // noise it prefers a wider overlap, where the two halves average: the axis search is finer).
    QString text;
    QVERIFY2(runRecon(commandOn(scan(u"clean"_s),
                          u"--offset-axis auto --cor-scan 81:85:1 --slice 12 --out "_s + out.path()),
                 &text)
            == 0,
        qPrintable(text));
    QSize first;
    const auto pages = tiffPages(QDir(out.path()).filePath(u"ct-corscan-00012.tif"_s), nullptr, &first);
    QCOMPARE(pages.size(), size_t(5));
    for (const auto &page : pages)
        QCOMPARE(page.size(), size_t(first.width()) * first.height());
    const QRegularExpressionMatch best = QRegularExpression(u"best centre of rotation: (\\S+)"_s).match(text);
    QVERIFY2(best.hasMatch() && std::abs(best.captured(1).toDouble() - 83.0) <= 1.0, qPrintable(text));
}

void TestOffsetAxisRun::seriesSearchEachSet()
{
    // A CT-XAFS series of two energies whose axis moved between them: each set finds its own.
    QTemporaryDir series, out;
    ScanSetup s;
    s.width = detector;
    s.height = 24;
    s.projections = 120;
    s.rangeDeg = 360.0;
    QVERIFY(QDir().mkpath(series.filePath(u"i0"_s)));
    for (const auto &[energy, cor] : {std::pair {u"7090eV"_s, 83.0}, std::pair {u"7140eV"_s, 84.5}}) {
        s.cor = cor;
        QVERIFY(
            writeScan(demoPhantomReaching(0.9 * cor), s, series.filePath(u"p"_s), u"demo-%1-"_s.arg(energy),
                series.filePath(u"i0/I0-%1-0001.img"_s.arg(energy)), series.filePath(u"bg.img"_s)));
    }
    QString text;
    const QStringList args {u"--series"_s, series.filePath(u"p"_s), u"--i0-files"_s, series.filePath(u"i0"_s),
        u"--bg"_s, series.filePath(u"bg.img"_s), u"--axis"_s, u"v"_s, u"--offset-axis"_s, u"auto"_s,
        u"--slice"_s, u"12"_s, u"--no-png"_s, u"--out"_s, out.path()};
    QVERIFY2(runRecon(args, &text) == 0, qPrintable(text));
    const QString second = text.section(u"(demo 7140eV)"_s, 1);
    QVERIFY2(std::abs(saidAxis(text) - 83.0) <= 0.25 && std::abs(saidAxis(second) - 84.5) <= 0.25,
        qPrintable(text));
    QCOMPARE(filesUnder(out.path()).filter(u".dat"_s), words(u"7090eV-00012.dat 7140eV-00012.dat"_s));
}

void TestOffsetAxisRun::window_data()
{
    QTest::addColumn<QString>("scan");
    QTest::addColumn<QString>("batch"); // after the loading lines; a failure quits with status 7
    QTest::addColumn<QString>("options"); // the command's that write the same files (none: a failure)
    QTest::addColumn<QStringList>("files"); // or, for a failure, what the log says
    QTest::newRow("CT2 range, auto")
        << u"right"_s << u"ct_auto_exec 1\nct_slice_from 4\nct_slice_to 20\nct_slice_step 8\n"_s
        << u"auto --slices 4:20:8"_s << words(u"s-E-00004.dat s-E-00012.dat s-E-00020.dat"_s);
    QTest::newRow("CT2 slice, given axis")
        << u"right"_s << u"ct_offset_axis_cor 83.5\n"_s << u"83.5 --slice 12"_s << words(u"s-E-00012.dat"_s);
    QTest::newRow("CoR scan") << u"right"_s << u"ct_cor_scan 82 84 1\n"_s
                              << u"auto --cor-scan 82:84:1 --slice 12"_s
                              << words(
                                     u"s-E-corscan-00012.png s-E-corscan-00012.tif s-E-corscan-00012.txt"_s);
    QTest::newRow("a 180 degree set")
        << u"half"_s << u"ct_dataset_range 180\n"_s << QString() << QStringList {u"over 360 degrees"_s};
    QTest::newRow("a partial set") << u"right"_s << u"ct_use_partial_data_set 1\n"_s << QString()
                                   << QStringList {u"not a partial one"_s};
    QTest::newRow("outside the lines")
        << u"right"_s << u"ct_offset_axis_cor 200\n"_s << QString() << QStringList {u"outside the lines"_s};
    QTest::newRow("no overlap found")
        << u"centred"_s << QString() << QString() << QStringList {u"no overlap"_s};
}

void TestOffsetAxisRun::window()
{
    // The window (a batch without a display) and the command stitch in one place: the same files,
    // byte for byte (the window's default region is the whole stitched slice), the same axis said.
    // A run that cannot be stitched ends failed with the reason, writes nothing, and the batch
    // takes the failure.
    QFETCH(QString, scan);
    QFETCH(QString, batch);
    QFETCH(QString, options);
    QFETCH(QStringList, files);
    QTemporaryDir fromWindow, fromCommand;
    QString log, text;
    const QString run = batch.contains(u"cor_scan"_s) ? QString() : u"calc_exec\n:ifng app_quit 7\n"_s;
    const int status = runWindow(fromWindow.path(),
        loadLines(this->scan(scan), fromWindow.path()) + u"ct_proc_slice 12\n"_s + batch + run
            + u"app_quit\n"_s,
        log);
    if (options.isEmpty()) {
        QCOMPARE(status, 7);
        QVERIFY2(log.contains(files.front()), qPrintable(log));
        QCOMPARE(QDir(fromWindow.path()).entryList(QDir::Files), QStringList());
        return;
    }
    QVERIFY2(status == 0, qPrintable(log));
    QVERIFY2(runRecon(commandOn(this->scan(scan),
                          u"--offset-axis "_s + options + u" --no-png --name s --tag E --out "_s
                              + fromCommand.path()),
                 &text)
            == 0,
        qPrintable(text));
    QCOMPARE(QDir(fromWindow.path()).entryList(QDir::Files), files);
    QCOMPARE(QDir(fromCommand.path()).entryList(QDir::Files), files);
    QVERIFY(sameFiles(fromWindow.path(), fromCommand.path(), files));
    if (run.isEmpty())
        return;
    QCOMPARE(saidAxis(log), saidAxis(text));
}

QTEST_GUILESS_MAIN(TestOffsetAxisRun)
#include "tst_offsetaxisrun.moc"

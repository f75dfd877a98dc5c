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

// Offset-axis scans as `quorvel-demo --offset-axis OVERLAP` writes them: the demo object as wide as
// the stitched slice, 360 degrees, the near edge OVERLAP / 2 columns from the axis.
constexpr int detector = 96;
constexpr int rows = 24;

double axisOf(int overlap, bool right)
{
    return right ? detector - 1 - overlap / 2.0 : overlap / 2.0;
}

bool writeOffsetScan(
    const QString &dir, int overlap, bool right, int projections, double rangeDeg = 360.0, double noise = 1.0)
{
    ScanSetup s;
    s.noise = noise;
    s.width = detector;
    s.height = rows;
    s.cor = axisOf(overlap, right);
    s.projections = projections;
    s.rangeDeg = rangeDeg;
    const int reach = static_cast<int>(std::max(s.cor, detector - 1 - s.cor));
    return writeScan(demoPhantom(2 * reach), s, QDir(dir).filePath(u"p"_s), u"p_"_s,
        QDir(dir).filePath(u"i0.img"_s), QDir(dir).filePath(u"bg.img"_s));
}

// The command's arguments on a scan written by `writeOffsetScan` into `dir`.
QStringList commandOn(const QString &dir, const QString &extra)
{
    return QStringList {QDir(dir).filePath(u"p"_s), u"--i0"_s, QDir(dir).filePath(u"i0.img"_s), u"--bg"_s,
               QDir(dir).filePath(u"bg.img"_s), u"--axis"_s, u"v"_s}
    + words(extra);
}

// "offset axis: C (overlap O pixels, axis near the SIDE edge)" in `text`: C, and the side.
std::optional<std::pair<double, QString>> saidAxis(const QString &text)
{
    static const QRegularExpression line(
        u"offset axis: (\\S+) \\(overlap \\d+ pixels, axis near the (right|left) edge\\)"_s);
    const QRegularExpressionMatch m = line.match(text);
    if (!m.hasMatch())
        return std::nullopt;
    return std::pair {m.captured(1).toDouble(), m.captured(2)};
}

} // namespace

/// Offset-axis 360° scans through the run library: the command's option, its refusals, its files
/// against a detector twice as wide, the tasks of an array, the scan of centres and the window's
/// batch lines, which must give the command's bytes.
class TestOffsetAxisRun : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void command_data();
    void command();
    void stitchedSliceMatchesFullWidth();
    void everyTaskFindsTheSameAxis();
    void scanPagesAreOneSize();
    void windowWritesTheCommandsFiles_data();
    void windowWritesTheCommandsFiles();
    void windowRunsThatCannotBeStitchedFail_data();
    void windowRunsThatCannotBeStitchedFail();

private:
    // Runs the window without a display on the batch `text`: its exit status and log.
    int runWindow(const QString &folder, const QString &text, QString &log);
    QTemporaryDir dir_;
    QString right_, left_, odd_, centred_, half_, clean_;
};

void TestOffsetAxisRun::initTestCase()
{
    QVERIFY(dir_.isValid());
    right_ = dir_.filePath(u"right"_s);
    left_ = dir_.filePath(u"left"_s);
    odd_ = dir_.filePath(u"odd"_s);
    centred_ = dir_.filePath(u"centred"_s);
    half_ = dir_.filePath(u"half"_s);
    QVERIFY(writeOffsetScan(right_, 24, true, 180));
    QVERIFY(writeOffsetScan(left_, 20, false, 180));
    QVERIFY(writeOffsetScan(odd_, 24, true, 181));
    QVERIFY(writeOffsetScan(half_, 24, true, 90, 180.0)); // a 180° scan
    clean_ = dir_.filePath(u"clean"_s);
    QVERIFY(writeOffsetScan(clean_, 24, true, 180, 360.0, 0.0));
    // A 360° scan with the axis in the middle: no overlap of an offset axis matches.
    ScanSetup centred;
    centred.width = detector;
    centred.height = rows;
    centred.cor = 47.5;
    centred.projections = 120;
    centred.rangeDeg = 360.0;
    QVERIFY(writeScan(demoPhantom(detector), centred, QDir(centred_).filePath(u"p"_s), u"p_"_s,
        QDir(centred_).filePath(u"i0.img"_s), QDir(centred_).filePath(u"bg.img"_s)));
}

void TestOffsetAxisRun::command_data()
{
    QTest::addColumn<QString>("scan");
    QTest::addColumn<QString>("options");
    QTest::addColumn<int>("status");
    QTest::addColumn<double>("axis"); // the axis said, within a quarter pixel (NaN: none said)
    QTest::addColumn<QString>("said"); // in the output (or the refusal)
    const double none = std::nan("");
    QTest::newRow("auto, right") << u"right"_s << u"--offset-axis auto"_s << 0 << axisOf(24, true)
                                 << u"axis near the right edge"_s;
    QTest::newRow("auto, left") << u"left"_s << u"--offset-axis auto"_s << 0 << axisOf(20, false)
                                << u"axis near the left edge"_s;
    QTest::newRow("auto, odd projections")
        << u"odd"_s << u"--offset-axis auto"_s << 0 << axisOf(24, true) << u"wrote"_s;
    QTest::newRow("given") << u"right"_s << u"--offset-axis 83.25"_s << 0 << 83.25
                           << u"offset axis: 83.25 (overlap"_s;
    QTest::newRow("with --cor") << u"right"_s << u"--offset-axis auto --cor 83"_s << 2 << none
                                << u"give no --cor"_s;
    QTest::newRow("with --partial") << u"right"_s << u"--offset-axis auto --partial 0:90"_s << 2 << none
                                    << u"no --partial"_s;
    QTest::newRow("not a number") << u"right"_s << u"--offset-axis right"_s << 2 << none
                                  << u"takes auto or a finite number"_s;
    QTest::newRow("a 180 degree set") << u"half"_s << u"--offset-axis auto --range 180"_s << 2 << none
                                      << u"needs a data set over 360 degrees"_s;
    QTest::newRow("axis outside the lines")
        << u"right"_s << u"--offset-axis 95.5"_s << 2 << none << u"lies outside the lines of 96 pixels"_s;
    QTest::newRow("no overlap found")
        << u"centred"_s << u"--offset-axis auto"_s << 1 << none << u"cannot find the offset axis"_s;
    QTest::newRow("a centred 360 degree scan as before")
        << u"centred"_s << u"--range 360 --cor 47.5"_s << 0 << none << u"centre of rotation: 47.5"_s;
}

void TestOffsetAxisRun::command()
{
    QFETCH(QString, scan);
    QFETCH(QString, options);
    QFETCH(int, status);
    QFETCH(double, axis);
    QFETCH(QString, said);
    QTemporaryDir out;
    QString text;
    const int code
        = runRecon(commandOn(dir_.filePath(scan), options + u" --slice 12 --out "_s + out.path()), &text);
    QVERIFY2(code == status, qPrintable(text));
    QVERIFY2(text.contains(said), qPrintable(text));
    const auto found = saidAxis(text);
    QCOMPARE(found.has_value(), !std::isnan(axis));
    if (found) {
        QVERIFY2(std::abs(found->first - axis) <= 0.25, qPrintable(text));
        // Said before the slices it was used for.
        QVERIFY(text.indexOf(u"offset axis:"_s) < text.indexOf(u"wrote"_s));
        QCOMPARE(filesUnder(out.path()), words(u"ct-00012.dat ct-00012.png"_s));
    }
}

void TestOffsetAxisRun::stitchedSliceMatchesFullWidth()
{
    // The same object recorded over 180° by a detector of 2·reach + 1 columns with the axis on its
    // middle column, at the stitched rows' angles: noise-free, the two slices agree within 1 % of
    // their range.
    QTemporaryDir work;
    const double cor = axisOf(24, true);
    const int reach = static_cast<int>(cor);
    ScanSetup full;
    full.width = 2 * reach + 1;
    full.height = rows;
    full.cor = reach;
    full.projections = 90;
    full.rangeDeg = 180.0;
    full.noise = 0.0;
    full.flatNoise = 0.0;
    ScanSetup offset = full;
    offset.width = detector;
    offset.cor = cor;
    offset.projections = 180;
    offset.rangeDeg = 360.0;
    const QString f = work.filePath(u"full"_s), o = work.filePath(u"offset"_s);
    QVERIFY(writeScan(demoPhantom(2 * reach), full, QDir(f).filePath(u"p"_s), u"p_"_s,
        QDir(f).filePath(u"i0.img"_s), QDir(f).filePath(u"bg.img"_s)));
    QVERIFY(writeScan(demoPhantom(2 * reach), offset, QDir(o).filePath(u"p"_s), u"p_"_s,
        QDir(o).filePath(u"i0.img"_s), QDir(o).filePath(u"bg.img"_s)));
    QString text;
    const QString tail = u" --slice 12 --tiff --no-png --no-data --out "_s;
    QVERIFY2(runRecon(commandOn(o, u"--offset-axis %1"_s.arg(cor) + tail + o), &text) == 0, qPrintable(text));
    QVERIFY2(runRecon(commandOn(f, u"--cor %1"_s.arg(reach) + tail + f), &text) == 0, qPrintable(text));
    const std::vector<float> a = tiffValues(QDir(o).filePath(u"ct-00012.tif"_s));
    const std::vector<float> b = tiffValues(QDir(f).filePath(u"ct-00012.tif"_s));
    QVERIFY(!a.empty());
    QCOMPARE(a.size(), b.size()); // the whole stitched slice, as wide as the full detector's
    const auto [lo, hi] = std::minmax_element(b.begin(), b.end());
    double sum = 0.0;
    for (size_t i = 0; i < a.size(); ++i)
        sum += double(a[i] - b[i]) * (a[i] - b[i]);
    const double rms = std::sqrt(sum / a.size());
    QVERIFY2(rms <= 0.01 * (*hi - *lo), qPrintable(u"rms %1 of range %2"_s.arg(rms).arg(*hi - *lo)));
}

void TestOffsetAxisRun::everyTaskFindsTheSameAxis()
{
    // The tasks of an array each reconstruct one block: each searches the same slices of the whole
    // run, so that all say and use one axis.
    QTemporaryDir out;
    ReconOptions options;
    QString error;
    QVERIFY(parseReconOptions(
        commandOn(right_, u"--offset-axis auto --slices 2:21 --block 5 --no-png --out "_s + out.path()),
        options, error));
    std::vector<double> said;
    for (int block : {0, 3}) {
        QString text;
        QTextStream stream(&text);
        QCOMPARE(ReconRun(options, stream, stream).exec(block), 0);
        stream.flush();
        const auto axis = saidAxis(text);
        QVERIFY2(axis, qPrintable(text));
        said.push_back(axis->first);
    }
    QCOMPARE(said[0], said[1]);
    QVERIFY(std::abs(said[0] - axisOf(24, true)) <= 0.25);
}

void TestOffsetAxisRun::scanPagesAreOneSize()
{
    // Trial axes stitch sinograms of different widths: every page shows the same square about its
    // axis, and on noise-free data the best trial lies at the true axis. (With noise the entropy
    // prefers a wider overlap, where the two halves average: the axis search has no such bias.)
    QTemporaryDir out;
    QString text;
    QVERIFY2(
        runRecon(commandOn(clean_, u"--offset-axis auto --cor-scan 81:85:1 --slice 12 --out "_s + out.path()),
            &text)
            == 0,
        qPrintable(text));
    QSize first;
    const std::vector<std::vector<float>> pages
        = tiffPages(QDir(out.path()).filePath(u"ct-corscan-00012.tif"_s), nullptr, &first);
    QCOMPARE(pages.size(), size_t(5));
    for (const auto &page : pages)
        QCOMPARE(page.size(), size_t(first.width()) * first.height());
    QCOMPARE(first.width(), first.height());
    QVERIFY2(text.contains(u"best centre of rotation: 83\n"_s), qPrintable(text));
}

void TestOffsetAxisRun::windowWritesTheCommandsFiles_data()
{
    QTest::addColumn<QString>("batch"); // after the loading lines
    QTest::addColumn<QString>("options");
    QTest::addColumn<QStringList>("files");
    QTest::newRow("CT2 range, auto") << u"ct_offset_axis_cor auto\nct_auto_exec 1\nct_slice_from 4\n"
                                        "ct_slice_to 20\nct_slice_step 8\ncalc_exec\n"_s
                                     << u"--offset-axis auto --slices 4:20:8"_s
                                     << words(u"s-E-00004.dat s-E-00012.dat s-E-00020.dat"_s);
    QTest::newRow("CT2 slice, given axis") << u"ct_offset_axis_cor 83.5\nct_proc_slice 12\ncalc_exec\n"_s
                                           << u"--offset-axis 83.5 --slice 12"_s << words(u"s-E-00012.dat"_s);
    QTest::newRow("CoR scan") << u"ct_proc_slice 12\nct_cor_scan 82 84 1\n"_s
                              << u"--offset-axis auto --cor-scan 82:84:1 --slice 12"_s
                              << words(
                                     u"s-E-corscan-00012.png s-E-corscan-00012.tif s-E-corscan-00012.txt"_s);
}

void TestOffsetAxisRun::windowWritesTheCommandsFiles()
{
    // The window (a batch without a display) and the command stitch in one place: the same files,
    // byte for byte, with the whole stitched slice as the window's default region.
    QFETCH(QString, batch);
    QFETCH(QString, options);
    QFETCH(QStringList, files);
    QTemporaryDir fromWindow, fromCommand;
    const QString load
        = u"ct_rot_ax_is_v 1\nimages_load %1 *.img\ni0_load %2\nbg_load %3\ncalc_ct2 1\n"
          "ct_dataset_range 360\nct_offset_axis 1\nauto_save_in_sub_folders 0\nauto_save_data 1\n"
          "auto_save_data_path %4\nauto_save_data_name s\nauto_save_data_tag E\n"_s.arg(
              QDir(right_).filePath(u"p"_s), QDir(right_).filePath(u"i0.img"_s),
              QDir(right_).filePath(u"bg.img"_s), fromWindow.path());
    QString log;
    QVERIFY2(runWindow(fromWindow.path(), load + batch + u"app_quit\n"_s, log) == 0, qPrintable(log));
    QString text;
    QVERIFY2(
        runRecon(
            commandOn(right_, options + u" --no-png --name s --tag E --out "_s + fromCommand.path()), &text)
            == 0,
        qPrintable(text));
    QStringList written = QDir(fromWindow.path()).entryList(QDir::Files);
    written.removeAll(u"run.bat"_s);
    QCOMPARE(written, files);
    QCOMPARE(QDir(fromCommand.path()).entryList(QDir::Files), files);
    QVERIFY(sameFiles(fromWindow.path(), fromCommand.path(), files));
    if (!options.contains(u"cor-scan"_s)) { // the window says the axis the command says
        const auto window = saidAxis(log), command = saidAxis(text);
        QVERIFY2(window && command, qPrintable(log));
        QCOMPARE(window->first, command->first);
    }
}

int TestOffsetAxisRun::runWindow(const QString &folder, const QString &text, QString &log)
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
    return ended && p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

void TestOffsetAxisRun::windowRunsThatCannotBeStitchedFail_data()
{
    QTest::addColumn<QString>("scan");
    QTest::addColumn<QString>("lines");
    QTest::addColumn<QString>("said");
    QTest::newRow("a 180 degree set")
        << u"half"_s << u"ct_dataset_range 180\n"_s << u"needs a data set over 360 degrees"_s;
    QTest::newRow("a partial set") << u"right"_s << u"ct_use_partial_data_set 1\n"_s
                                   << u"not a partial one"_s;
    QTest::newRow("an axis outside the lines")
        << u"right"_s << u"ct_offset_axis_cor 200\n"_s << u"lies outside the lines of 96 pixels"_s;
    QTest::newRow("no overlap found") << u"centred"_s << QString() << u"no overlap"_s;
}

void TestOffsetAxisRun::windowRunsThatCannotBeStitchedFail()
{
    // The run ends failed with the reason, no slice is written and the batch takes the failure.
    QFETCH(QString, scan);
    QFETCH(QString, lines);
    QFETCH(QString, said);
    QTemporaryDir out;
    const QString d = dir_.filePath(scan);
    const QString batch
        = u"ct_rot_ax_is_v 1\nimages_load %1 *.img\ni0_load %2\nbg_load %3\ncalc_ct2 1\n"
          "ct_dataset_range 360\nct_offset_axis 1\nauto_save_data 1\nauto_save_data_path %4\n"_s.arg(
              QDir(d).filePath(u"p"_s), QDir(d).filePath(u"i0.img"_s), QDir(d).filePath(u"bg.img"_s),
              out.path())
        + lines + u"ct_proc_slice 12\ncalc_exec\n:ifng app_quit 7\napp_quit\n"_s;
    QString log;
    QCOMPARE(runWindow(out.path(), batch, log), 7);
    QVERIFY2(log.contains(said), qPrintable(log));
    QCOMPARE(QDir(out.path()).entryList({u"*.dat"_s}, QDir::Files), QStringList());
}

QTEST_GUILESS_MAIN(TestOffsetAxisRun)
#include "tst_offsetaxisrun.moc"

// Qt
#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

// Local
#include "ct/savenaming.h"
#include "imagedata/itexwriter.h"
#include "tests/app/reconcommand.h"
#include "tests/app/volumeread.h"
#include "tools/phantom/phantom.h"
#include <sys/resource.h>
#include <sys/stat.h>

using namespace Qt::StringLiterals;

/// The program run unattended: no display, a batch file, "app_quit".
class TestHeadless : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void windowAndCommandWriteTheSameFiles_data();
    void windowAndCommandWriteTheSameFiles();
    void endings_data();
    void endings();
    void memoryBeyondWhatThereIs_data();
    void memoryBeyondWhatThereIs();

private:
    // What a run of a program is given besides its arguments.
    struct Surroundings
    {
        QString display;
        QString program = QStringLiteral(QUORVEL_PROGRAM);
        QString availableMemory; // QV_AVAILABLE_MEMORY, bytes
        qint64 addressSpace = 0; // the child's RLIMIT_AS, bytes (0: none)
    };
    // Runs the program without any display; false when it does not end in time.
    bool runProgram(const QStringList &args, int &status, QString &log, const Surroundings &around);
    QString writeBatch(const QString &name, const QByteArray &text);
    QTemporaryDir dir_;
    QString proj_, i0_, bg_;
    QString small_, smallI0_, smallBg_, cut_, stray_, zeroI0_, i0Small_, series_, seriesGap_, badI0_, empty_;
    QString wide_; // 30 projections of 40000 x 1 pixels: a slice of 13 GB
    QTemporaryDir byRow_; // the window's files of each row, for the rows that must differ from them
};

void TestHeadless::initTestCase()
{
    // The demo data set: 180 projections of 256 × 256, vertical axis at x = 130.
    ScanSetup setup;
    proj_ = dir_.filePath(u"projections"_s);
    i0_ = dir_.filePath(u"i0.img"_s);
    bg_ = dir_.filePath(u"bg.img"_s);
    QVERIFY(writeScan(demoPhantom(setup.width), setup, proj_, u"ct_"_s, i0_, bg_));

    ScanSetup little;
    little.width = little.height = 64;
    little.cor = 32;
    little.projections = 40;
    small_ = dir_.filePath(u"small"_s);
    smallI0_ = dir_.filePath(u"smallI0.img"_s);
    smallBg_ = dir_.filePath(u"smallBg.img"_s);
    QVERIFY(writeScan(demoPhantom(64), little, small_, u"s_"_s, smallI0_, smallBg_));
    cut_ = dir_.filePath(u"cut"_s);
    QVERIFY(copyFolder(small_, cut_));
    stray_ = dir_.filePath(u"stray"_s);
    QVERIFY(copyFolder(small_, stray_));
    QVERIFY(QFile::remove(QDir(stray_).filePath(u"s_0017.img"_s)) && QDir(stray_).mkdir(u"s_0017.img"_s));
    QFile cutShort(QDir(cut_).filePath(u"s_0017.img"_s));
    QVERIFY(cutShort.exists() && cutShort.resize(cutShort.size() / 2));
    zeroI0_ = dir_.filePath(u"zeroI0.img"_s);
    QVERIFY(writeItexFile(zeroI0_, {64, 64, 2, 1.0, std::vector<uint32_t>(64 * 64, 0)}));
    i0Small_ = dir_.filePath(u"i0small.img"_s);
    QVERIFY(writeItexFile(i0Small_, {32, 32, 2, 1.0, std::vector<uint32_t>(32 * 32, 1000)}));
    XafsSeriesSetup xafs;
    xafs.scan = little;
    xafs.energies = 2;
    series_ = dir_.filePath(u"series"_s);
    QVERIFY(writeXafsSeries(xafs, series_, dir_.filePath(u"seriesI0"_s), dir_.filePath(u"seriesBg.img"_s)));
    // The series with a projection of its second set missing, and its I0 images with the second
    // one cut short.
    seriesGap_ = dir_.filePath(u"seriesGap"_s);
    badI0_ = dir_.filePath(u"badI0"_s);
    QVERIFY(copyFolder(series_, seriesGap_) && copyFolder(dir_.filePath(u"seriesI0"_s), badI0_));
    QVERIFY(QFile::remove(QDir(seriesGap_).filePath(u"demo-7140eV-0017.img"_s)));
    QFile cutI0(QDir(badI0_).filePath(u"I0-7140eV-0001.img"_s));
    QVERIFY(cutI0.resize(cutI0.size() / 2));
    empty_ = dir_.filePath(u"empty"_s);
    QVERIFY(QDir().mkpath(empty_));
    // Lines of 40000 pixels: a slice of 40000 x 40000 doubles, beyond any address space a test gives.
    wide_ = dir_.filePath(u"wide"_s);
    QVERIFY(QDir().mkpath(wide_));
    for (int k = 0; k < 30; ++k)
        QVERIFY(writeItexFile(QDir(wide_).filePath(u"w_%1.img"_s.arg(k, 4, 10, QChar(u'0'))),
            {40000, 1, 2, 1.0, std::vector<uint32_t>(40000, 1000 + 10 * k)}));
}

bool TestHeadless::runProgram(const QStringList &args, int &status, QString &log, const Surroundings &around)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "QV_AVAILABLE_MEMORY"})
        env.remove(QString::fromLatin1(name));
    if (!around.display.isEmpty())
        env.insert(u"DISPLAY"_s, around.display);
    if (!around.availableMemory.isEmpty())
        env.insert(u"QV_AVAILABLE_MEMORY"_s, around.availableMemory);
    p.setProcessEnvironment(env);
    if (const rlim_t limit = rlim_t(around.addressSpace); limit > 0)
        p.setChildProcessModifier([limit] {
            const rlimit space {limit, limit};
            ::setrlimit(RLIMIT_AS, &space);
        });
    p.setWorkingDirectory(dir_.path()); // no configuration file here
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(around.program, args);
    const bool ended = p.waitForFinished(120000);
    if (!ended)
        p.kill();
    log = QString::fromLocal8Bit(p.readAll());
    status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    return ended;
}

QString TestHeadless::writeBatch(const QString &name, const QByteArray &text)
{
    QFile f(dir_.filePath(name));
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(text) != text.size())
        return {};
    return f.fileName();
}

void TestHeadless::windowAndCommandWriteTheSameFiles_data()
{
    // The same settings through the window (a batch, no display) and through the command give the
    // same bytes: the run library is theirs alike. A single-precision row names the double row whose
    // float TIFF files it must not equal.
    QTest::addColumn<bool>("scan"); // a scan of centres, else a CT2 run over a range
    QTest::addColumn<bool>("single");
    QTest::addColumn<bool>("rings");
    QTest::addColumn<bool>("colourRange"); // the window's fixed colour scale, the command's --color-range
    QTest::addColumn<QString>("unlike");
    for (bool scan : {false, true}) {
        const QString what = scan ? u"CoR scan"_s : u"CT2 run"_s;
        for (bool rings : {false, true}) {
            const QString extra = rings ? u", rings, colour range"_s : QString();
            QTest::addRow("%s, double%s", qPrintable(what), qPrintable(extra))
                << scan << false << rings << rings << QString();
            QTest::addRow("%s, single%s", qPrintable(what), qPrintable(extra))
                << scan << true << rings << rings << u"%1, double%2"_s.arg(what, extra);
        }
    }
}

void TestHeadless::windowAndCommandWriteTheSameFiles()
{
    QFETCH(bool, scan);
    QFETCH(bool, single);
    QFETCH(bool, rings);
    QFETCH(bool, colourRange);
    QFETCH(QString, unlike);
    // Each row's folder by its name, without blanks for the batch lines.
    const auto folderOf = [this](QString row) { return byRow_.filePath(row.replace(u' ', u'_')); };
    const QString fromBatch = folderOf(QString::fromLatin1(QTest::currentDataTag()));
    QTemporaryDir fromCommand;
    QString batch = u"ct_rot_ax_is_v 1\nimages_load %1 *.img\ni0_load %2\nbg_load %3\ncalc_ct2 1\n"
                    "auto_save_in_sub_folders 0\nauto_save_data_path %4\nauto_save_data_name s\n"
                    "auto_save_data_tag E\nct_single_precision %5\nct_ring_removal %6\n"_s
                        .arg(small_, smallI0_, smallBg_, fromBatch)
                        .arg(single ? 1 : 0)
                        .arg(rings ? u"all"_s : u"off"_s);
    // After loading, the window's regions are 0 … L − 1.
    QStringList command {small_, u"--i0"_s, smallI0_, u"--bg"_s, smallBg_, u"--axis"_s, u"v"_s, u"--region"_s,
        u"0,0,63,63"_s, u"--name"_s, u"s"_s, u"--tag"_s, u"E"_s, u"--out"_s, fromCommand.path()};
    if (single)
        command << u"--single"_s;
    if (rings)
        command << u"--rings"_s << u"all"_s;
    if (colourRange) {
        batch += u"fix_color_scale 1\nfix_color_min -0.01\nfix_color_max 0.04\n"_s;
        command << u"--color-range"_s << u"-0.01,0.04"_s;
    }
    QStringList expected;
    if (scan) {
        batch += u"auto_save_data 1\nct_proc_slice 30\nct_cor_scan 31 33 0.5\napp_quit\n"_s;
        command << words(u"--cor-scan 31:33:0.5 --slice 30"_s);
        expected = words(u"s-E-corscan-00030.png s-E-corscan-00030.tif s-E-corscan-00030.txt"_s);
    } else {
        batch += u"auto_save_data 1\nauto_save_tiff 1\nauto_save_hdf5 1\nauto_save_image "
                 u"1\nauto_save_image_path %1\n"
                 "auto_save_image_name s\nauto_save_image_tag E\nct_guess_cor\nct_auto_exec 1\n"
                 "ct_slice_from 20\nct_slice_to 44\nct_slice_step 12\ncalc_exec\napp_quit\n"_s.arg(fromBatch);
        command << words(u"--tiff --hdf5 s-E.h5 --slices 20:44:12 --cor"_s);
        for (int slice : {20, 32, 44})
            for (const char *suffix : {"dat", "png", "tif"})
                expected << u"s-E-%1.%2"_s.arg(sliceText(slice)).arg(QLatin1String(suffix));
    }
    int status = -1;
    QString log;
    QVERIFY(runProgram({u"-nw"_s, u"-e"_s, u"-b"_s, writeBatch(u"same.bat"_s, batch.toUtf8()), u"-x"_s},
        status, log, Surroundings()));
    QVERIFY2(status == 0, qPrintable(log));
    if (!scan) { // the command takes the centre the window guessed
        const QRegularExpressionMatch m
            = QRegularExpression(u"ct_guess_cor: centre of rotation (\\S+)"_s).match(log);
        QVERIFY2(m.hasMatch(), qPrintable(log));
        QVERIFY(std::abs(m.captured(1).toDouble() - 32.0) < 1.0);
        command << m.captured(1);
    }
    QString text;
    QVERIFY2(runRecon(command, &text) == 0, qPrintable(text));
    if (!scan) { // the volume files hold the TIFF slices' values, alike
        const std::vector<float> volume = volumeValues(QDir(fromBatch).filePath(u"s-E.h5"_s));
        QCOMPARE(volumeValues(QDir(fromCommand.path()).filePath(u"s-E.h5"_s)), volume);
        std::vector<float> slices;
        for (const QString &tiff : expected.filter(u".tif"_s)) {
            const std::vector<float> values = tiffValues(QDir(fromBatch).filePath(tiff));
            slices.insert(slices.end(), values.begin(), values.end());
        }
        QCOMPARE(volume, slices);
        expected << u"s-E.h5"_s;
        expected.sort();
    }
    QCOMPARE(QDir(fromBatch).entryList(QDir::Files), expected);
    QCOMPARE(QDir(fromCommand.path()).entryList(QDir::Files), expected);
    QVERIFY(sameFiles(fromBatch, fromCommand.path(), expected.filter(u"s-E-"_s)));
    if (!unlike.isEmpty()) { // single precision is computed in floats: its values are not the doubles'
        const QStringList tiffs = expected.filter(u".tif"_s);
        QVERIFY(!tiffs.isEmpty() && !sameFiles(fromBatch, folderOf(unlike), tiffs));
    }
}

void TestHeadless::endings_data()
{
    // A batch run (or a start) and how it ends: the exit status, the files it leaves and a line of
    // its log. @BAT@ is the batch file; in the batch, @SMALL@ a 64 × 64 set of 40 projections with
    // @SI0@ and @SBG@, @CUT@ the same set with one projection cut short, @PROJ@ the demo set, @OUT@
    // a folder of the test's, @SERIES@ a CT-XAFS series of two energies with its @SERIESI0@ and
    // @SERIESBG@, @SERIESGAP@ the series with a projection of its second set missing, @BADI0@ its I0
    // images with the second one cut short, and @EMPTY@ an empty folder.
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QByteArray>("batch"); // empty: no batch file at all
    QTest::addColumn<int>("status");
    QTest::addColumn<QStringList>("files"); // that must exist under @OUT@ afterwards
    QTest::addColumn<QString>("said"); // a pattern of the log
    const QStringList run {u"-nw"_s, u"-e"_s, u"-b"_s, u"@BAT@"_s, u"-x"_s};
    const QByteArray small = "ct_rot_ax_is_v 1\nimages_load @SMALL@ *.img\ni0_load @SI0@\nbg_load @SBG@\n"
                             "calc_ct2 1\nct_cor 32\nauto_save_in_sub_folders 0\nauto_save_data 1\n"
                             "auto_save_data_path @OUT@\nauto_save_data_name s\nauto_save_data_tag E\n";
    const QByteArray range = "ct_auto_exec 1\nct_slice_from 8\nct_slice_to 24\nct_slice_step 8\n";

    QTest::newRow("everything done") << run << small + range + "calc_exec\napp_quit\n"
                                     << 0 << words(u"s-E-00008.dat s-E-00016.dat s-E-00024.dat"_s)
                                     << u"Quit: every line done, every result written"_s;
    QTest::newRow("slices without a sinogram") << run << small + range + "ct_cor 500\ncalc_exec\napp_quit\n"
                                               << 1 << QStringList {} << u"0 of 3 slices done, 3 failed"_s;
    QTest::newRow("slices beyond the image")
        << run
        << small + "ct_auto_exec 1\nct_slice_from 60\nct_slice_to 66\nct_slice_step 3\ncalc_exec\napp_quit\n"
        << 1 << words(u"s-E-00060.dat s-E-00063.dat"_s)
        << u"Quit with failures: 1 line failed, 1 slice failed"_s;
    QTest::newRow("a projection refused, handled by the batch")
        << run << QByteArray("images_load @CUT@ *.img\n:ifng app_quit 3\napp_quit\n") << 3 << QStringList {}
        << u"images_load: 1 of 40 files were refused"_s;
    QTest::newRow("a folder in a projection's place")
        << run << QByteArray("images_load @STRAY@ *.img\n:ifng app_quit 3\napp_quit\n") << 3 << QStringList {}
        << u"images_load: 1 of 40 files were refused"_s;
    QTest::newRow("an I0 of the wrong size")
        << run << QByteArray("images_load @SMALL@ *.img\ni0_load @I0SMALL@\n:ifng app_quit 4\napp_quit\n")
        << 4 << QStringList {} << u"i0_load: the image of 32 x 32 cannot correct the raw images of 64 x 64"_s;
    QTest::newRow("an I0 of zeros") << run
                                    << small + range
            + "i0_load @ZEROI0@\ncalc_exec\n:ifng app_quit 6\napp_quit\n"
                                    << 6 << QStringList {}
                                    << u"I0 is not above BG: check the I0 and BG images"_s;
    QTest::newRow("a guess on a slice beyond the image")
        << run
        << QByteArray(
               "ct_rot_ax_is_v 1\nimages_load @SMALL@ *.img\nct_cor 31\nct_proc_slice 300\nct_guess_cor\n"
               ":ifng app_quit 5\napp_quit\n")
        << 5 << QStringList {} << u"ct_guess_cor: no centre of rotation was guessed; it stays 31"_s;
    QTest::newRow("a series folder without sets")
        << run << QByteArray("seq_exec_dir @SERIES@\nseq_exec_dir @EMPTY@\n:ifng app_quit 6\napp_quit\n") << 6
        << QStringList {} << u"seq_exec_dir: no data set found in"_s;
    const QByteArray seq = "seq_exec_dir @SERIES@\nseq_exec_select_i0 @SERIESI0@ *.img\n";
    QTest::newRow("a series, each set recorded in the manifest")
        << run
        << "ct_rot_ax_is_v 1\n" + seq
            + "bg_load @SERIESBG@\ncalc_ct2 1\nct_cor 32\nauto_save_in_sub_folders 0\nauto_save_data 1\n"
              "auto_save_data_path @OUT@\nauto_save_data_name s\nauto_save_hdf5 1\nseq_exec_set\ncalc_exec\n"
              "seq_exec_next\nseq_exec_set\ncalc_exec\napp_quit\n"
        << 0
        << words(
               u"s-7090eV-00032.dat s-7140eV-00032.dat series-manifest.tsv s-7090eV.h5 s-7140eV.h5 series.h5"_s)
        << u"Quit: every line done"_s;
    // @PIPE@: the folder @OUT@ with a named pipe in the manifest's place.
    QTest::newRow("a named pipe for the manifest")
        << run
        << "ct_rot_ax_is_v 1\n" + seq
            + "bg_load @SERIESBG@\ncalc_ct2 1\nct_cor 32\nauto_save_in_sub_folders 0\nauto_save_data 1\n"
              "auto_save_data_path @PIPE@\nauto_save_data_name s\nseq_exec_set\ncalc_exec\napp_quit\n"
        << 1 << words(u"s-7090eV-00032.dat"_s)
        << u"The manifest of the series is not written: the manifest .*series-manifest.tsv is a named pipe"_s;
    QTest::newRow("a set missing a projection")
        << run
        << QByteArray("seq_exec_dir @SERIESGAP@\nseq_exec_next\nseq_exec_set\n:ifng app_quit 9\napp_quit\n")
        << 9 << QStringList {}
        << u"Data set 2 \\(demo 7140eV\\) is not loaded: 39 images where the series has 40, number 17 missing"_s;
    QTest::newRow("the I0 of a set cannot be read")
        << run
        << QByteArray("seq_exec_dir @SERIES@\nseq_exec_select_i0 @BADI0@ *.img\nseq_exec_next\n"
                      "seq_exec_set\n:ifng app_quit 10\napp_quit\n")
        << 10 << QStringList {}
        << u"Data set 2 \\(demo 7140eV\\) is not loaded: its I0 image .* cannot be read"_s;
    QTest::newRow("a load that finds nothing")
        << run << QByteArray("images_load @EMPTY@ *.img\ncalc_exec\napp_quit\n") << 1 << QStringList {}
        << u"Quit with failures: 2 lines failed"_s;
    QTest::newRow("CT1 asked to save")
        << run << small + "calc_ct1 1\ncalc_exec\n:ifng app_quit 8\napp_quit\n"
        << 8 << QStringList {} << u"calc_exec: CT1 saves no files: select CT2"_s;
    QTest::newRow("a run longer than the batch waits")
        << run
        << QByteArray("ct_rot_ax_is_v 1\nimages_load @PROJ@ *.img\nct_cor 130\nct_auto_exec 1\nct_threads 1\n"
                      "ct_slice_from 0\nct_slice_to 255\nbatch_timeout 0.05\ncalc_exec\n:ifng app_quit "
                      "14\napp_quit\n")
        << 14 << QStringList {} << u"batch_timeout: the line \"calc_exec\" still waits after 0.05 s"_s;
    QTest::newRow("a scan longer than the batch waits")
        << run
        << QByteArray("ct_rot_ax_is_v 1\nimages_load @PROJ@ *.img\nct_threads 1\nct_proc_slice 128\n"
                      "batch_timeout 0.05\nct_cor_scan 120 140 0.5\n:ifng app_quit 15\napp_quit\n")
        << 15 << QStringList {}
        << u"batch_timeout: the line \"ct_cor_scan 120 140 0.5\" still waits after 0.05 s"_s;
    // A guess along a range runs on a thread of its own and is called off; one guess computes on the
    // window's thread, is judged at its end and is not taken when too late.
    const QByteArray demo = "ct_rot_ax_is_v 1\nimages_load @PROJ@ *.img\nct_slice_from 20\nct_slice_to 230\n"
                            "batch_timeout 0.001\n";
    QTest::newRow("a guess along a range longer than the batch waits")
        << run << demo + "ct_guess_cor_line 40\n:ifng app_quit 19\napp_quit\n"
        << 19 << QStringList {}
        << u"batch_timeout: the line \"ct_guess_cor_line 40\" still waits after 0.001 s"_s;
    QTest::newRow("a guess longer than the batch waits")
        << run << demo + "ct_guess_cor\n:ifng app_quit 19\napp_quit\n"
        << 19 << QStringList {}
        << u"batch_timeout: the line \"ct_guess_cor\" still waits after 0.001 s"_s;
    QTest::newRow("a guess along a range in time")
        << run
        << demo
            + "batch_timeout 60\nct_slice_from 80\nct_slice_to 200\nct_guess_cor_line 5\n:ifng app_quit "
              "19\napp_quit\n"
        << 0 << QStringList {}
        << u"Guess along range \\(mirror\\): .*; recorded 1(29|30)(\\.\\d+)? at slice 80"_s;
    QTest::newRow("a condition's quoted folder")
        << run << small + ":ifok auto_save_data_path \"@OUT@/with blank/x\"\ncalc_exec\napp_quit\n"
        << 0 << QStringList {u"with blank/x/s-E-00032.dat"_s} << QString();
    // The run's line failed, though no slice did: its files were not written.
    QTest::newRow("a result that cannot be written")
        << run << small + "auto_save_data_path /dev/null/nowhere\ncalc_exec\n:ifok app_quit 7\napp_quit\n"
        << 1 << QStringList {} << u"No data files are saved in this run"_s;
    QTest::newRow("malformed lines") << run
                                     << QByteArray("ct_set_calc_region nan 1e308 -1e308 inf\n"
                                                   "images_seek 99999999999\nshow_ct2 -4\nct_cor\n"
                                                   "\"unclosed quote\nseq_exec_next\n:ifng app_quit\n")
                                     << 1 << QStringList {}
                                     << u"ending.bat line 5: \"unclosed quote\" is not a command"_s;
    QTest::newRow("an untaken ifok keeps the failure for ifng")
        << run << QByteArray("images_load @EMPTY@ *.img\n:ifok :echo ok\n:ifng app_quit 3\napp_quit\n") << 3
        << QStringList {} << QString();
    QTest::newRow("an exit status beyond 255")
        << run << QByteArray("app_quit 300\n:ifng app_quit 4\napp_quit\n") << 4 << QStringList {}
        << u"app_quit: the exit status is a number from 0 to 255, not 300"_s;
    QTest::newRow("a loop of flow lines alone")
        << run << QByteArray(":goto top\ntop\n:goto top\napp_quit 5\n") << 1 << QStringList {}
        << u"jumped to the label \"top\" 100000 times without a command between"_s;
    QTest::newRow("a configuration file that is not there")
        << QStringList {u"-nw"_s, u"-c"_s, u"@DIR@/missing.cfg"_s, u"-b"_s, u"@BAT@"_s, u"-x"_s}
        << QByteArray("app_quit\n") << 2 << QStringList {} << u"given with -c cannot be read"_s;
    QTest::newRow("empty file") << run << QByteArray("") << 0 << QStringList {} << QString();
    QTest::newRow("no batch file") << run << QByteArray() << 1 << QStringList {}
                                   << u"Can't open batch file"_s;
    // Without a window a run must end by itself: an incomplete start is refused at once.
    for (const char *args : {"-nw", "-nw -x", "-nw -b @BAT@", "-nw -x -b"})
        QTest::addRow("usage: %s", args) << words(QString::fromLatin1(args)) << QByteArray("app_quit\n") << 2
                                         << QStringList {} << u"give -b FILE -x"_s;
    // A display that has gone is no matter without a window.
    QTest::newRow("a stale display") << (QStringList {u"DISPLAY=:77"_s} + run) << QByteArray("app_quit\n")
                                     << 0 << QStringList {} << QString();
}

void TestHeadless::endings()
{
    QFETCH(QStringList, args);
    QFETCH(QByteArray, batch);
    QFETCH(int, status);
    QFETCH(QStringList, files);
    QFETCH(QString, said);
    QTemporaryDir out;
    QString file = dir_.filePath(u"missing.bat"_s);
    const QList<std::pair<QByteArray, QString>> places {{"@SMALL@", small_}, {"@SI0@", smallI0_},
        {"@SBG@", smallBg_}, {"@CUT@", cut_}, {"@STRAY@", stray_}, {"@I0SMALL@", i0Small_},
        {"@ZEROI0@", zeroI0_}, {"@PROJ@", proj_}, {"@OUT@", out.path()}, {"@SERIESGAP@", seriesGap_},
        {"@SERIESI0@", dir_.filePath(u"seriesI0"_s)}, {"@SERIESBG@", dir_.filePath(u"seriesBg.img"_s)},
        {"@BADI0@", badI0_}, {"@SERIES@", series_}, {"@EMPTY@", empty_}};
    if (batch.contains("@PIPE@")) {
        QVERIFY(::mkfifo(QFile::encodeName(out.filePath(u"series-manifest.tsv"_s)).constData(), 0600) == 0);
        batch.replace("@PIPE@", out.path().toUtf8());
    }
    for (const auto &[place, path] : places)
        batch.replace(place, path.toUtf8());
    if (!batch.isNull())
        file = writeBatch(u"ending.bat"_s, batch);
    Surroundings around;
    if (!args.isEmpty() && args.constFirst().startsWith(u"DISPLAY="_s))
        around.display = args.takeFirst().mid(8);
    args.replaceInStrings(u"@BAT@"_s, file);
    args.replaceInStrings(u"@DIR@"_s, dir_.path());
    int got = -1;
    QString log;
    QVERIFY2(runProgram(args, got, log, around), qPrintable(log));
    QVERIFY2(got == status, qPrintable(log));
    for (const QString &name : files)
        QVERIFY2(QFile::exists(QDir(out.path()).filePath(name)), qPrintable(name + u"\n"_s + log));
    if (!said.isEmpty())
        QVERIFY2(log.contains(QRegularExpression(said)), qPrintable(log));
}

void TestHeadless::memoryBeyondWhatThereIs_data()
{
    // A job beyond the memory there is fails with a message, in the command and the window alike,
    // and the program ends with its status: refused before anything is allocated when the memory
    // said to be available (QV_AVAILABLE_MEMORY) is too little; ended as failed when an allocation
    // fails inside it (an address space of 4 GB against a slice of 13 GB, the check passed).
    QTest::addColumn<bool>("window"); // a batch of the window, else the command
    QTest::addColumn<QString>("available");
    QTest::addColumn<qint64>("addressSpace");
    QTest::addColumn<QString>("job"); // batch lines, or the command's arguments; @SMALL@, @WIDE@
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("said");
    const QString small
        = u"ct_rot_ax_is_v 1\nimages_load @SMALL@ *.img\ni0_load @SI0@\nbg_load @SBG@\ncalc_ct2 1\n"
          "ct_cor 32\nauto_save_in_sub_folders 0\nauto_save_data 1\nauto_save_data_path @OUT@\n"_s;
    const QString smallArgs = u"@SMALL@ --i0 @SI0@ --bg @SBG@ --axis v --out @OUT@"_s;
    const qint64 space = qint64(4) << 30;
    QTest::newRow("command, a run") << false << u"1000"_s << qint64(0)
                                    << smallArgs + u" --cor 32 --slices 8:24:8"_s << 1
                                    << u"slice 8 needs \\d+ kB, 1 kB are available"_s;
    QTest::newRow("command, a scan") << false << u"1000"_s << qint64(0)
                                     << smallArgs + u" --slice 30 --cor-scan 31:33:0.5"_s << 1
                                     << u"the scan of 5 trials needs \\d+ kB, 1 kB are available"_s;
    QTest::newRow("command, memory running out in the slice")
        << false << u"1000000000000000"_s << space << u"@WIDE@ --axis v --no-data --threads 1 --out @OUT@"_s
        << 1 << u"slice 0 at the centre 20000: not enough memory"_s;
    // A projection of 64 x 64 holds at least 8 kB; 20 kB has room for it, not for a slice's engine.
    QTest::newRow("window, a load")
        << true << u"8000"_s << qint64(0) << u"images_load @SMALL@ *.img\n:ifng app_quit 18\napp_quit\n"_s
        << 18 << u"the image of 64 x 64 needs 9 kB, 8 kB are available : .*s_0000.img"_s;
    QTest::newRow("window, a run") << true << u"20000"_s << qint64(0)
                                   << small
            + u"ct_auto_exec 1\nct_slice_from 8\nct_slice_to 24\nct_slice_step 8\ncalc_exec\n:ifng app_quit 16\napp_quit\n"_s
                                   << 16 << u"CT2 run: slice 8 needs \\d+ kB, 20 kB are available"_s;
    QTest::newRow("window, a scan") << true << u"20000"_s << qint64(0)
                                    << small
            + u"ct_proc_slice 30\nct_cor_scan 31 33 0.5\n:ifng app_quit 17\napp_quit\n"_s
                                    << 17
                                    << u"CoR Scan: the scan of 5 trials needs \\d+ kB, 20 kB are available"_s;
    // No memory could hold the data file of a region of 10^7 x 10^7: the run is refused before its slice.
    QTest::newRow("window, a region beyond any memory")
        << true << QString() << qint64(0)
        << small + u"ct_set_calc_region 0 0 1e7 1e7\ncalc_exec\napp_quit\n"_s << 1
        << u"CT2 run: slice 32 needs \\d+ TB, \\d+ [kMGT]?B are available"_s;
    QTest::newRow("window, memory running out in the run")
        << true << u"1000000000000000"_s << space
        << u"ct_rot_ax_is_v 1\nimages_load @WIDE@ *.img\ncalc_ct2 1\nct_threads 1\ncalc_exec\napp_quit\n"_s
        << 1 << u"slice 0 at the centre 20000: not enough memory"_s;
}

void TestHeadless::memoryBeyondWhatThereIs()
{
    QFETCH(bool, window);
    QFETCH(QString, available);
    QFETCH(qint64, addressSpace);
    QFETCH(QString, job);
    QFETCH(int, status);
    QFETCH(QString, said);
#if defined(QV_ASAN) || defined(QV_TSAN)
    if (addressSpace > 0)
        QSKIP("A sanitizer's shadow memory does not fit into a limited address space");
#endif
    QTemporaryDir out;
    for (const auto &[place, path] :
        {std::pair {u"@SMALL@"_s, small_}, std::pair {u"@SI0@"_s, smallI0_}, std::pair {u"@SBG@"_s, smallBg_},
            std::pair {u"@WIDE@"_s, wide_}, std::pair {u"@OUT@"_s, out.path()}})
        job.replace(place, path);
    Surroundings around;
    around.availableMemory = available;
    around.addressSpace = addressSpace;
    QStringList args;
    if (window) {
        args = QStringList {u"-nw"_s, u"-e"_s, u"-b"_s, writeBatch(u"memory.bat"_s, job.toUtf8()), u"-x"_s};
    } else {
        around.program = QStringLiteral(QUORVEL_RECON);
        args = words(job);
    }
    int got = -1;
    QString log;
    QVERIFY2(runProgram(args, got, log, around), qPrintable(log));
    QVERIFY2(got == status, qPrintable(log));
    QVERIFY2(log.contains(QRegularExpression(said)), qPrintable(log));
    QVERIFY2(filesUnder(out.path()).isEmpty(), qPrintable(filesUnder(out.path()).join(u' ')));
}

QTEST_GUILESS_MAIN(TestHeadless)
#include "tst_headless.moc"

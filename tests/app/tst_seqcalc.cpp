// Qt
#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

// Local
#include "app/body.h"
#include "automation/dataseries.h"
#include "automation/seriesmanifest.h"
#include "ct/ui/procctrl.h"
#include "ct/ui/sinogram.h"
#include "imagedata/imgdatas.h"
#include "imagedata/itexwriter.h"
#include "imagedata/ui/selectaimgfile.h"
#include "tests/app/reconcommand.h"
#include "tests/app/roadfixture.h"
#include "tests/app/winfixture.h"
#include "tools/phantom/phantom.h"
#include "tools/scanfile/scanfilewriter.h"

using namespace Qt::StringLiterals;

/// Sequential CT-XAFS runs in the window over a small series of three energies, and the same series
/// without a window; a TIFF series goes through the window and the command exactly as the same
/// series in ITEX files.
class TestSeqCalc : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void sequenceWritesEachEnergyLikeTheCommand();
    void fromToAndKeepOnNewSets();
    void stopping_data();
    void stopping();
    void aSetThatFailsToLoadEndsTheRun_data();
    void aSetThatFailsToLoadEndsTheRun();
    void closingDuringARunLosesNothing();
    void scanFilesOfEachEnergy();
    void tiffSetGoesAsTheItexSet();
    void commandRefusesAnImageWithoutPixels();

private:
    /// A window with the series listed, the I0 files and BG chosen, the geometry of a loaded set and
    /// saving of slices 4, 7, 10 into per-energy folders of `out`.
    /// With `scans`, the series is one scan file per energy, each with its own flats and darks; else
    /// the I0 images are those of `i0Dir` (by default the series').
    std::unique_ptr<Body> preparedBody(
        const QString &projections, const QString &out, bool scans = false, QString i0Dir = {});
    /// Clicks "Seq. Calc." and waits for the run to finish (false if it never did); `stages`: the
    /// stage messages shown.
    static bool runSequence(
        Body &body, QStringList &stages, const std::function<void(const QString &)> &onStage = {});
    /// The first data file under `dir` that lacks lines of the region 0 … 63; empty if none.
    static QString shortDataFile(const QString &dir);

    QTemporaryDir data_;
    QString projections_, i0Dir_, bg_;
    QString scan(const QString &format) const { return data_.filePath(format); }
};

void TestSeqCalc::initTestCase()
{
    XafsSeriesSetup setup;
    setup.scan.width = 64;
    setup.scan.height = 16;
    setup.scan.cor = 33;
    setup.scan.projections = 60;
    setup.energies = 3;
    projections_ = data_.filePath(u"projections"_s);
    i0Dir_ = data_.filePath(u"i0"_s);
    bg_ = data_.filePath(u"bg.img"_s);
    QVERIFY(writeXafsSeries(setup, projections_, i0Dir_, bg_));

    // The demo object on a 48-pixel detector, 8 rows, axis vertical at 23.5, written twice.
    ScanSetup tiffs;
    tiffs.width = 48;
    tiffs.height = 8;
    tiffs.cor = 23.5;
    tiffs.projections = 60;
    for (const QString &format : {u"img"_s, u"tif"_s}) {
        tiffs.tiff = format == u"tif"_s;
        const QString dir = scan(format);
        QVERIFY(writeScan(demoPhantom(48), tiffs, dir + u"/p"_s, u"ct_"_s, dir + u"/i0."_s + format,
            dir + u"/bg."_s + format));
    }
    QCOMPARE(QDir(scan(u"tif"_s) + u"/p"_s).entryList({u"*.tif"_s}, QDir::Files).size(), 60);
}

QString TestSeqCalc::shortDataFile(const QString &dir)
{
    for (const QString &f : filesUnder(dir)) {
        QFile file(QDir(dir).filePath(f));
        if (f.endsWith(u".dat"_s)
            && (!file.open(QIODevice::ReadOnly) || file.readAll().count('\n') != 6 + 63 * 63))
            return f;
    }
    return {};
}

std::unique_ptr<Body> TestSeqCalc::preparedBody(
    const QString &projections, const QString &out, bool scans, QString i0Dir)
{
    auto body = std::make_unique<Body>(nullptr, 2);
    Ui_Body &ui = body->ui();
    ui.procCtrl->setRotAxV(true);
    if (scans) {
        ui.SelDDir->ui().Pattern->setText(u"*.nxs"_s);
        ui.SelDDir->selectDir(projections);
    } else {
        ui.SelDDir->selectDir(projections);
        ui.SelI0Files->selectDirFiles(i0Dir.isEmpty() ? i0Dir_ : i0Dir, {u"*.img"_s});
        ui.BGImgSel->selectFile(bg_);
    }
    // The operator looks at a set first: its geometry is kept for the others ("keep Conds.").
    QSignalSpy loaded(body.get(), &Body::seqSetLoaded);
    if (!body->seqExecSet() || !loaded.wait(10000))
        return nullptr;
    ui.procCtrl->setCor(33);
    setSlices(ui.procCtrl, 4, 10, 3);
    saveInto(*body, out, {}, true, u"w"_s);
    ui.SaveInSubFolders->setChecked(true);
    ui.SubOfEnergy->setChecked(true);
    ui.SubOfSlice->setChecked(false);
    return body;
}

bool TestSeqCalc::runSequence(
    Body &body, QStringList &stages, const std::function<void(const QString &)> &onStage)
{
    stages.clear();
    const auto c
        = QObject::connect(body.ui().ProgressMsg, &QLineEdit::textChanged, &body, [&](const QString &t) {
              stages << t;
              if (onStage)
                  onStage(t);
          });
    body.ui().SeqCalc->click();
    // Then the window has taken the end of the run.
    const bool ended = QTest::qWaitFor([&] { return stages.contains(u"Finished"_s); }, 60000)
        && QTest::qWaitFor([&] { return !body.isSeqCalcRunning(); }, 5000);
    QObject::disconnect(c);
    return ended;
}

void TestSeqCalc::sequenceWritesEachEnergyLikeTheCommand()
{
    QTemporaryDir fromWindow, fromCommand;
    QStringList stages;
    {
        std::unique_ptr<Body> body = preparedBody(projections_, fromWindow.path());
        QVERIFY(body);
        QCOMPARE(body->ui().SeqCalcFrom->value(), 1);
        QCOMPARE(body->ui().SeqCalcTo->value(), 3);
        QCOMPARE(body->i0Energies(), QList<double>({7090.0, 7115.0, 7140.0}));
        QString seqStyleWhileRunning;
        QVERIFY(runSequence(*body, stages, [&](const QString &t) {
            if (t == u"Calculating"_s)
                seqStyleWhileRunning = body->ui().SeqCalc->styleSheet();
        }));
        QCOMPARE(seqStyleWhileRunning, u"background-color: rgb(255, 255, 128);"_s);
        QCOMPARE(body->ui().SeqCalc->styleSheet(), u"background-color: rgb(213, 245, 255);"_s);
        // The last set's I0 and tag are in place.
        QCOMPARE(body->ui().I0ImgSel->filePath(), QDir(i0Dir_).absoluteFilePath(u"I0-7140eV-0001.img"_s));
        QCOMPARE(body->ui().SelectDataSaveDir->tag(), u"7140eV"_s);
        QCOMPARE(body->ui().SelectImageSaveDir->tag(), u"7140eV"_s);
        bool ok = false;
        body->ui().DeltaET->text().toDouble(&ok);
        QVERIFY(ok);
        QVERIFY(body->ui().TotalET->text().toInt(&ok) >= 0 && ok);
    } // closing the window writes everything handed to the saver
    QCOMPARE(stages,
        QStringList({u"Data Loading"_s, u"Loading first Data Set"_s, u"Calculating"_s, u"Finished Calc."_s,
            u"Loading next Data Set"_s, u"Calculating"_s, u"Finished Calc."_s, u"Loading next Data Set"_s,
            u"Calculating"_s, u"Finished Calc."_s, u"Loading next Data Set"_s, u"Finished"_s}));

    QStringList expected;
    for (const QString &e : {u"7090eV"_s, u"7115eV"_s, u"7140eV"_s})
        for (const QString &s : {u"00004"_s, u"00007"_s, u"00010"_s})
            for (const QString &ext : {u"dat"_s, u"png"_s})
                expected << u"%1/w-%1-%2.%3"_s.arg(e, s, ext);
    expected.sort();
    QCOMPARE(filesUnder(fromWindow.path()), QStringList(expected) << u"series-manifest.tsv"_s);
    // The manifest says what each set was made from and what came of it.
    const std::vector<ManifestEntry> manifest = readManifest(fromWindow.filePath(u"series-manifest.tsv"_s));
    QCOMPARE(manifest.size(), size_t(3));
    for (int k = 0; k < 3; ++k) {
        const ManifestEntry &e = manifest[size_t(k)];
        const QString field = QStringList {u"7090eV"_s, u"7115eV"_s, u"7140eV"_s}[k];
        QCOMPARE(e.set, k + 1);
        QCOMPARE(e.tag, field);
        QCOMPARE(e.i0, QDir(i0Dir_).absoluteFilePath(u"I0-%1-0001.img"_s.arg(field)));
        QCOMPARE(e.i0Energy.value_or(0), e.energy);
        QCOMPARE(e.images, 60);
        QCOMPARE(e.slices, u"4:10:3"_s);
        QCOMPARE(e.files, 6);
        QCOMPARE(e.outcome, u"done"_s);
    }

    // The same series without a window: the same bytes.
    QCOMPARE(
        runRecon({u"--series"_s, projections_, u"--i0-files"_s, i0Dir_, u"--bg"_s, bg_, u"--axis"_s, u"v"_s,
            u"--cor"_s, u"33"_s, u"--slices"_s, u"4:10:3"_s, u"--region"_s, u"0,0,63,63"_s, u"--name"_s,
            u"w"_s, u"--sub-folders"_s, u"energy"_s, u"--out"_s, fromCommand.path(), u"--block"_s, u"2"_s}),
        0);
    QCOMPARE(filesUnder(fromCommand.path()), QStringList(expected) << u"series-manifest.tsv"_s);
    QCOMPARE(firstDifferentFile(fromWindow.path(), fromCommand.path(), expected), QString());
    // Each energy was corrected with its own I0: the sets differ beyond the edge.
    const QByteArray below = readBytes(fromWindow.filePath(u"7090eV/w-7090eV-00007.dat"_s));
    QVERIFY(!below.isEmpty() && below != readBytes(fromWindow.filePath(u"7140eV/w-7140eV-00007.dat"_s)));
}

void TestSeqCalc::fromToAndKeepOnNewSets()
{
    QTemporaryDir out;
    std::unique_ptr<Body> body = preparedBody(projections_, out.path());
    QVERIFY(body);
    Ui_Body &ui = body->ui();
    ui.SeqCalcFrom->setValue(2);
    ui.SeqCalcTo->setValue(2);
    ui.keepOnNewSet->setChecked(true);
    ui.SelDDir->selectDir(projections_);
    QCOMPARE(ui.SeqCalcFrom->value(), 2);
    QCOMPARE(ui.SeqCalcTo->value(), 2);
    QStringList stages;
    QVERIFY(runSequence(*body, stages));
    body.reset();
    QCOMPARE(QDir(out.path()).entryList(QDir::Dirs | QDir::NoDotAndDotDot), QStringList {u"7115eV"_s});

    // Without "Keep on New Sets" a scan takes all sets again.
    body = preparedBody(projections_, out.path());
    QVERIFY(body);
    body->ui().SeqCalcFrom->setValue(3);
    body->ui().SelDDir->selectDir(projections_);
    QCOMPARE(body->ui().SeqCalcFrom->value(), 1);
    QCOMPARE(body->ui().SeqCalcTo->value(), 3);
    // From beyond the list: the run ends at once.
    body->ui().SeqCalcFrom->setValue(7);
    body->ui().SeqCalcTo->setValue(9);
    QVERIFY(runSequence(*body, stages));
    QCOMPARE(stages.last(), u"Finished"_s);
    QVERIFY(!stages.contains(u"Calculating"_s));
}

void TestSeqCalc::stopping_data()
{
    QTest::addColumn<QString>("stopAt");
    QTest::addColumn<QStringList>("energies"); // written
    QTest::newRow("during loading") << u"Loading first Data Set"_s << QStringList {};
    QTest::newRow("during calculation") << u"Calculating"_s << QStringList {u"7090eV"_s};
}

void TestSeqCalc::stopping()
{
    QFETCH(QString, stopAt);
    QFETCH(QStringList, energies);
    QTemporaryDir out;
    {
        std::unique_ptr<Body> body = preparedBody(projections_, out.path());
        QVERIFY(body);
        QSignalSpy loads(body.get(), &Body::finishedLoadingCTFiles);
        QSignalSpy runs(body.get(), &Body::calcFinished);
        bool stopped = false;
        QStringList stages;
        QVERIFY(runSequence(*body, stages, [&](const QString &t) {
            if (t == stopAt && !stopped) {
                stopped = true;
                body->ui().SeqCalc->click(); // the second click ends the run
            }
        }));
        QCOMPARE(body->ui().SeqCalc->styleSheet(), u"background-color: rgb(213, 245, 255);"_s);
        // The load or calculation under way completes; nothing follows it.
        QTRY_COMPARE_WITH_TIMEOUT(loads.size(), 1, 10000);
        if (!energies.isEmpty())
            QTRY_COMPARE_WITH_TIMEOUT(runs.size(), 1, 30000);
        QTest::qWait(300); // would a next step come, it would come now
        QCOMPARE(loads.size(), 1);
        QCOMPARE(runs.size(), energies.size());
        QVERIFY(!body->isCalculating());
        QVERIFY(!body->isLoading());
        QCOMPARE(stages.count(u"Finished"_s), 1);
        QVERIFY(!stages.contains(u"Loading next Data Set"_s));
    }
    QCOMPARE(QDir(out.path()).entryList(QDir::Dirs | QDir::NoDotAndDotDot), energies);
    // Every file is whole: no temporary file is left, every data file has all its lines.
    QStringList files = filesUnder(out.path());
    // The set whose run was stopped is recorded as such.
    const std::vector<ManifestEntry> manifest = readManifest(out.filePath(u"series-manifest.tsv"_s));
    QCOMPARE(manifest.size(), size_t(energies.size()));
    if (!manifest.empty())
        QCOMPARE(manifest[0].outcome, u"done"_s); // stopped after its calculation, which completed
    files.removeAll(u"series-manifest.tsv"_s);
    QCOMPARE(files.size(), energies.size() * 6);
    QCOMPARE(shortDataFile(out.path()), QString());
}

void TestSeqCalc::aSetThatFailsToLoadEndsTheRun_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("message"); // the last stage before "Finished"
    QTest::addColumn<QStringList>("energies"); // reconstructed
    const QStringList first {u"7090eV"_s};
    QTest::newRow("no image of the set loads")
        << u"all"_s << u"Data set 2 (demo 7115eV) loaded no image"_s << first;
    QTest::newRow("one image of another size")
        << u"one"_s << u"Data set 2 (demo 7115eV) loaded 59 of 60 images"_s << first;
    // The window would load "59 of 59" and reconstruct them over the wrong angles.
    QTest::newRow("one image missing")
        << u"missing"_s
        << u"Data set 2 (demo 7115eV) is not loaded: 59 images where the series has 60, number 31 missing"_s
        << first;
    // The set would be corrected with the I0 of the set before.
    QTest::newRow("its I0 cannot be read")
        << u"I0"_s
        << u"Data set 2 (demo 7115eV) is not loaded: its I0 image I0DIR/I0-7115eV-0001.img cannot be read"_s
        << first;
    // zz-7140eV-* beside demo-7140eV-*: both would write 7140eV files. Nothing starts.
    QTest::newRow("two sets share a tag") << u"tag"_s
                                          << u"Seq. Calc. refused: the files of sets that share a tag would "
                                             u"overwrite each other (sets 3 (demo), 4 "
                                             "(zz) share the tag 7140eV)"_s
                                          << QStringList {};
}

void TestSeqCalc::aSetThatFailsToLoadEndsTheRun()
{
    QFETCH(QString, fault);
    QFETCH(QString, message);
    QFETCH(QStringList, energies);
    QTemporaryDir series, i0, out;
    const QDir from(projections_);
    QVERIFY(copyFolder(projections_, series.path()) && copyFolder(i0Dir_, i0.path()));
    const std::vector<uint32_t> small(8 * 8, 1000);
    for (const QString &name : from.entryList({u"demo-7115eV-*"_s}, QDir::Files)) {
        if (fault == u"all"_s)
            QVERIFY(writeText(series.filePath(name), "broken"));
        else if (name.endsWith(u"-0031.img"_s) && fault == u"one"_s)
            QVERIFY(writeItexFile(series.filePath(name), {8, 8, 2, 1.0, small}));
        else if (name.endsWith(u"-0031.img"_s) && fault == u"missing"_s)
            QVERIFY(QFile::remove(series.filePath(name)));
    }
    if (fault == u"I0"_s) {
        QFile f(i0.filePath(u"I0-7115eV-0001.img"_s));
        QVERIFY(f.resize(f.size() / 2));
        message.replace(u"I0DIR"_s, i0.path());
    } else if (fault == u"tag"_s) {
        for (const QString &name : from.entryList({u"demo-7140eV-*"_s}, QDir::Files))
            QVERIFY(QFile::copy(from.filePath(name), series.filePath(u"zz"_s + name.mid(4))));
    }
    {
        std::unique_ptr<Body> body = preparedBody(series.path(), out.path(), false, i0.path());
        QVERIFY(body);
        QCOMPARE(body->ui().SeqCalcTo->value(), fault == u"tag"_s ? 4 : 3);
        QStringList stages;
        QVERIFY(runSequence(*body, stages));
        QCOMPARE(stages.mid(stages.size() - 2), QStringList({message, u"Finished"_s}));
        QCOMPARE(stages.count(u"Calculating"_s), energies.size());
    }
    // The sets before the failed one are reconstructed and recorded, the failed one and those after
    // it are not.
    QCOMPARE(QDir(out.path()).entryList(QDir::Dirs | QDir::NoDotAndDotDot), energies);
    QStringList recorded;
    for (const ManifestEntry &e : readManifest(out.filePath(u"series-manifest.tsv"_s)))
        recorded << e.tag;
    QCOMPARE(recorded, energies);
}

void TestSeqCalc::closingDuringARunLosesNothing()
{
    QTemporaryDir out;
    {
        std::unique_ptr<Body> body = preparedBody(projections_, out.path());
        QVERIFY(body);
        // The first slice handed to a worker: a run is under way (polling for it could miss a run
        // that is quicker than the poll).
        QSignalSpy dispatched(body.get(), &Body::startCt);
        body->ui().SeqCalc->click();
        QVERIFY(dispatched.wait(20000));
        QVERIFY(body->isCalculating());
    } // closed in the middle of the first set's calculation: neither a crash nor a hang
    // What was handed out is finished and saved whole; nothing half-written is left.
    for (const QString &f : filesUnder(out.path()))
        QVERIFY2(f.endsWith(u".dat"_s) || f.endsWith(u".png"_s), qPrintable(f));
    QCOMPARE(shortDataFile(out.path()), QString());
}

void TestSeqCalc::scanFilesOfEachEnergy()
{
    // One scan file per energy, each with that energy's I0 as its flats: the window takes each set's
    // flats and darks in turn and writes the files of the image series with its I0 files.
    QTemporaryDir scans, fromImages, fromScans;
    for (const SeriesSet &set : scanSeries(projections_, SeriesLayout::OrmelStd, u"*.img"_s))
        QVERIFY(writeScanOfImages(scans.filePath(u"demo-%1-0001.nxs"_s.arg(set.tag)), set.files,
            QDir(i0Dir_).filePath(u"I0-%1-0001.img"_s.arg(set.tag)), bg_, 3.0));
    QStringList stages;
    for (auto [source, out, scanSet] : {std::tuple {projections_, fromImages.path(), false},
             std::tuple {scans.path(), fromScans.path(), true}}) {
        std::unique_ptr<Body> body = preparedBody(source, out, scanSet);
        QVERIFY(body);
        QCOMPARE(body->ui().SeqCalcTo->value(), 3);
        QVERIFY(runSequence(*body, stages));
        QCOMPARE(stages.count(u"Calculating"_s), 3);
        if (scanSet) {
            QCOMPARE(body->ui().I0ImgSel->filePath(), u"from demo-7140eV-0001.nxs: mean of 2 flats"_s);
            QCOMPARE(body->ui().procCtrl->dataSetImages(), 60);
        }
    }
    // The slices' files; the manifests name other inputs.
    const QRegularExpression slices(u"\\.(dat|png)$"_s);
    const QStringList expected = filesUnder(fromImages.path()).filter(slices);
    QCOMPARE(expected.size(), 3 * 3 * 2);
    QCOMPARE(filesUnder(fromScans.path()).filter(slices), expected);
    QCOMPARE(firstDifferentFile(fromImages.path(), fromScans.path(), expected), QString());
}

void TestSeqCalc::tiffSetGoesAsTheItexSet()
{
    // The command writes the same files, the window builds the same sinogram from either format.
    QTemporaryDir out;
    std::vector<double> sinograms[2];
    for (int i = 0; i < 2; ++i) {
        const QString format = i == 0 ? u"img"_s : u"tif"_s;
        const QString dir = scan(format);
        QString text;
        QCOMPARE(runRecon({dir + u"/p"_s, u"*."_s + format, u"--i0"_s, dir + u"/i0."_s + format, u"--bg"_s,
                              dir + u"/bg."_s + format, u"--axis"_s, u"v"_s, u"--cor"_s, u"guess"_s,
                              u"--slices"_s, u"0:7:7"_s, u"--out"_s, out.filePath(format)},
                     &text),
            0);
        QVERIFY2(text.contains(u"progress: 2/2 slices"_s), qPrintable(text));

        Body body;
        body.ui().procCtrl->setRotAxV(true);
        body.ui().I0ImgSel->selectFile(dir + u"/i0."_s + format);
        body.ui().BGImgSel->selectFile(dir + u"/bg."_s + format);
        QCOMPARE(body.ui().I0ImgSel->filePathEdit()->styleSheet(), SelectAFile::goodStyle());
        QCOMPARE(body.ui().BGImgSel->filePathEdit()->styleSheet(), SelectAFile::goodStyle());
        QVERIFY(loadDir(body, dir + u"/p"_s, {u"*."_s + format}));
        QCOMPARE(body.imageSet()->count(), 60);
        QCOMPARE(body.ui().CTFiles->ui().Count->text(), u"60"_s);
        const ProjectionSet set = body.imageSet()->projectionSet();
        QVERIFY(set.i0 && set.bg);
        QVERIFY(body.sinogram()->data().hasData());
        QCOMPARE(body.sinogram()->data().height, 60);
        sinograms[i] = body.sinogram()->data().att;
    }
    QCOMPARE(sinograms[1], sinograms[0]);
    const QStringList files = filesUnder(out.filePath(u"img"_s));
    QCOMPARE(files.size(), 4);
    QCOMPARE(filesUnder(out.filePath(u"tif"_s)), files);
    QCOMPARE(firstDifferentFile(out.filePath(u"img"_s), out.filePath(u"tif"_s), files), QString());
}

void TestSeqCalc::commandRefusesAnImageWithoutPixels()
{
    // A TIFF that holds no image, first in a series of ITEX projections: the command refuses the
    // set rather than reconstruct from a short one. (The window's side: tst_bodyloading.)
    QTemporaryDir dir;
    QVERIFY(writeText(dir.filePath(u"a.tif"_s), QByteArray("II*\0\0\0\0\0", 8)));
    const std::vector<uint32_t> px(16 * 8, 1000);
    for (const QString &name : {u"b.img"_s, u"c.img"_s})
        QVERIFY(writeItexFile(dir.filePath(name), {16, 8, 2, 1.0, px}));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"^Can not read TIFF file .*/a.tif$"_s));
    QString text;
    QCOMPARE(runRecon({dir.path(), u"*"_s, u"--out"_s, dir.filePath(u"out"_s)}, &text), 1);
    QVERIFY2(text.contains(u"quorvel-recon: cannot use "_s + dir.filePath(u"a.tif"_s)), qPrintable(text));
    QVERIFY(!QFileInfo::exists(dir.filePath(u"out"_s)));
}

QTEST_MAIN(TestSeqCalc)
#include "tst_seqcalc.moc"

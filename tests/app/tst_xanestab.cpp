// Qt
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTextStream>

// Local
#include "app/body.h"
#include "tests/app/roadfixture.h"
#include "tests/app/winfixture.h"
#include "automation/ui/selectdatadir.h"
#include "imagedata/ui/selectaimgfile.h"
#include "tools/phantom/xanesdemo.h"
#include "widgets/dispb.h"
#include "widgets/imgdispwcbar.h"
#include "xafs/ui/spectrumplot.h"
#include "xafs/ui/xanespanel.h"
#include "xafs/xanesjob.h"
#include "xafs/xanesoptions.h"
#include "xafs/xanesrun.h"
#include <hdf5.h>

using namespace Qt::StringLiterals;

/// The window's CT-XAFS end on a small demo series (48 pixels, 24 projections, 37 energies): the
/// sequence's "Align energies" writes the aligned.h5 and shifts.tsv quorvel-xanes writes from the same
/// slices; the "XANES" tab's maps equal the command's files value for value, a click on a voxel plots
/// the spectrum --spectrum prints, and `quorvel -nw` does with the batch words what the tab does,
/// failing the line and the exit status when the analysis fails.
class TestXanesTab : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void sequenceAlignsLikeTheCommand();
    void batchSequenceAligns();
    void tabMapsEqualTheCommand();
    void clickGivesTheSpectrum();
    void stopLeavesNoMaps();
    void setupKeepsTheTab();
    void fields_data();
    void fields();
    void batchWords_data();
    void batchWords();

private:
    QStringList commandArgs(const QString &out) const;
    QTemporaryDir dir_;
    QString demo_, slices_, aligned_, commandMaps_;
    double cor_ = 0.0;
};

namespace {

std::vector<float> readDataset(const QString &file, const char *path)
{
    std::vector<float> values;
    const hid_t f = H5Fopen(QFile::encodeName(file).constData(), H5F_ACC_RDONLY, H5P_DEFAULT);
    const hid_t d = f >= 0 ? H5Dopen2(f, path, H5P_DEFAULT) : -1;
    if (d >= 0) {
        const hid_t space = H5Dget_space(d);
        values.resize(std::size_t(H5Sget_simple_extent_npoints(space)));
        H5Dread(d, H5T_NATIVE_FLOAT, H5S_ALL, H5S_ALL, H5P_DEFAULT, values.data());
        H5Sclose(space);
        H5Dclose(d);
    }
    if (f >= 0)
        H5Fclose(f);
    return values;
}

// Equal value for value, NaN where the other is NaN.
bool sameValues(const std::vector<float> &a, const float *b, std::size_t n)
{
    if (a.size() != n)
        return false;
    for (std::size_t i = 0; i < n; ++i)
        if (!(a[i] == b[i] || (std::isnan(a[i]) && std::isnan(b[i]))))
            return false;
    return true;
}

// quorvel -nw with `batch`, its messages in English (-e); its exit status.
int runWindowBatch(const QString &batch, QString &log)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(QStringLiteral(QUORVEL_PROGRAM), {u"-nw"_s, u"-e"_s, u"-b"_s, batch, u"-x"_s});
    if (!p.waitForFinished(60000))
        return -1;
    log = QString::fromUtf8(p.readAll());
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

int runCommand(const QStringList &args, QString &log)
{
    XanesOptions options;
    QTextStream out(&log);
    if (!parseXanesOptions(args, options, log))
        return 2;
    return runXanes(options, out, out, u"quorvel-xanes"_s);
}

} // namespace

void TestXanesTab::initTestCase()
{
    XanesDemoSetup demo;
    demo.scan.width = 48;
    demo.scan.height = 24;
    demo.scan.projections = 24;
    demo.scan.cor = demo.scan.width * 130.0 / 256.0;
    cor_ = demo.scan.cor;
    demo_ = dir_.filePath(u"xanes"_s);
    slices_ = dir_.filePath(u"slices"_s);
    QString error;
    QVERIFY2(writeXanesDemo(demo, demo_, 2, &error), qPrintable(error));
}

QStringList TestXanesTab::commandArgs(const QString &out) const
{
    return {aligned_, u"--out"_s, out, u"--edge"_s, u"7112"_s, u"--pre=-72:-10"_s, u"--standards"_s,
        u"metal=%1/standards/metal.txt,oxide=%1/standards/oxide.txt"_s.arg(demo_), u"--threads"_s, u"2"_s};
}

void TestXanesTab::sequenceAlignsLikeTheCommand()
{
    Body body(nullptr, 2);
    Ui_Body &ui = body.ui();
    ui.procCtrl->setRotAxV(true);
    ui.SelDDir->selectDir(demo_ + u"/projections"_s);
    ui.SelI0Files->selectDirFiles(demo_ + u"/i0"_s, {u"*.img"_s});
    ui.BGImgSel->selectFile(demo_ + u"/bg.img"_s);
    QSignalSpy loaded(&body, &Body::seqSetLoaded);
    QVERIFY(body.seqExecSet() && loaded.wait(10000));
    ui.procCtrl->setCor(cor_);
    setSlices(ui.procCtrl, 6, 17, 1);
    saveInto(body, slices_, {}, false, u"demo"_s);
    ui.AutoSaveData->setChecked(false);
    ui.AutoSaveImage->setChecked(false);
    ui.AutoSaveTiff->setChecked(true);
    ui.SaveInSubFolders->setChecked(true);
    ui.SubOfEnergy->setChecked(true);
    ui.SubOfSlice->setChecked(false);
    ui.SeqCalcFrom->setValue(1);
    ui.SeqCalcTo->setValue(int(xanesDemoEnergies().size()));

    // Without a folder per energy the run does not start: the alignment could not find the series.
    ui.SeqAlign->setChecked(true);
    ui.SubOfEnergy->setChecked(false);
    QSignalSpy ended(&body, &Body::seqFinished);
    ui.SeqCalc->click();
    QVERIFY(ended.wait(10000));
    QVERIFY(!body.seqOutcome().ok());
    QCOMPARE(body.seqOutcome().done, 0);
    QVERIFY(!QFileInfo::exists(slices_));

    ui.SubOfEnergy->setChecked(true);
    ui.SeqCalc->click();
    QVERIFY(ended.wait(180000));
    const JobOutcome outcome = body.seqOutcome();
    QVERIFY2(outcome.ok(), qPrintable(outcome.why));
    QCOMPARE(outcome.asked, int(xanesDemoEnergies().size()) + 1); // the sets and the alignment
    QCOMPARE(outcome.done, outcome.asked);
    aligned_ = QDir(slices_).filePath(u"aligned.h5"_s);
    QVERIFY(QFileInfo::exists(aligned_));

    // The command on the same slices: the same shifts and the same aligned volumes.
    QTemporaryDir command;
    QString log;
    QCOMPARE(runCommand({slices_, u"--out"_s, command.path(), u"--threads"_s, u"2"_s}, log), 0);
    QCOMPARE(firstDifferentFile(slices_, command.path(), {u"shifts.tsv"_s}), QString());
    const std::vector<float> mine = readDataset(aligned_, "/entry/data/data");
    const std::vector<float> theirs = readDataset(command.filePath(u"aligned.h5"_s), "/entry/data/data");
    QVERIFY(!mine.empty() && mine.size() % (std::size_t(37) * 12) == 0);
    QVERIFY(sameValues(mine, theirs.data(), theirs.size()));

    // The tab takes the last sequence's series.
    XanesPanel *tab = body.xanesPanel();
    QPushButton *last = tab->findChild<QPushButton *>(u"XanesLastSequence"_s);
    QVERIFY(last && last->isEnabled());
    last->click();
    QCOMPARE(tab->controls().source->text(), slices_);
    QCOMPARE(xanesInputOf(slices_).path, aligned_);
}

void TestXanesTab::batchSequenceAligns()
{
    // The same run through quorvel -nw: "seq_exec_calc" waits for the sets and the alignment.
    QVERIFY(QFileInfo::exists(aligned_));
    const QString out = dir_.filePath(u"batch-slices"_s);
    const QString batch = dir_.filePath(u"sequence.bat"_s);
    const QStringList lines {u"seq_exec_dir %1/projections"_s.arg(demo_), u"seq_exec_select_i0 %1/i0 *.img"_s.arg(demo_),
        u"bg_load %1/bg.img"_s.arg(demo_), u"ct_rot_ax_is_v 1"_s, u"seq_exec_set"_s,
        u"ct_cor %1"_s.arg(cor_, 0, 'g', 17), u"ct_auto_exec 1"_s, u"ct_slice_from 6"_s, u"ct_slice_to 17"_s,
        u"ct_slice_step 1"_s, u"calc_ct2 1"_s, u"auto_save_tiff 1"_s, u"auto_save_data_path "_s + out,
        u"auto_save_data_name demo"_s, u"auto_save_in_sub_folders 1"_s, u"auto_save_in_sub_folders_of_energy 1"_s,
        u"auto_save_in_sub_folders_of_slice 0"_s, u"seq_exec_align 1"_s, u"seq_exec_calc"_s, u"app_quit"_s};
    QVERIFY(writeText(batch, (lines.join(u'\n') + u'\n').toUtf8()));
    QString log;
    QVERIFY2(runWindowBatch(batch, log) == 0, qPrintable(log));
    QVERIFY2(log.contains(u"Seq. Calc.: 38 of 38 done"_s), qPrintable(log));
    const std::vector<float> window = readDataset(aligned_, "/entry/data/data");
    const std::vector<float> batched = readDataset(out + u"/aligned.h5"_s, "/entry/data/data");
    QVERIFY(!window.empty() && sameValues(window, batched.data(), batched.size()));

    // Without the data sets' folder the line fails at once, and so does the run.
    QVERIFY(writeText(batch, "seq_exec_align 1\nseq_exec_calc\n:ifng app_quit 5\napp_quit\n"));
    QCOMPARE(runWindowBatch(batch, log), 5);
}

void TestXanesTab::tabMapsEqualTheCommand()
{
    QVERIFY(QFileInfo::exists(aligned_));
    commandMaps_ = dir_.filePath(u"command-maps"_s);
    QString log;
    QCOMPARE(runCommand(commandArgs(commandMaps_), log), 0);

    // The tab through quorvel -nw and its batch words: the same files, byte for byte.
    const QString tabMaps = dir_.filePath(u"tab-maps"_s);
    const QString batch = dir_.filePath(u"maps.bat"_s);
    QVERIFY(writeText(batch,
        u"xanes_source %1\nxanes_edge 7112\nxanes_pre -72:-10\nxanes_standards "
        "metal=%2/standards/metal.txt,oxide=%2/standards/oxide.txt\nxanes_exec\nxanes_save_maps %3\napp_quit\n"_s
            .arg(aligned_, demo_, tabMaps)
            .toUtf8()));
    QString windowLog;
    QVERIFY2(runWindowBatch(batch, windowLog) == 0, qPrintable(windowLog));
    QStringList names;
    for (const QString &m : {u"edge_jump"_s, u"edge_energy"_s, u"white_line_energy"_s, u"white_line_height"_s,
             u"fraction-metal"_s, u"fraction-oxide"_s, u"r_factor"_s, u"mask"_s})
        names << m + u".tif"_s << m + u".png"_s;
    QCOMPARE(firstDifferentFile(commandMaps_, tabMaps, names), QString());
    const std::vector<float> tabFractions = readDataset(tabMaps + u"/maps.h5"_s, "/entry/maps/fraction-metal");
    const std::vector<float> fractions = readDataset(commandMaps_ + u"/maps.h5"_s, "/entry/maps/fraction-metal");
    QVERIFY(!fractions.empty() && sameValues(tabFractions, fractions.data(), fractions.size()));

    // The maps the tab holds and shows are those of the files.
    Body body(nullptr, 1);
    XanesPanel *tab = body.xanesPanel();
    QVERIFY(body.execCommand(parseBatchCmd(u"xanes_source "_s + aligned_)));
    tab->controls().edge->setText(u"7112"_s);
    tab->controls().pre->setText(u"-72:-10"_s);
    tab->controls().standards->setText(u"metal=%1/standards/metal.txt,oxide=%1/standards/oxide.txt"_s.arg(demo_));
    QSignalSpy analysed(tab, &XanesPanel::analysisEnded);
    tab->controls().analyse->click();
    QVERIFY(analysed.wait(30000));
    QVERIFY(analysed.first().first().value<JobOutcome>().ok());
    const XanesMapsPtr maps = tab->maps();
    QVERIFY(maps && maps->analysed > 0);
    const std::size_t plane = maps->shape.plane();
    for (int m = 0; m < int(maps->plan->maps().size()); ++m) {
        const QString name = maps->plan->maps()[std::size_t(m)].name;
        const std::vector<float> file
            = readDataset(commandMaps_ + u"/maps.h5"_s, ("/entry/maps/" + name.toStdString()).c_str());
        QCOMPARE(file.size(), plane * std::size_t(maps->shape.nz));
        for (int z = 0; z < maps->shape.nz; ++z) {
            const std::vector<float> page(file.begin() + std::ptrdiff_t(z * plane),
                file.begin() + std::ptrdiff_t((z + 1) * plane));
            QVERIFY2(sameValues(page, maps->slice(m, z), plane), qPrintable(name));
        }
    }
    // The map chosen is the one shown: its picture is the slice through the colour bar.
    tab->controls().map->setCurrentIndex(maps->plan->mapIndex(u"fraction-metal"_s));
    tab->controls().slice->setValue(3);
    QCOMPARE(tab->mapView()->image().size(), QSize(maps->shape.nx, maps->shape.ny));
}

void TestXanesTab::clickGivesTheSpectrum()
{
    Body body(nullptr, 1);
    body.resize(1366, 768);
    body.show();
    QVERIFY(QTest::qWaitForWindowExposed(&body));
    body.ui().ImgsTab->setCurrentWidget(body.ui().ImgsTab->findChild<QWidget *>(u"XanesTab"_s));
    XanesPanel *tab = body.xanesPanel();
    QVERIFY(body.execCommand(parseBatchCmd(u"xanes_source "_s + aligned_)));
    QVERIFY(body.execCommand(parseBatchCmd(u"xanes_edge 7112"_s)));
    QVERIFY(body.execCommand(parseBatchCmd(u"xanes_pre -72:-10"_s)));
    QVERIFY(body.execCommand(
        parseBatchCmd(u"xanes_standards metal=%1/standards/metal.txt,oxide=%1/standards/oxide.txt"_s.arg(demo_))));
    QSignalSpy analysed(tab, &XanesPanel::analysisEnded);
    QVERIFY(body.execCommand(parseBatchCmd(u"xanes_exec"_s)));
    QVERIFY(analysed.wait(30000));
    tab->controls().slice->setValue(5);
    QTest::qWait(50);

    // A click on the picture: the spectrum of the voxel under it.
    ImgDispWCBar *view = tab->mapView();
    const QRectF picture = view->pictureRect();
    const QPoint at = (picture.topLeft() + QPointF(0.42 * picture.width(), 0.7 * picture.height())).toPoint();
    const QPointF under = view->imagePointAt(at);
    const int x = int(std::floor(under.x())), y = int(std::floor(under.y()));
    QVERIFY(x > 0 && y > 0 && x < tab->maps()->shape.nx && y < tab->maps()->shape.ny);
    QSignalSpy shown(tab, &XanesPanel::spectrumShown);
    QTest::mouseClick(view->area(), Qt::LeftButton, {}, at);
    QVERIFY(shown.wait(10000));
    QCOMPARE(shown.first().first().toString(), QString());
    const std::optional<VoxelSpectrum> &s = tab->spectrumPlot()->spectrum();
    QVERIFY(s);
    QCOMPARE(s->z, 5);
    QCOMPARE(s->y, y);
    QCOMPARE(s->x, x);

    // --spectrum prints the same numbers.
    QString log;
    QCOMPARE(runCommand(commandArgs(QString()) << u"--spectrum"_s << u"5,%1,%2"_s.arg(y).arg(x), log), 0);
    int row = 0;
    for (const QString &line : log.split(u'\n')) {
        const QStringList f = line.split(u'\t');
        if (line.startsWith(u'#') || f.size() != 4)
            continue;
        QVERIFY(row < int(s->energy.size()));
        const auto k = std::size_t(row++);
        for (auto [text, value] : {std::pair {f[0], s->energy[k]}, std::pair {f[1], s->mu[k]},
                 std::pair {f[2], s->normalised[k]}, std::pair {f[3], s->fit[k]}}) {
            const double printed = text.toDouble();
            QVERIFY2(std::isnan(printed) ? std::isnan(value) : std::abs(printed - value) <= 1e-5 * (1 + std::abs(value)),
                qPrintable(line));
        }
    }
    QCOMPARE(row, int(s->energy.size()));
    // Under the cursor the plot names the energy nearest to it.
    SpectrumPlot *plot = tab->spectrumPlot();
    const int i = plot->energyIndexAt(plot->width() / 2.0);
    QVERIFY(i > 0 && i < int(s->energy.size()) - 1);
    QVERIFY(plot->valuesText(i).startsWith(QString::number(s->energy[std::size_t(i)], 'f', 1)));
}

void TestXanesTab::stopLeavesNoMaps()
{
    // A stop asked before the worker has begun still stops it: no maps, nothing to save.
    Body body(nullptr, 1);
    XanesPanel *tab = body.xanesPanel();
    tab->controls().source->setText(aligned_);
    tab->controls().edge->setText(u"7112"_s);
    QSignalSpy analysed(tab, &XanesPanel::analysisEnded);
    QVERIFY(tab->analyse());
    QVERIFY(!tab->analyse()); // one at a time
    tab->stop();
    QVERIFY(analysed.wait(30000));
    const JobOutcome outcome = analysed.first().first().value<JobOutcome>();
    QVERIFY(outcome.stopped && !outcome.ok());
    QVERIFY(!tab->maps() && !tab->isBusy());
    QVERIFY(!tab->controls().save->isEnabled());
    QVERIFY(!tab->saveMaps(dir_.filePath(u"stopped"_s)));
    QVERIFY(!QFileInfo::exists(dir_.filePath(u"stopped"_s)));
}

void TestXanesTab::setupKeepsTheTab()
{
    const QString plain = dir_.filePath(u"plain.cfg"_s), set = dir_.filePath(u"xanes.cfg"_s);
    {
        Body body(nullptr, 1);
        QVERIFY(body.saveSetup(plain));
        const XanesPanel::Controls &c = body.xanesPanel()->controls();
        c.source->setText(u"/data/series with space/aligned.h5"_s);
        c.edge->setText(u"8333"_s);
        c.post->setText(u"40:"_s);
        c.standards->setText(u"ni=/std/ni.txt,nio=/std/nio.txt"_s);
        c.sumToOne->setChecked(true);
        c.pixelSize->setText(u"0.65"_s);
        body.ui().SeqAlign->setChecked(true);
        QVERIFY(body.saveSetup(set));
    }
    // The settings as they were are not written: setups of the usual kind keep their lines.
    QFile f(plain);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QByteArray text = f.readAll();
    QVERIFY(!text.contains("xanes") && !text.contains("seq_exec_align"));
    Body body(nullptr, 1);
    QVERIFY(body.loadSetup(set));
    const XanesFields f2 = body.xanesPanel()->fields();
    QCOMPARE(body.xanesPanel()->controls().source->text(), u"/data/series with space/aligned.h5"_s);
    QCOMPARE(f2.edge, u"8333"_s);
    QCOMPARE(f2.post, u"40:"_s);
    QCOMPARE(f2.pre, XanesFields().pre);
    QCOMPARE(f2.standards, u"ni=/std/ni.txt,nio=/std/nio.txt"_s);
    QVERIFY(f2.sumToOne);
    QCOMPARE(f2.pixelSize, u"0.65"_s);
    QCOMPARE(f2.minJump, QString());
    QVERIFY(body.ui().SeqAlign->isChecked());
    QCOMPARE(body.tally().linesFailed, 0);
}

void TestXanesTab::fields_data()
{
    QTest::addColumn<QString>("pre");
    QTest::addColumn<QString>("post");
    QTest::addColumn<QString>("minJump");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("defaults") << u"-30:-10"_s << u"30:"_s << QString() << true;
    QTest::newRow("a closed post-edge range") << u"-72:-10"_s << u"30:80"_s << u"0.01"_s << true;
    QTest::newRow("a range upside down") << u"-10:-30"_s << u"30:"_s << QString() << false;
    QTest::newRow("a pre-edge range left open") << u"-30:"_s << u"30:"_s << QString() << false;
    QTest::newRow("a word for a jump") << u"-30:-10"_s << u"30:"_s << u"small"_s << false;
    QTest::newRow("a negative jump") << u"-30:-10"_s << u"30:"_s << u"-1"_s << false;
}

void TestXanesTab::fields()
{
    QFETCH(QString, pre);
    QFETCH(QString, post);
    QFETCH(QString, minJump);
    QFETCH(bool, accepted);
    XanesFields f;
    f.edge = u"7112"_s;
    f.pre = pre;
    f.post = post;
    f.minJump = minJump;
    XanesSettings s;
    QString error;
    QCOMPARE(xanesSettingsFromFields(f, s, error), accepted);
    if (accepted) {
        QCOMPARE(s.edge, 7112.0);
        QCOMPARE(s.pre.to.value(), pre.section(u':', 1).toDouble());
        QCOMPARE(s.post.to.has_value(), !post.endsWith(u':'));
        QCOMPARE(s.minJump.has_value(), !minJump.isEmpty());
    } else {
        QVERIFY(!error.isEmpty());
    }
}

void TestXanesTab::batchWords_data()
{
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("said");
    const QString source = u"xanes_source "_s + dir_.filePath(u"xanes-missing.h5"_s);
    QTest::newRow("an edge outside the energies")
        << QStringList {u"xanes_source @ALIGNED@"_s, u"xanes_edge 9000"_s, u"xanes_exec"_s, u"app_quit"_s} << 1
        << u"edge"_s;
    QTest::newRow("a series that is not there") << QStringList {source, u"xanes_edge 7112"_s, u"xanes_exec"_s,
        u"app_quit"_s} << 1 << u"does not exist"_s;
    QTest::newRow("maps saved before any analysis")
        << QStringList {u"xanes_save_maps @OUT@"_s, u"app_quit"_s} << 1 << u"no maps"_s;
    QTest::newRow("a failure the batch handles")
        << QStringList {u"xanes_source @ALIGNED@"_s, u"xanes_edge 7112"_s, u"xanes_pre -10:-30"_s, u"xanes_exec"_s,
               u":ifng app_quit 7"_s, u"app_quit"_s}
        << 7 << u"--pre"_s;
}

void TestXanesTab::batchWords()
{
    QFETCH(QStringList, lines);
    QFETCH(int, status);
    QFETCH(QString, said);
    QVERIFY(QFileInfo::exists(aligned_));
    const QString batch = dir_.filePath(u"words.bat"_s);
    QVERIFY(writeText(batch,
        lines.join(u'\n').replace(u"@ALIGNED@"_s, aligned_).replace(u"@OUT@"_s, dir_.filePath(u"x"_s)).toUtf8()
            + '\n'));
    QString log;
    QVERIFY2(runWindowBatch(batch, log) == status, qPrintable(log));
    QVERIFY2(log.contains(said), qPrintable(log));
}

QTEST_MAIN(TestXanesTab)
#include "tst_xanestab.moc"

// Qt
#include <QFile>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

// Local
#include "app/body.h"
#include "ct/ui/procctrl.h"
#include "imagedata/hdf5probe.h"
#include "imagedata/imgdatas.h"
#include "imagedata/ui/selectaimgfile.h"
#include "imagedata/ui/selectdatafiles.h"
#include "tests/app/roadfixture.h"
#include "tests/app/winfixture.h"
#include "tests/common/debuglog.h"
#include "tools/scanfile/scanfilewriter.h"
#include <cmath>

using namespace Qt::StringLiterals;

namespace {

// `projections` frames of 24 × 16 after a flat and a dark, 180° / `projections` apart from `first`
// (none recorded when `first` is NaN).
ScanFileRecipe scanFrom(double first, int projections = 18)
{
    ScanFileRecipe r;
    r.width = 24;
    r.height = 16;
    r.keys = {1, 2};
    r.keys.insert(r.keys.end(), size_t(projections), 0);
    // A flat well above the dark, and projections between them.
    r.fill = [](int kind, int index, int y, double *row) {
        for (int x = 0; x < 24; ++x)
            row[x] = kind == 1 ? 4000.0 : kind == 2 ? 100.0 : 1000.0 + 50.0 * ((x + y + index) % 20);
    };
    if (!std::isnan(first)) {
        r.angles.assign(r.keys.size(), 0.0);
        for (int k = 0; k < projections; ++k)
            r.angles[size_t(k) + 2] = first + 180.0 / projections * k;
    }
    return r;
}

} // namespace

/// Scan files in the window: a damaged one leaves everything as it was, and a scan's first recorded
/// angle becomes the angle origin.
class TestBodyScan : public QObject
{
    Q_OBJECT
private slots:
    void damagedFileLeavesTheWindowAsItWas();
    void angleOriginFromTheScan_data();
    void angleOriginFromTheScan();

private:
    QTemporaryDir dir_;
};

void TestBodyScan::damagedFileLeavesTheWindowAsItWas()
{
    const QString good = dir_.filePath(u"good.nxs"_s);
    QVERIFY(writeScanFile(good, scanFrom(0.0)));
    QFile input(QStringLiteral(QUORVEL_FUZZ_CORPUS "/hdf5probe/library-segv-damaged-local-heap"));
    QVERIFY(input.open(QIODevice::ReadOnly));
    const QString damaged = dir_.filePath(u"damaged.h5"_s);
    QVERIFY(writeText(damaged, input.readAll().mid(1)));

    Body body(nullptr, 1);
    QVERIFY(loadFiles(body, {good}));
    QCOMPARE(body.imageSet()->count(), 18);
    DebugLog log;
    QVERIFY(loadFiles(body, {damaged}));
    // Refused with the reason; the scan loaded before stays, with its I0 and BG.
    QCOMPARE(
        log.count(u"^Scan file refused \\("_s + QRegularExpression::escape(scanprobe::damagedText())), 1);
    QCOMPARE(body.imageSet()->count(), 18);
    QCOMPARE(body.ui().CTFiles->files(), QStringList(18, good));
    QCOMPARE(body.ui().CTFiles->ui().Count->text(), u"18 (1 not loaded)"_s);
    QVERIFY(body.ui().I0ImgSel->holdsComputed() && body.ui().BGImgSel->holdsComputed());
    // And it still works: a run of one slice writes its file.
    setSlices(body.ui().procCtrl, 8, 8);
    saveInto(body, dir_.path(), u"t"_s);
    QVERIFY(calcAndWait(body));
    QVERIFY(QFile::exists(dir_.filePath(u"t-00008.dat"_s)));
}

void TestBodyScan::angleOriginFromTheScan_data()
{
    QTest::addColumn<double>("first"); // NaN: no angles recorded
    QTest::addColumn<bool>("typed"); // 5 typed into the field while the frames load
    QTest::addColumn<double>("origin");
    QTest::newRow("the first recorded angle") << 90.0 << false << 90.0;
    QTest::newRow("typed while the scan loads") << 90.0 << true << 5.0;
    QTest::newRow("no angles recorded: as it was") << qQNaN() << false << 12.0;
}

void TestBodyScan::angleOriginFromTheScan()
{
    QFETCH(double, first);
    QFETCH(bool, typed);
    QFETCH(double, origin);
    const QString file = dir_.filePath(u"origin.nxs"_s);
    QVERIFY(writeScanFile(file, scanFrom(first, 200)));
    Body body(nullptr, 1);
    ProcCtrl *p = body.ui().procCtrl;
    p->setAngleOriginDeg(12.0);
    QSignalSpy done(&body, &Body::finishedLoadingCTFiles);
    body.ui().CTFiles->filesChosen({file});
    if (typed) { // once the first frames are in, before the last
        while (body.imageSet()->count() < 2)
            QCoreApplication::processEvents();
        QVERIFY(done.isEmpty());
        p->ui().AngleOriginDeg->setText(u"5"_s);
    }
    QVERIFY(done.wait(10000));
    QCOMPARE(body.imageSet()->count(), 200);
    QCOMPARE(p->angleOriginDeg(), origin);
}

QTEST_MAIN(TestBodyScan)
#include "tst_bodyscan.moc"

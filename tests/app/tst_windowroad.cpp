// Qt
#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

// Local
#include "app/body.h"
#include "app/recon/reconoptions.h"
#include "app/recon/reconrun.h"
#include "ct/ui/procctrl.h"
#include "ct/ui/selectsavedir.h"
#include "ct/ui/sinogram.h"
#include "tools/phantom/phantom.h"
#include <cmath>

using namespace Qt::StringLiterals;

/// The operator's whole road through the window, checked against the headless command.
class TestWindowRoad : public QObject
{
    Q_OBJECT
private slots:
    void windowAndCommandWriteTheSameFiles();
};

void TestWindowRoad::windowAndCommandWriteTheSameFiles()
{
    QTemporaryDir data, fromWindow, fromCommand;
    ScanSetup setup;
    setup.width = 64;
    setup.height = 16;
    setup.cor = 33;
    setup.projections = 60;
    QVERIFY(writeScan(demoPhantom(64), setup, data.filePath(u"p"_s), u"ct_"_s, data.filePath(u"i0.img"_s),
        data.filePath(u"bg.img"_s)));

    double cor = 0;
    {
        Body body(nullptr, 2);
        body.ui().procCtrl->setRotAxV(true);
        QSignalSpy loaded(&body, &Body::finishedLoadingCTFiles);
        body.ui().CTFiles->selectDirFiles(data.filePath(u"p"_s), {});
        QVERIFY(loaded.wait(10000));
        body.ui().I0ImgSel->selectFile(data.filePath(u"i0.img"_s));
        body.ui().BGImgSel->selectFile(data.filePath(u"bg.img"_s));
        body.sinogram()->ui().GuessCor->click();
        cor = body.ui().procCtrl->cor();
        // Noisy counts, and the facing images are 3 degrees short of 180: near the axis, not on it.
        QVERIFY2(std::abs(cor - setup.cor) <= 0.3, qPrintable(QString::number(cor)));
        ProcCtrl *p = body.ui().procCtrl;
        p->setAutoExec(true);
        p->setSliceFrom(4);
        p->setSliceTo(10);
        p->setSliceStep(3);
        for (SelectSaveDir *s : {body.ui().SelectImageSaveDir, body.ui().SelectDataSaveDir}) {
            s->setDir(fromWindow.path());
            s->setName(u"w"_s);
            s->setTag(u"E1"_s);
        }
        body.ui().AutoSaveImage->setChecked(true);
        body.ui().AutoSaveData->setChecked(true);
        body.ui().SaveInSubFolders->setChecked(false);
        QSignalSpy finished(&body, &Body::calcFinished);
        body.ui().CalcCT->click();
        QVERIFY(finished.wait(30000));
    } // closing the window writes everything handed to the saver

    ReconOptions options;
    QString error;
    // After loading, the window's regions are 0 … L − 1.
    QVERIFY2(parseReconOptions(
                 {data.filePath(u"p"_s), u"--i0"_s, data.filePath(u"i0.img"_s), u"--bg"_s,
                     data.filePath(u"bg.img"_s), u"--axis"_s, u"v"_s, u"--cor"_s,
                     QString::number(cor, 'g', 17), u"--slices"_s, u"4:10:3"_s, u"--region"_s, u"0,0,63,63"_s,
                     u"--name"_s, u"w"_s, u"--tag"_s, u"E1"_s, u"--out"_s, fromCommand.path()},
                 options, error),
        qPrintable(error));
    QString text;
    QTextStream sink(&text);
    QCOMPARE(ReconRun(options, sink, sink).exec(), 0);

    const QStringList expected {u"w-E1-00004.dat"_s, u"w-E1-00004.png"_s, u"w-E1-00007.dat"_s,
        u"w-E1-00007.png"_s, u"w-E1-00010.dat"_s, u"w-E1-00010.png"_s};
    QCOMPARE(QDir(fromWindow.path()).entryList(QDir::Files), expected);
    QCOMPARE(QDir(fromCommand.path()).entryList(QDir::Files), expected);
    for (const QString &name : expected) {
        QFile a(fromWindow.filePath(name)), b(fromCommand.filePath(name));
        QVERIFY(a.open(QIODevice::ReadOnly) && b.open(QIODevice::ReadOnly));
        QVERIFY2(a.readAll() == b.readAll(), qPrintable(name));
    }
}

QTEST_MAIN(TestWindowRoad)
#include "tst_windowroad.moc"

// The window's loading of scan files (HDF5: NXtomo or Data Exchange): the projection frames
// join the image set one per pass of the event loop, like image files; the flats and darks become
// the I0 and BG images unless files were chosen for them; the recorded angles set the data set's
// range and image count.

// Qt
#include <QDebug>
#include <QFileInfo>
#include <QLineEdit>

// Local
#include "app/loadcontroller.h"
#include "app/windowlog.h"
#include "app/windowparts.h"
#include "config/saidtext.h"
#include "ct/ui/procctrl.h"
#include "imagedata/hdf5scan.h"
#include "imagedata/imgdatas.h"
#include "imagedata/imgdatascanframe.h"
#include "imagedata/scanangles.h"
#include "imagedata/ui/selectaimgfile.h"
#include "ui_body.h"
#include "widgets/progressline.h"

bool LoadController::beginScan(const QString &fileName)
{
    QString error;
    std::shared_ptr<const Hdf5Scan> scan = Hdf5Scan::open(fileName, error);
    if (!scan) {
        qCWarning(lcWindow).noquote() << QV_SAID("Scan file refused (%1) : %2").arg(error, fileName);
        return false;
    }
    const int frames = scan->count(Hdf5Scan::Kind::Projection);
    if (parts_.images->width() != 0
        && (scan->width() != parts_.images->width() || scan->height() != parts_.images->height())) {
        qCWarning(lcWindow).noquote() << QStringLiteral("Mismatch image size: (%1, %2) != (%3, %4) : ")
                                             .arg(parts_.images->width())
                                             .arg(parts_.images->height())
                                             .arg(scan->width())
                                             .arg(scan->height())
                + fileName;
        return false;
    }
    // A scan that begins a set must fit even steps by itself; frames added to a set are checked
    // with the set's other images when the loading ends.
    if (parts_.images->count() == 0 && !scan->angles().empty()) {
        const AngleFit fit = fitAngles(scan->angles(), parts_.ui.procCtrl->dataSetRangeDeg());
        if (!fit.ok) {
            qCWarning(lcWindow).noquote() << QV_SAID("Scan file refused: %1 : %2").arg(fit.problem, fileName);
            return false;
        }
    }
    qCInfo(lcWindow).noquote()
        << QV_SAID("Scan file, %1: %2 projections of %3 x %4, %5 flats, %6 darks%7 : %8")
               .arg(scan->description())
               .arg(frames)
               .arg(scan->width())
               .arg(scan->height())
               .arg(scan->count(Hdf5Scan::Kind::Flat))
               .arg(scan->count(Hdf5Scan::Kind::Dark))
               .arg(scan->invalidFrames() > 0
                       ? QV_SAID(", %1 invalid frames left out").arg(scan->invalidFrames())
                       : SaidText::plain(QString()))
               .arg(fileName);
    takeScanI0Bg(scan);
    if (!load_.originBefore) // what the operator may type while the frames load is kept
        load_.originBefore = parts_.ui.procCtrl->ui().AngleOriginDeg->text();
    // The file stood for one unit of the loading; its frames are the units now.
    load_.total += frames - 1;
    parts_.progress->begin(parts_.progress->what(), load_.total - load_.countAtStart);
    load_.scan = std::move(scan);
    load_.scanNext = 0;
    return true;
}

void LoadController::takeScanI0Bg(const std::shared_ptr<const Hdf5Scan> &scan)
{
    const QString name = QFileInfo(scan->fileName()).fileName();
    for (auto [selector, kind, what] : {std::tuple {parts_.ui.I0ImgSel, Hdf5Scan::Kind::Flat, "I0"},
             std::tuple {parts_.ui.BGImgSel, Hdf5Scan::Kind::Dark, "BG"}}) {
        const int count = scan->count(kind);
        // A chosen image that fits the scan's frames is the operator's choice; one of another size
        // (the last data set's) gives way to the scan's own flats or darks.
        if (selector->img() && !selector->holdsComputed()) {
            const bool fits
                = selector->img()->width() == scan->width() && selector->img()->height() == scan->height();
            if (fits || count == 0) {
                // The scan's own file chosen holds its frames already.
                if (count > 0 && selector->img()->fileName() != scan->fileName())
                    qCInfo(lcWindow).noquote()
                        << QV_SAID("%1: the chosen file is kept, the %2 of %3 are not used : %4")
                               .arg(QString::fromLatin1(what), meanDescription(kind, count), name,
                                   selector->img()->fileName());
                continue;
            }
            qCInfo(lcWindow).noquote()
                << QV_SAID("%1: the chosen file (%2 x %3) does not fit the frames of %4 (%5 x %6) : %7")
                       .arg(QString::fromLatin1(what))
                       .arg(selector->img()->width())
                       .arg(selector->img()->height())
                       .arg(name)
                       .arg(scan->width())
                       .arg(scan->height())
                       .arg(selector->img()->fileName());
        }
        QString error;
        std::unique_ptr<ImgData> mean = count > 0 ? meanOfFrames(scan, kind, error) : nullptr;
        if (!mean) {
            // The image of an earlier scan belongs to that scan.
            if (selector->holdsComputed()) {
                selector->clear();
                selector->clearFile();
            }
            if (count > 0)
                qCWarning(lcWindow).noquote() << QV_SAID("%1 not taken from the scan (%2) : %3")
                                                     .arg(QString::fromLatin1(what), error, scan->fileName());
            continue;
        }
        const SaidText origin = SelectAImgFile::scanOrigin(scan->fileName(), kind, count);
        selector->holdComputed(std::move(mean), origin.shown(), scan->fileName());
        qCInfo(lcWindow).noquote() << QV_SAID("%1 image %2").arg(QString::fromLatin1(what)).arg(origin);
    }
    emit i0OrBgChanged();
}

bool LoadController::loadScanFrame()
{
    const std::shared_ptr<const Hdf5Scan> scan = load_.scan;
    if (!scan)
        return false;
    if (load_.scanNext >= scan->count(Hdf5Scan::Kind::Projection)) {
        load_.scan.reset();
        return false;
    }
    const int index = load_.scanNext++;
    auto frame = std::make_unique<ImgDataScanFrame>(scan, Hdf5Scan::Kind::Projection, index);
    frame->setReadAll(true);
    if (frame->open() && parts_.images->addImage(std::move(frame))) {
        parts_.ui.CTFiles->addFile(scan->fileName());
        ++load_.added;
    } else
        load_.refused << QStringLiteral("%1 (projection %2)").arg(scan->fileName()).arg(index);
    return true;
}

int LoadController::scanFramesLeft() const
{
    return load_.scan ? load_.scan->count(Hdf5Scan::Kind::Projection) - load_.scanNext : 0;
}

void LoadController::fitScanAngles()
{
    load_.scanFit.reset();
    const int count = parts_.images->count();
    std::vector<double> angles;
    for (int i = 0; i < count; ++i) {
        const std::optional<double> angle = parts_.images->image(i)->angleDeg();
        if (!angle)
            break;
        angles.push_back(*angle);
    }
    if (angles.empty())
        return; // image files: their count is the data set's, the range as set
    if (int(angles.size()) != count) {
        qCWarning(lcWindow).noquote()
            << QV_SAID("Only %1 of the %2 images record their angle: the data set's range and image count "
                       "are left as set")
                   .arg(angles.size())
                   .arg(count);
        return;
    }
    const AngleFit fit = fitAngles(angles, parts_.ui.procCtrl->dataSetRangeDeg());
    if (!fit.ok) {
        // Reconstructing at wrong angles would go unnoticed: the load fails.
        qCWarning(lcWindow).noquote()
            << QV_SAID("Loading: the angles of the %1 images cannot be used: %2").arg(count).arg(fit.problem);
        load_.refused << QStringLiteral("(the angles of the loaded frames)");
        return;
    }
    load_.scanFit = fit;
    qCInfo(lcWindow).noquote() << QV_SAID("Angles of the scan: %1; data set range %2, images %3")
                                      .arg(fit.summary(count))
                                      .arg(fit.rangeDeg)
                                      .arg(fit.images);
}

void LoadController::applyScanAngles()
{
    const std::optional<QString> before = std::exchange(load_.originBefore, std::nullopt);
    if (!load_.scanFit)
        return;
    parts_.ui.procCtrl->setDataSetImages(load_.scanFit->images);
    parts_.ui.procCtrl->setDataSetRangeDeg(load_.scanFit->rangeDeg);
    // The data set begins where the scan began (a scan from 90° is no slice turned by 90°), unless the
    // operator typed the origin while it loaded. The shortest exact text: the command's very angle.
    QLineEdit *origin = parts_.ui.procCtrl->ui().AngleOriginDeg;
    if (before && origin->text() == *before) {
        origin->setText(QString::number(load_.scanFit->firstDeg, 'g', QLocale::FloatingPointShortest));
        qCInfo(lcWindow).noquote()
            << QV_SAID("Angle origin %1 degrees: the first recorded angle").arg(origin->text());
    }
    load_.scanFit.reset();
}

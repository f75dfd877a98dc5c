#include "imagedata/ui/selectaimgfile.h"

// Qt
#include <QDebug>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

// Local
#include "config/saidtext.h"
#include "imagedata/imagedatalog.h"
#include "imagedata/imgdata.h"
#include "imagedata/imgdatascanframe.h"
#include "imagedata/imgfiletype.h"
#include "widgets/colorbar.h"
#include "widgets/imgdisp.h"
#include "widgets/imgdispwpv.h"
#include <vector>

SelectAImgFile::SelectAImgFile(QWidget *parent)
    : SelectAFile(parent)
    , display_(new ImgDispWPV)
    , expTime_(new QLineEdit(QStringLiteral("0.05"), this))
    , showImg_(new QPushButton(tr("Show Img"), this))
    , clear_(new QPushButton(tr("Clear"), this))
    , initialExpTime_(expTime_->text())
{
    expTime_->setObjectName(QStringLiteral("ExpTimeLE"));
    expTime_->setToolTip(tr("Exposure time of this image, seconds"));
    expTime_->setMaximumWidth(60);
    expTime_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    showImg_->setObjectName(QStringLiteral("ShowImg"));
    showImg_->setToolTip(tr("Show this image in its tab"));
    auto *label = new QLabel(tr("Exp Time"), this);
    addWidget(label);
    addWidget(expTime_);
    addWidget(showImg_);
    clear_->setObjectName(QStringLiteral("ClearImg"));
    clear_->setToolTip(tr("Let this image go: the slices are not corrected for it"));
    addWidget(clear_);
    display_->hide();
    connect(clear_, &QPushButton::clicked, this, [this] {
        if (!img_ && filePath().isEmpty())
            return;
        clear();
        clearFile();
        display_->imgDisp()->setImage(QImage());
        emit cleared();
    });
    connect(this, &SelectAFile::fileSelected, this, &SelectAImgFile::openSelected);
    connect(showImg_, &QPushButton::clicked, this, [this] {
        display_->show();
        emit showImageRequested();
    });
    connect(display_, &ImgDispWPV::newPosInvY, this, &SelectAImgFile::noticedNewPos);
    // A change of the bar redraws through the bar as the operator set it.
    connect(display_, &ImgDispWCBar::newBar, this, [this] { render(display_->colorBar()->heldScale()); });
}

SelectAImgFile::~SelectAImgFile()
{
    // The display may have been placed in another container (a tab of the main window), which then
    // owns it; otherwise it is ours.
    if (display_ && !display_->parent())
        delete display_;
}

double SelectAImgFile::expTime() const
{
    return expTime_->text().trimmed().toDouble();
}

SaidText SelectAImgFile::scanOrigin(const QString &fileName, Hdf5Scan::Kind kind, int count)
{
    const bool flats = kind == Hdf5Scan::Kind::Flat;
    const QString name = QFileInfo(fileName).fileName();
    if (count == 1)
        return (flats ? QV_SAID("from %1: its flat") : QV_SAID("from %1: its dark")).arg(name);
    return (flats ? QV_SAID("from %1: mean of %2 flats") : QV_SAID("from %1: mean of %2 darks"))
        .arg(name)
        .arg(count);
}

QString SelectAImgFile::extraNameFilter() const
{
    return scanKind_ ? tr("Scan file, its %1 (*.h5 *.hdf5 *.hdf *.nxs)")
                           .arg(*scanKind_ == Hdf5Scan::Kind::Flat ? tr("flats") : tr("darks"))
                     : QString();
}

std::unique_ptr<ImgData> SelectAImgFile::openScanMean(const QString &fileName) const
{
    const Hdf5Scan::Kind kind = *scanKind_;
    const char *what = kind == Hdf5Scan::Kind::Flat ? "I0" : "BG";
    QString error;
    const std::shared_ptr<const Hdf5Scan> scan = Hdf5Scan::open(fileName, error);
    if (!scan) {
        qCWarning(lcImageData).noquote()
            << QV_SAID("%1: scan file refused (%2) : %3").arg(QString::fromLatin1(what), error, fileName);
        return nullptr;
    }
    const int count = scan->count(kind);
    if (count == 0) {
        qCWarning(lcImageData).noquote()
            << (kind == Hdf5Scan::Kind::Flat ? QV_SAID("%1: the scan file has no flats : %2")
                                             : QV_SAID("%1: the scan file has no darks : %2"))
                   .arg(QString::fromLatin1(what), fileName);
        return nullptr;
    }
    std::unique_ptr<ImgData> mean = meanOfFrames(scan, kind, error);
    if (!mean) {
        qCWarning(lcImageData).noquote() << QV_SAID("%1 not taken from the scan (%2) : %3")
                                                .arg(QString::fromLatin1(what), error, fileName);
        return nullptr;
    }
    qCInfo(lcImageData).noquote()
        << QV_SAID("%1 image %2").arg(QString::fromLatin1(what)).arg(scanOrigin(fileName, kind, count));
    return mean;
}

void SelectAImgFile::openSelected(const QString &fileName)
{
    // A scan file stands for its flats or darks; its mean is what the operator chose.
    std::unique_ptr<ImgData> img
        = scanKind_ && isHdf5File(fileName) ? openScanMean(fileName) : openImgData(fileName);
    openFailed_ = !img;
    if (!img) {
        setStatus(false);
        return;
    }
    img_ = std::move(img);
    computed_ = false;
    setStatus(true);
    redraw();
    display_->show();
}

void SelectAImgFile::holdComputed(std::shared_ptr<ImgData> img, const QString &origin, const QString &name)
{
    img_ = std::move(img);
    computed_ = true;
    ui_.FilePath->setText(origin);
    ui_.FilePath->setCursorPosition(0);
    ui_.FilePath->setToolTip(origin);
    ui_.Name->setText(QFileInfo(name).completeBaseName());
    setStatus(true);
    redraw();
}

void SelectAImgFile::redraw()
{
    render(display_->colorBar()->greyScale());
}

void SelectAImgFile::render(GreyScale scale)
{
    if (!img_)
        return;
    const QImage picture = img_->toImage(scale);
    display_->colorBar()->adoptRange(scale.minV, scale.maxV);
    display_->imgDisp()->setImage(picture);
}

bool SelectAImgFile::checkSize(int setWidth, int setHeight)
{
    if (!img_ || setWidth == 0 || (img_->width() == setWidth && img_->height() == setHeight)) {
        // An image that did not fit the raw images before fits these (or there are none): usable
        // again. A file that could not be opened stays marked until another is chosen.
        if (img_ && !openFailed_)
            setStatus(true);
        return true;
    }
    qCWarning(lcImageData).noquote() << QStringLiteral(
        "Image size (%1, %2) differs from the raw images (%3, %4), "
        "not used for the correction :")
                                            .arg(img_->width())
                                            .arg(img_->height())
                                            .arg(setWidth)
                                            .arg(setHeight)
                                     << img_->fileName();
    setStatus(false);
    return false;
}

void SelectAImgFile::noticedNewPos(double x, double y)
{
    if (!img_)
        return;
    const int xi = static_cast<int>(x);
    const int yi = static_cast<int>(y);
    double value = 0.0;
    if (xi >= 0 && yi >= 0 && xi < img_->width() && yi < img_->height()) {
        std::vector<double> row(static_cast<size_t>(img_->width()));
        value = img_->getRow(yi, row.data())[xi];
    }
    display_->setVal(value);
}

void SelectAImgFile::clear()
{
    img_.reset();
    computed_ = false;
    openFailed_ = false;
    expTime_->setText(initialExpTime_);
}

void SelectAImgFile::setExpTime(double seconds)
{
    expTime_->setText(QString::number(seconds, 'g', 6));
}

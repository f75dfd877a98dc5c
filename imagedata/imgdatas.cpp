#include "imagedata/imgdatas.h"

// Qt
#include <QDebug>
#include <QImage>

// Local
#include "display/greyscale.h"
#include "imagedata/imagedatalog.h"
#include "imagedata/imgdata.h"
#include "imagedata/imgfiletype.h"

ImgDatas::ImgDatas(QObject *parent)
    : QObject(parent)
{
}

ImgDatas::~ImgDatas() = default;

const ImgData *ImgDatas::image(int index) const
{
    if (index < 0 || index >= count())
        return nullptr;
    return imgs_[static_cast<size_t>(index)].get();
}

namespace {

std::shared_ptr<const ImgData> openImageIn(const ImgDatas::ImageSlot *slot)
{
    if (!slot || !*slot || !(*slot)->isOpen())
        return nullptr;
    return *slot;
}

} // namespace

std::shared_ptr<const ImgData> ImgDatas::i0() const
{
    return openImageIn(i0Ref_);
}

std::shared_ptr<const ImgData> ImgDatas::bg() const
{
    return openImageIn(bgRef_);
}

bool ImgDatas::fitsSize(const ImgData *img) const
{
    return img && (width_ == 0 || (img->width() == width_ && img->height() == height_));
}

ProjectionSet ImgDatas::projectionSet() const
{
    ProjectionSet set;
    set.width = width_;
    set.height = height_;
    set.images.reserve(imgs_.size());
    set.images.assign(imgs_.cbegin(), imgs_.cend());
    if (fitsSize(i0().get()))
        set.i0 = i0();
    if (fitsSize(bg().get()))
        set.bg = bg();
    return set;
}

bool ImgDatas::drawImage(int index, QImage &target, GreyScale &scale)
{
    if (index < 0 || index >= count())
        return false;
    target = imgs_[static_cast<size_t>(index)]->toImage(scale);
    emit imageUpdated();
    return true;
}

bool ImgDatas::add(const QString &fileName)
{
    std::unique_ptr<ImgData> img = createImgData(checkFileType(fileName));
    if (!img)
        return false;
    img->setReadAll(true);
    img->setFileName(fileName);
    img->setMemoryChecked(true); // the set holds whole images
    if (!img->open()) {
        qCWarning(lcImageData).noquote() << "File is not ready to access" << fileName;
        return false;
    }
    return addImage(std::move(img));
}

bool ImgDatas::addImage(std::unique_ptr<ImgData> img)
{
    if (!img || !img->isOpen())
        return false;
    const bool sizeWasFree = width_ == 0;
    if (sizeWasFree) {
        width_ = img->width();
        height_ = img->height();
    }
    if ((sizeWasFree || width_ == img->width()) && height_ == img->height()) {
        imgs_.push_back(std::move(img));
        return true;
    }
    qCWarning(lcImageData).noquote() << QStringLiteral("Mismatch image size: (%1, %2) != (%3, %4) : ")
                              .arg(width_)
                              .arg(height_)
                              .arg(img->width())
                              .arg(img->height())
            + img->fileName();
    return false;
}

void ImgDatas::clearImgs()
{
    imgs_.clear();
}

void ImgDatas::clear()
{
    clearImgs();
    width_ = height_ = 0;
}

void ImgDatas::startSeries()
{
    previousImgs_ = std::move(imgs_);
    previousWidth_ = width_;
    previousHeight_ = height_;
    imgs_.clear();
    width_ = height_ = 0;
}

bool ImgDatas::endSeries()
{
    const bool loaded = !imgs_.empty();
    if (!loaded) {
        imgs_ = std::move(previousImgs_);
        width_ = previousWidth_;
        height_ = previousHeight_;
    }
    previousImgs_.clear();
    previousWidth_ = previousHeight_ = 0;
    return loaded;
}

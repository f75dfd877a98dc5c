#include "widgets/imgdisp.h"

// Qt
#include <QDebug>
#include <QPainter>

// Local
#include "config/configstore.h"
#include "widgets/chcoord.h"
#include "widgets/dispb.h"
#include "widgets/widgetslog.h"
#include <cmath>

ImgDisp::ImgDisp(QWidget *parent)
    : DispAWLayout(parent)
    , aspectKept_(configValue(QStringLiteral("keep_aspect"), QStringLiteral("1")).toInt() == 1)
    , mouse_(area()->mouse())
    , coord_(area()->coord())
{
    connect(area(), &DispB::drawImage1, this, &ImgDisp::draw);
    connect(area(), &DispB::wheelMoved0, this, &ImgDisp::onWheelMoved);
    connect(area(), &DispB::mouseMoved0, this, &ImgDisp::onMouseMoved);
    connect(area(), &DispB::mousePressed0, this, &ImgDisp::onMousePressed);
    connect(area(), &DispB::mouseReleased0, this, &ImgDisp::onMouseReleased);
}

void ImgDisp::setImage(const QImage &image)
{
    // A view of the whole picture shows the whole of the next one, of whatever size: a sinogram of
    // one projection followed by one of 180 would otherwise show a strip of its first lines. A
    // zoomed view stays. (An empty picture between the two, as while a sinogram is remade, counts not.)
    if (!image.isNull()) {
        if (viewInitialised_ && !shownSize_.isEmpty() && image.size() != shownSize_
            && view_ == QRectF(QPointF(0.0, 0.0), QSizeF(shownSize_))) {
            view_ = QRectF(QPointF(0.0, 0.0), QSizeF(image.size()));
            syncCoord();
        }
        shownSize_ = image.size();
    }
    image_ = image;
    if (image_.isNull())
        area()->update(); // do not leave the old picture on screen
    newImage();
}

void ImgDisp::setView(const QRectF &view)
{
    view_ = view;
    viewInitialised_ = true;
    syncCoord();
    area()->update();
}

QPointF ImgDisp::imagePointAt(const QPointF &areaPos) const
{
    syncCoord();
    return coord_->screenToReal(areaPos);
}

QRectF ImgDisp::pictureRect() const
{
    const QRectF whole(0.0, 0.0, area()->width(), area()->height());
    if (!aspectKept_ || !(view_.width() > 0.0) || !(view_.height() > 0.0) || whole.isEmpty())
        return whole;
    // The largest rectangle of the view's shape that fits, centred.
    const double scale = std::min(whole.width() / view_.width(), whole.height() / view_.height());
    const double w = view_.width() * scale;
    const double h = view_.height() * scale;
    return QRectF((whole.width() - w) / 2.0, (whole.height() - h) / 2.0, w, h);
}

void ImgDisp::setAspectKept(bool kept)
{
    if (kept == aspectKept_)
        return;
    aspectKept_ = kept;
    syncCoord();
    area()->update();
    emit aspectKeptChanged(kept);
}

void ImgDisp::syncCoord() const
{
    coord_->setScreenRect(pictureRect());
    coord_->setRealRect(view_);
}

void ImgDisp::viewChanged()
{
    syncCoord();
    emit newS(view_);
    area()->update();
}

void ImgDisp::newImage()
{
    if (image_.isNull())
        return;
    if (!viewInitialised_) {
        view_ = QRectF(0.0, 0.0, image_.width(), image_.height());
        viewInitialised_ = true;
        viewChanged();
        return;
    }
    area()->update();
}

void ImgDisp::resetScale()
{
    if (image_.isNull())
        return;
    view_ = QRectF(0.0, 0.0, image_.width(), image_.height());
    viewInitialised_ = true;
    syncCoord();
    area()->update();
}

void ImgDisp::onWheelMoved()
{
    const QRectF pic = pictureRect();
    if (!viewInitialised_ || pic.isEmpty() || mouse_->zoomFactor() == 1.0)
        return;
    // Zoom about the cursor: the image point under it stays under it. The view keeps its shape,
    // so the picture rectangle stays where it is.
    const QPointF cursor = mouse_->pos();
    const QPointF at = imagePointAt(cursor);
    const double f = mouse_->zoomFactor();
    const double w = f * view_.width();
    const double h = f * view_.height();
    view_ = QRectF(at.x() - (cursor.x() - pic.x()) / pic.width() * w,
        at.y() - (cursor.y() - pic.y()) / pic.height() * h, w, h);
    viewChanged();
}

void ImgDisp::onMouseMoved()
{
    if (!viewInitialised_)
        return;
    const QPointF cursor = mouse_->pos();
    const QPointF at = imagePointAt(cursor);
    // Rounded down, so that the background just left of or above the picture is not pixel 0.
    emit newPos(static_cast<int>(std::floor(at.x())), static_cast<int>(std::floor(at.y())));

    if (!mouse_->isPressed() || mouse_->button() != MouseC::LeftButton)
        return;
    if (mouse_->modifiers() == Qt::ShiftModifier && selecting_) {
        drag_.setSize(QSizeF(at.x() - drag_.x(), at.y() - drag_.y()));
        area()->update();
    } else if (mouse_->modifiers() == Qt::NoModifier) {
        const QRectF pic = pictureRect();
        if (pic.isEmpty())
            return;
        view_.moveTo(grab_.x() - (cursor.x() - pic.x()) / pic.width() * view_.width(),
            grab_.y() - (cursor.y() - pic.y()) / pic.height() * view_.height());
        viewChanged();
    }
}

void ImgDisp::onMousePressed()
{
    if (!viewInitialised_)
        return;
    const QPointF at = imagePointAt(mouse_->pos());
    if (mouse_->button() == MouseC::LeftButton) {
        grab_ = at;
        selecting_ = true;
        drag_ = QRectF(at, QSizeF(0.0, 0.0));
    } else if (mouse_->button() == MouseC::RightButton && (mouse_->modifiers() & Qt::ShiftModifier)) {
        selection_ = QRectF();
        selectionValid_ = false;
        selecting_ = false;
        area()->update();
    }
}

void ImgDisp::onMouseReleased()
{
    if (!viewInitialised_)
        return;
    const QPointF at = imagePointAt(mouse_->pos());
    const bool left = mouse_->button() == MouseC::LeftButton;
    const bool selected = left && mouse_->modifiers() == Qt::ShiftModifier && selecting_;
    if (selected) {
        selecting_ = false;
        // A drag without extent keeps the previous selection.
        if (drag_.width() != 0.0 && drag_.height() != 0.0) {
            selection_ = drag_.normalized();
            selectionValid_ = true;
        }
        area()->update();
    }
    // A gesture that travelled is a pan (or a drag that was thought better of), never a pick.
    if (mouse_->wasDragged() && !selected)
        return;
    if (left || (mouse_->button() == MouseC::RightButton && mouse_->modifiers() == Qt::NoModifier))
        emit selectedAPoint(at.x(), at.y(), mouse_->mStat());
}

void ImgDisp::draw(QPainter *p)
{
    p->fillRect(QRectF(0.0, 0.0, area()->width(), area()->height()), palette().color(QPalette::Dark));
    if (image_.isNull() || !viewInitialised_)
        return;
    syncCoord();
    p->drawImage(pictureRect(), image_, view_);
    // A plain click also starts a (zero-sized) drag; only a drag with extent is worth showing.
    if (selecting_ && drag_.width() != 0.0 && drag_.height() != 0.0) {
        const QRectF r
            = QRectF(coord_->realToScreen(drag_.topLeft()), coord_->realToScreen(drag_.bottomRight()))
                  .normalized();
        p->setBrush(Qt::NoBrush);
        p->setPen(QPen(Qt::black, 1.0));
        p->drawRect(r);
        p->setPen(QPen(Qt::yellow, 1.0, Qt::DashLine));
        p->drawRect(r);
    }
}

bool ImgDisp::saveImage(const QString &path)
{
    if (image_.isNull())
        return false;
    const QImage visible = image_.copy(static_cast<int>(view_.x()), static_cast<int>(view_.y()),
        static_cast<int>(view_.width()), static_cast<int>(view_.height()));
    if (!visible.save(path)) {
        qCCritical(lcWidgets) << "Can't write image file :" << path;
        return false;
    }
    return true;
}

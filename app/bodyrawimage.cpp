// The main window's raw projection display: picture, value readout, overlays and the slice,
// centre of rotation and regions picked with the mouse.

// Qt
#include <QPainter>

// Local
#include "app/body.h"
#include "ct/ui/ctcalc.h"
#include "ct/ui/ctcalc2ui.h"
#include "ct/ui/procctrl.h"
#include "imagedata/imgdata.h"
#include "imagedata/imgdatas.h"
#include "widgets/chcoord.h"
#include "widgets/colorbar.h"
#include "widgets/dispb.h"
#include "widgets/rawdisp.h"
#include <vector>

void Body::updateRawImage()
{
    drawRawImage(true);
}

void Body::drawRawImage(bool newImage)
{
    ColorBar *bar = rawDisp_->colorBar();
    GreyScale scale = newImage ? bar->greyScale() : bar->heldScale();
    if (!imgDatas_->drawImage(ui_.seekCtrl->value(), rawImage_, scale)) {
        // Nothing (valid) to show: never the picture of a set that is gone.
        rawImage_ = QImage();
        rawDisp_->setImage(rawImage_);
        rawDisp_->clearVal();
        return;
    }
    bar->adoptRange(scale.minV, scale.maxV);
    rawDisp_->setImage(rawImage_);
}

void Body::newPosOnRawImg(double x, double y)
{
    const ImgData *img = imgDatas_->image(ui_.seekCtrl->value());
    const int xi = static_cast<int>(x);
    const int yi = static_cast<int>(y);
    double value = 0.0;
    if (img && xi >= 0 && yi >= 0 && xi < img->width() && yi < img->height()) {
        std::vector<double> row(static_cast<size_t>(img->width()));
        value = img->getRow(yi, row.data())[xi];
    }
    rawDisp_->setVal(value);
}

void Body::draw(QPainter *p)
{
    if (imgDatas_->count() == 0 || !rawDisp_->isViewInitialised())
        return;
    const ChCoord &c = *rawDisp_->coord();
    // Lines run across the picture, not over the background beside it.
    const QRectF pic = rawDisp_->pictureRect();
    const double x0 = pic.left(), x1 = pic.right(), y0 = pic.top(), y1 = pic.bottom();
    const ProcCtrl *proc = ui_.procCtrl;
    const bool vertical = proc->rotAxV();
    p->save();
    p->setClipRect(pic);
    p->setBrush(Qt::NoBrush);

    // The cross-hair at the cursor as the last mouse event left it (repainted on every move).
    const MouseC *mouse = rawDisp_->mouse();
    if (mouse->isInside() && pic.contains(mouse->pos())) {
        const QPointF m = mouse->pos();
        p->setPen(cursorPen_);
        p->drawLine(QPointF(x0, m.y()), QPointF(x1, m.y()));
        p->drawLine(QPointF(m.x(), y0), QPointF(m.x(), y1));
    }
    // Slices run along the image rows with a vertical axis, along the columns otherwise; the centre
    // of rotation is a position across them.
    auto acrossSlices = [&](double v) {
        if (vertical)
            p->drawLine(QPointF(x0, c.realToScreenY(v)), QPointF(x1, c.realToScreenY(v)));
        else
            p->drawLine(QPointF(c.realToScreenX(v), y0), QPointF(c.realToScreenX(v), y1));
    };
    auto alongSlices = [&](double v) {
        if (vertical)
            p->drawLine(QPointF(c.realToScreenX(v), y0), QPointF(c.realToScreenX(v), y1));
        else
            p->drawLine(QPointF(x0, c.realToScreenY(v)), QPointF(x1, c.realToScreenY(v)));
    };
    p->setPen(slicePen_);
    acrossSlices(proc->sliceNo());
    p->setPen(rangePen_);
    acrossSlices(proc->sliceFrom());
    acrossSlices(proc->sliceTo());
    p->setPen(corPen_);
    alongSlices(proc->cor());

    auto screenRect = [&c](const QRectF &r) {
        return QRectF(c.realToScreen(r.topLeft()), c.realToScreen(r.bottomRight())).normalized();
    };
    if (rawDisp_->isSelecting() && rawDisp_->dragRect().width() != 0.0
        && rawDisp_->dragRect().height() != 0.0) {
        p->setPen(drawingPen_);
        p->drawRect(screenRect(rawDisp_->dragRect()));
    } else if (rawDisp_->isSelectionValid()) {
        p->setPen(selectionPen_);
        p->drawRect(screenRect(rawDisp_->selection()));
    }
    p->restore();
}

void Body::selectedAPointInRawImg(double x, double y, MouseC::MStat code)
{
    const bool vertical = ui_.procCtrl->rotAxV();
    switch (code) {
    case MouseC::MStat(0): { // left button
        const int slice = static_cast<int>(vertical ? y : x);
        if (slice != ui_.procCtrl->sliceNo())
            gestures_.record(GeometryChange::ofSlice(ui_.procCtrl->sliceNo()));
        ui_.procCtrl->setSliceNo(slice);
        // Without a viewer a pick has nobody to tell: the link said once that it is not connected.
        if (ui_.SendMsg2Zelmap->isChecked() && link_->link().isConnected())
            link_->loadSlice(slice);
        break;
    }
    case MouseC::MStat(1): // left button with Shift: a finished selection sets the run's geometry
        if (rawDisp_->isSelectionValid()) {
            const ProcCtrl *p = ui_.procCtrl;
            gestures_.record(GeometryChange::ofRange(
                p->sliceFrom(), p->sliceTo(), ctCalc_->calcRegion(), ctCalc_->dispRegion()));
            applySelection(rawDisp_->selection());
        }
        break;
    case MouseC::MStat(8): // right button
        setCorAsPicked(vertical ? x : y);
        break;
    default:
        break;
    }
    rawDisp_->update();
}

void Body::applySelection(const QRectF &sel)
{
    // The slice range runs along the rotation axis; the regions cover the selected stretch across it.
    const bool vertical = ui_.procCtrl->rotAxV();
    const double a = vertical ? sel.x() : sel.y();
    const double extent = vertical ? sel.width() : sel.height();
    const double first = vertical ? sel.y() : sel.x();
    const double length = vertical ? sel.height() : sel.width();
    for (CtPanel *panel : ctPanels()) {
        panel->setCR(a, a, a + extent, a + extent);
        panel->setDR(a, a, a + extent, a + extent);
    }
    ui_.procCtrl->setSliceFrom(static_cast<int>(first));
    ui_.procCtrl->setSliceTo(static_cast<int>(first + length));
}

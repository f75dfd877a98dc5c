// The window's keys, and the undo of what mouse gestures changed in the run's geometry.

// Qt
#include <QDebug>
#include <QKeySequence>
#include <QShortcut>

// Local
#include "app/body.h"
#include "app/windowlog.h"
#include "config/saidtext.h"
#include "ct/ui/ctcalc.h"
#include "ct/ui/procctrl.h"
#include "ct/ui/sinogram.h"
#include "imagedata/imgdatas.h"
#include "widgets/rawdisp.h"
#include "widgets/seekctrl.h"
#include <algorithm>

namespace {

QString keyText(const QKeySequence &key)
{
    return key.toString(QKeySequence::NativeText);
}

} // namespace

void Body::setUpShortcuts()
{
    // Keys of the whole window; a focused text field keeps its own (Ctrl+Z undoes its typing).
    const auto key = [this](const QKeySequence &sequence, auto slot) {
        auto *shortcut = new QShortcut(sequence, this);
        connect(shortcut, &QShortcut::activated, this, slot);
    };
    const QKeySequence calc(Qt::Key_F5);
    const QKeySequence guess(Qt::CTRL | Qt::Key_G);
    const QKeySequence next(Qt::ALT | Qt::Key_Right), previous(Qt::ALT | Qt::Key_Left);
    const QKeySequence up(Qt::ALT | Qt::Key_Up), down(Qt::ALT | Qt::Key_Down);
    const QKeySequence fit(Qt::CTRL | Qt::Key_0);
    const QKeySequence save(QKeySequence::Save), load(QKeySequence::Open), undo(QKeySequence::Undo);
    key(calc, [this] { ui_.CalcCT->click(); });
    key(guess, [this] { sinogram_->ui().GuessCor->click(); });
    key(next, [this] { ui_.seekCtrl->inc(); });
    key(previous, [this] { ui_.seekCtrl->dec(); });
    key(up, [this] { stepSlice(1); });
    key(down, [this] { stepSlice(-1); });
    key(fit, [this] { rawDisp_->resetScale(); });
    key(save, [this] { ui_.SaveSetup->click(); });
    key(load, [this] { ui_.LoadSetup->click(); });
    key(undo, [this] { undoGesture(); });

    ui_.CalcCT->setToolTip(tr("Calculate the slices, or stop the run (%1)").arg(keyText(calc)));
    sinogram_->ui().GuessCor->setToolTip(
        tr("Guess the centre of rotation from two facing projections (%1)").arg(keyText(guess)));
    ui_.seekCtrl->setToolTip(tr("The projection shown (%1 / %2)").arg(keyText(next), keyText(previous)));
    ui_.procCtrl->ui().SliceNo->setToolTip(tr("The slice calculated; a left click on the projection "
                                              "picks it (%1 / %2; %3 undoes a pick)")
                                               .arg(keyText(up), keyText(down), keyText(undo)));
    ui_.procCtrl->ui().Cor->setToolTip(tr("The centre of rotation in pixels; a right click on the "
                                          "projection picks it (%1 undoes a pick)")
                                           .arg(keyText(undo)));
    rawDisp_->setToolTip(tr("Left click: slice; right click: centre of rotation; Shift-drag: slice "
                            "range and regions (%1 undoes them); %2 shows the whole picture")
                             .arg(keyText(undo), keyText(fit)));
    ui_.SaveSetup->setToolTip(tr("Save the settings to a setup file (%1)").arg(keyText(save)));
    ui_.LoadSetup->setToolTip(tr("Load the settings of a setup file (%1)").arg(keyText(load)));
}

void Body::stepSlice(int by)
{
    // Within the slices of the images loaded: the rows along a vertical axis, else the columns.
    const int count = ui_.procCtrl->rotAxV() ? imgDatas_->height() : imgDatas_->width();
    if (count <= 0)
        return;
    ui_.procCtrl->setSliceNo(std::clamp(ui_.procCtrl->sliceNo() + by, 0, count - 1));
    rawDisp_->update();
}

void Body::setCorAsPicked(double cor)
{
    if (cor == ui_.procCtrl->cor())
        return;
    gestures_.record(GeometryChange::ofCor(ui_.procCtrl->cor()));
    ui_.procCtrl->setCor(cor);
    rawDisp_->update();
}

bool Body::undoGesture()
{
    const std::optional<GeometryChange> last = gestures_.takeLast();
    if (!last)
        return false;
    ProcCtrl *p = ui_.procCtrl;
    switch (last->kind) {
    case GeometryChange::Cor:
        p->setCor(last->cor);
        qCInfo(lcWindow).noquote()
            << QV_SAID("Undone: the centre of rotation is %1 again").arg(fieldText(last->cor));
        break;
    case GeometryChange::Slice:
        p->setSliceNo(last->slice);
        qCInfo(lcWindow).noquote() << QV_SAID("Undone: the slice is %1 again").arg(last->slice);
        break;
    case GeometryChange::RangeAndRegions:
        p->setSliceFrom(last->sliceFrom);
        p->setSliceTo(last->sliceTo);
        for (CtPanel *panel : ctPanels()) {
            panel->setCR(last->calc.x0, last->calc.z0, last->calc.x1, last->calc.z1);
            panel->setDR(last->disp.x0, last->disp.z0, last->disp.x1, last->disp.z1);
        }
        rawDisp_->clearSelection(); // the box drawn stood for the geometry undone
        qCInfo(lcWindow).noquote() << QV_SAID("Undone: the slice range is %1 to %2 again, with its regions")
                                          .arg(last->sliceFrom)
                                          .arg(last->sliceTo);
        break;
    }
    rawDisp_->update();
    return true;
}

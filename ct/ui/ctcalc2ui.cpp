#include "ct/ui/ctcalc2ui.h"

// Local
#include "ct/ui/ctcalc2.h"
#include "widgets/colorbar.h"
#include "widgets/imgdisp.h"

CtCalc2Ui::CtCalc2Ui(QWidget *parent)
    : CtPanel(parent)
{
    ui_.StartCalc->hide(); // the workers are started from the main window
    ui_.CalcAtOnce->hide();
    // The bar as the operator set it: a typed bound holds until the next slice.
    connect(ui_.DispCt, &ImgDispWCBar::newBar, this, [this] { emit askResImage(colorBar()->heldScale()); });
}

void CtCalc2Ui::setWorker(CtCalc2 *worker)
{
    worker_ = worker;
    connect(worker, &CtCalc2::beganSlice, this, &CtCalc2Ui::showStartTime);
    connect(worker, &CtCalc2::endedSlice, this, &CtCalc2Ui::showEndTime);
    connect(worker, &CtCalc2::resultReady, this, &CtCalc2Ui::newImage);
    connect(worker, &CtCalc2::sliceFailed, this, &CtPanel::showFailure);
    connect(worker, &CtCalc2::regionInitialised, this, &CtPanel::setCR);
    connect(this, &CtCalc2Ui::askResImage, worker, &CtCalc2::genResImage);
}

void CtCalc2Ui::showStartTime(int slice, const QDateTime &start)
{
    showSliceNo(slice);
    showTimes(start, QDateTime());
}

void CtCalc2Ui::showEndTime(const QDateTime &start, const QDateTime &end)
{
    showTimes(start, end);
}

void CtCalc2Ui::newImage(const QImage &image, const SliceValues &values, int n, const GreyScale &scale)
{
    colorBar()->adoptRange(scale.minV, scale.maxV);
    showResult(image, values, n);
}

bool CtCalc2Ui::saveImage(const QString &fileName)
{
    return ui_.DispCt->saveImage(fileName);
}

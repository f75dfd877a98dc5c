#include "ct/ui/ctcalc2ui.h"

// Local
#include "widgets/colorbar.h"
#include "widgets/imgdisp.h"

CtCalc2Ui::CtCalc2Ui(QWidget *parent)
    : CtPanel(parent)
{
    ui_.StartCalc->hide(); // the workers are started from the main window
    ui_.CalcAtOnce->hide();
    connect(ui_.DispCt, &ImgDispWCBar::newBar, this, &CtCalc2Ui::redraw);
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

void CtCalc2Ui::redraw()
{
    // The bar as the operator set it: a typed bound holds until the next slice.
    const SliceValues values = shownValues();
    if (!values || shownN() < 1)
        return;
    showResult(greyImage(*values, shownN(), shownN(), colorBar()->heldScale()), values, shownN());
}

bool CtCalc2Ui::saveImage(const QString &fileName)
{
    return ui_.DispCt->saveImage(fileName);
}

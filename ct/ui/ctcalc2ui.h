#pragma once

// Local
#include "ct/slicerecon.h"
#include "ct/ui/ctpanel.h"

/// The panel of a calculation worker: shows the slices it is handed (picture, values, times) and
/// keeps the regions every CT panel shares. It never reaches the worker: the window hands each
/// result over on the main thread. A change of its colour bar redraws the shown values through it.
class CtCalc2Ui : public CtPanel
{
    Q_OBJECT
public:
    explicit CtCalc2Ui(QWidget *parent = nullptr);

public slots:
    void showStartTime(int slice, const QDateTime &start);
    void showEndTime(const QDateTime &start, const QDateTime &end);
    /// Shows a slice's picture and values; the bar takes the range its picture was made with.
    void newImage(const QImage &image, const SliceValues &values, int n, const GreyScale &scale);
    bool saveImage(const QString &fileName);

private:
    void redraw();
};

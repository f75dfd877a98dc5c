#pragma once

// Local
#include "widgets/imgdisp.h"

class ColorBar;

/// An image display with its colour bar (`CBar`) on the right.
class ImgDispWCBar : public ImgDisp
{
    Q_OBJECT

public:
    explicit ImgDispWCBar(QWidget *parent = nullptr);

    ColorBar *colorBar() const { return cBar_; }
    /// The image display part; the composite is one itself, so this is the same object.
    ImgDisp *imgDisp() { return this; }

signals:
    /// The bar's window or range changed: regenerate the image through `colorBar()`.
    void newBar();

private:
    ColorBar *cBar_;
};

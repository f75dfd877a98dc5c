#pragma once

// Local
#include "widgets/imgdispwcbar.h"

class QCheckBox;
class QLineEdit;

/// An image display with colour bar and a readout below it: the cursor's image pixel (`PosX`,
/// `PosY`), the value there ("Val:", supplied by the owner, who holds the data), the
/// "Square Pixels" check box (`KeepAspect`) and the "Scale Reset" button (`ResetScale`).
/// \test tst_panels.cpp
class ImgDispWPV : public ImgDispWCBar
{
    Q_OBJECT

public:
    explicit ImgDispWPV(QWidget *parent = nullptr);

signals:
    /// The cursor's image pixel, passed on from `newPos` for owners that take doubles.
    void newPosInvY(double x, double y);

public slots:
    /// Shows the position and passes it on as `newPosInvY`.
    void noticedNewPos(int x, int y);
    /// Shows the value under the cursor.
    void setVal(double v);
    /// Empties the value field (cursor off the data).
    void clearVal();

private:
    QLineEdit *posX_;
    QLineEdit *posY_;
    QLineEdit *val_;
    QCheckBox *keepAspect_;
};

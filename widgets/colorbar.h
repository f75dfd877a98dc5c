#pragma once

// C++
#include <span>

// Local
#include "widgets/dispb.h"
#include "display/greyscale.h"

class QCheckBox;
class QLineEdit;
class QSpacerItem;

/// The grey-scale colour bar: a vertical bar from minV (bottom) to maxV (top) with two handles
/// lo/hi that window the grey ramp, the Min/Max edits and the "Fix" check box that keeps the range
/// when new data arrive. Its `GreyScale` is the one mapping of every picture shown beside it.
/// A window narrower than the range shows the values at its handles.
/// \test tst_panels.cpp
class ColorBar : public DispB
{
    Q_OBJECT

public:
    enum class Handle { None, Lo, Hi };

    explicit ColorBar(QWidget *parent = nullptr);
    ~ColorBar() override;

    /// The mapping, with `fixed` following the check box. Copy it to map on another thread.
    const GreyScale &greyScale() const { return scale_; }
    /// The mapping exactly as the operator has set it (range typed, handles dragged), marked
    /// fixed: owners redraw through it on `newBar`, so that a typed bound holds until the next new
    /// image applies the generator rule again.
    GreyScale heldScale() const;
    double minV() const { return scale_.minV; }
    double maxV() const { return scale_.maxV; }
    double lo() const { return scale_.lo; }
    double hi() const { return scale_.hi; }
    Handle grabbed() const { return grabbed_; }
    bool isFixed() const;
    int level(double v) const { return scale_.level(v); }

    /// Store the value and show it in its edit. No `newBar`: the caller is the one that would
    /// regenerate its images.
    void setMinV(double v);
    void setMaxV(double v);
    /// Takes a data range unless the scale is fixed (what every image generator does).
    void adoptRange(double dataMin, double dataMax);
    /// The generator rule on this bar: adopt the data's range unless fixed, then map.
    QImage makeImage(std::span<const double> values, int width, int height);

    /// The bar's rectangle in widget pixels (above the edits).
    QRect barRect() const;

public slots:
    void setFixColorScale(bool fixed);
    /// Reads the edit; a changed value is announced by `newBar`.
    void minVEdited();
    void maxVEdited();
    void draw1(QPainter *p);

signals:
    /// The window or the range changed by the operator; owners regenerate their images.
    void newBar();

private slots:
    void onPressed();
    void onMoved();
    void onReleased();

private:
    /// The fraction of the bar height at widget row y (1 at the top, 0 at the bottom).
    double fractionAt(int y) const;
    /// The data value at a handle position.
    double valueAt(double handle) const { return scale_.minV + (scale_.maxV - scale_.minV) * handle; }

    GreyScale scale_;
    Handle grabbed_ = Handle::None;
    QLineEdit *minEdit_;
    QLineEdit *maxEdit_;
    QCheckBox *fix_;
    QSpacerItem *barSpace_;
};

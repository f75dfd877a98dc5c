#pragma once

// Qt
#include <QObject>
#include <QRectF>

/// The mapping between a screen rectangle in widget pixels (sx0 … sx1, sy0 … sy1) and a real
/// rectangle in data units (rx0 … rx1, ry0 … ry1); for an image display the data units are image
/// pixels. Either rectangle may run backwards (x1 < x0) to flip an axis.
/// \test tst_imgdisp.cpp
class ChCoord : public QObject
{
    Q_OBJECT

public:
    explicit ChCoord(QObject *parent = nullptr);

    /// Screen rectangle in widget pixels.
    void setScreenRect(double sx0, double sy0, double sx1, double sy1);
    /// Real rectangle in data units.
    void setRealRect(double rx0, double ry0, double rx1, double ry1);
    void setScreenRect(const QRectF &r) { setScreenRect(r.left(), r.top(), r.right(), r.bottom()); }
    void setRealRect(const QRectF &r) { setRealRect(r.left(), r.top(), r.right(), r.bottom()); }

    /// Data units to widget pixels.
    double realToScreenX(double v) const { return sx0_ + (v - rx0_) * (sx1_ - sx0_) / (rx1_ - rx0_); }
    double realToScreenY(double v) const { return sy0_ + (v - ry0_) * (sy1_ - sy0_) / (ry1_ - ry0_); }
    QPointF realToScreen(const QPointF &p) const { return {realToScreenX(p.x()), realToScreenY(p.y())}; }

    /// Widget pixels to data units.
    double screenToRealX(double s) const { return rx0_ + (s - sx0_) * (rx1_ - rx0_) / (sx1_ - sx0_); }
    double screenToRealY(double s) const { return ry0_ + (s - sy0_) * (ry1_ - ry0_) / (sy1_ - sy0_); }
    QPointF screenToReal(const QPointF &p) const { return {screenToRealX(p.x()), screenToRealY(p.y())}; }

    /// Widget pixels to data units, limited to the real rectangle.
    double screenToRealXClamped(double s) const;
    double screenToRealYClamped(double s) const;

    /// Lengths: data units to widget pixels and back (no offsets).
    double realToScreenLengthX(double l) const { return l * (sx1_ - sx0_) / (rx1_ - rx0_); }
    double realToScreenLengthY(double l) const { return l * (sy1_ - sy0_) / (ry1_ - ry0_); }
    double screenToRealLengthX(double l) const { return l * (rx1_ - rx0_) / (sx1_ - sx0_); }
    double screenToRealLengthY(double l) const { return l * (ry1_ - ry0_) / (sy1_ - sy0_); }

    /// Data y to widget pixels with data y growing upward: sy1 − ((v − ry0)·(sy1 − sy0)/(ry1 − ry0) + sy0).
    /// ry0 lands on sy1 − sy0 and ry1 on 0, so with a top margin (sy0 > 0) the plot is drawn
    /// sy0 pixels higher than by `realToScreenY`; plots place their frame accordingly.
    double realToScreenYInv(double v) const
    {
        return sy1_ - ((v - ry0_) * (sy1_ - sy0_) / (ry1_ - ry0_) + sy0_);
    }
    /// The inverse of `realToScreenYInv`.
    double screenToRealYInv(double s) const
    {
        return ry0_ + (sy1_ - sy0_ - s) * (ry1_ - ry0_) / (sy1_ - sy0_);
    }

    double sx0() const { return sx0_; }
    double sx1() const { return sx1_; }
    double sy0() const { return sy0_; }
    double sy1() const { return sy1_; }
    double rx0() const { return rx0_; }
    double rx1() const { return rx1_; }
    double ry0() const { return ry0_; }
    double ry1() const { return ry1_; }

    /// Drawing defaults of graph-style displays.
    struct PlotStyle
    {
        double marginSmall = 20.0; // top and right margin, pixels
        double marginLarge = 25.0; // left and bottom margin, room for axis labels, pixels
        double fraction = 0.85; // part of the free height a curve may use
        double majorTick = 0.1; // tick spacings as fractions of the axis range
        double minorTick = 0.05;
    };
    PlotStyle plotStyle;

private:
    double sx0_ = 0.0;
    double sx1_ = 1.0;
    double sy0_ = 0.0;
    double sy1_ = 1.0;
    double rx0_ = 0.0;
    double rx1_ = 1.0;
    double ry0_ = 0.0;
    double ry1_ = 1.0;
};

#pragma once

// Qt
#include <QColor>
#include <QFont>
#include <QPointF>
#include <QRectF>
#include <QString>

class QPainter;

/// Draws a text at a point, turned by an angle about that point: the settings of rotated axis
/// labels. The alignment says which part of the text's box sits on the point (Qt::AlignLeft puts
/// the text's start there, Qt::AlignRight its end, Qt::AlignTop its top, …); the box is turned
/// with the text.
class DrawText
{
public:
    DrawText() = default;
    DrawText(const QFont &font, const QColor &color, Qt::Alignment alignment, double angleDeg)
        : font_(font)
        , color_(color)
        , alignment_(alignment)
        , angle_(angleDeg)
    {
    }

    void setFont(const QFont &font) { font_ = font; }
    void setColor(const QColor &color) { color_ = color; }
    void setAlignment(Qt::Alignment alignment) { alignment_ = alignment; }
    /// Degrees, clockwise on screen (y grows downward), as QPainter::rotate.
    void setAngle(double angleDeg) { angle_ = angleDeg; }

    /// The text's box before turning, relative to the point.
    QRectF box(const QString &text) const;
    void draw(QPainter *p, const QPointF &at, const QString &text) const;

private:
    QFont font_;
    QColor color_ = Qt::black;
    Qt::Alignment alignment_ = Qt::AlignLeft | Qt::AlignBaseline;
    double angle_ = 0.0;
};

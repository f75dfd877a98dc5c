#include "widgets/drawtext.h"

// Qt
#include <QFontMetricsF>
#include <QPainter>

QRectF DrawText::box(const QString &text) const
{
    const QFontMetricsF fm(font_);
    const double w = fm.horizontalAdvance(text);
    const double h = fm.height();
    double x = 0.0;
    if (alignment_ & Qt::AlignRight)
        x = -w;
    else if (alignment_ & Qt::AlignHCenter)
        x = -w / 2.0;
    double y = -fm.ascent(); // on the baseline unless told otherwise
    if (alignment_ & Qt::AlignTop)
        y = 0.0;
    else if (alignment_ & Qt::AlignBottom)
        y = -h;
    else if (alignment_ & Qt::AlignVCenter)
        y = -h / 2.0;
    return QRectF(x, y, w, h);
}

void DrawText::draw(QPainter *p, const QPointF &at, const QString &text) const
{
    p->save();
    p->translate(at);
    p->rotate(angle_);
    p->setFont(font_);
    p->setPen(color_);
    p->drawText(box(text), Qt::AlignLeft | Qt::AlignTop | Qt::TextDontClip, text);
    p->restore();
}

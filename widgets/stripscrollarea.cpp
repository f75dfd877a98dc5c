#include "widgets/stripscrollarea.h"

// Qt
#include <QScrollBar>

StripScrollArea::StripScrollArea(QWidget *parent)
    : QScrollArea(parent)
{
    setWidgetResizable(true);
    setFrameShape(QFrame::NoFrame);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
}

int StripScrollArea::wholeHeight() const
{
    if (!widget())
        return 2 * frameWidth();
    int h = widget()->sizeHint().height() + 2 * frameWidth();
    if (widget()->minimumSizeHint().width() > viewport()->width())
        h += horizontalScrollBar()->sizeHint().height();
    return h;
}

QSize StripScrollArea::sizeHint() const
{
    const int w
        = widget() ? widget()->sizeHint().width() + 2 * frameWidth() : QScrollArea::sizeHint().width();
    return {w, wholeHeight()};
}

#pragma once

// Qt
#include <QScrollArea>

/// A scroll area that asks for the whole of its content as it is now (a plain scroll area keeps the
/// size its content had when it was set, and never asks for more than 24 lines), with room for the
/// horizontal bar when the content is wider than the area. Its owner caps its height; beyond that
/// cap the content scrolls.
class StripScrollArea : public QScrollArea
{
    Q_OBJECT
public:
    explicit StripScrollArea(QWidget *parent = nullptr);

    QSize sizeHint() const override;
    /// The height that shows the whole content at the area's present width.
    int wholeHeight() const;
};

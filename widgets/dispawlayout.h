#pragma once

// Qt
#include <QFrame>

class DispB;
class QGridLayout;

/// A frame holding one painting area in a grid; composites put their controls beside it
/// (column 1) or below it (row 1).
class DispAWLayout : public QFrame
{
    Q_OBJECT

public:
    explicit DispAWLayout(QWidget *parent = nullptr);

    DispB *area() const { return area_; }

protected:
    QGridLayout *grid() const { return grid_; }

private:
    QGridLayout *grid_;
    DispB *area_;
};

#pragma once

// Local
#include "widgets/dispb.h"

/// A painting area that also reports the cursor entering and leaving it.
class DispA : public DispB
{
    Q_OBJECT

public:
    explicit DispA(QWidget *parent = nullptr);

signals:
    void entered0();
    void left0();

protected:
    void enterEvent(QEnterEvent *e) override;
    void leaveEvent(QEvent *e) override;
};

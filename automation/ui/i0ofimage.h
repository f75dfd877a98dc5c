#pragma once

// Qt
#include <QFrame>

// Local
#include "ui_i0ofimage.h"

/// The I0 value of an image for CT-XAFS work: typed, or to be taken from an XAFS file by the
/// energy in the image's file name. Stored and shown; no calculation reads it.
class I0ofImage : public QFrame
{
    Q_OBJECT
public:
    explicit I0ofImage(QWidget *parent = nullptr);

    void setTitle(const QString &title) { ui_.Title->setText(title); }
    Ui_I0ofImage &ui() { return ui_; }

private:
    Ui_I0ofImage ui_;
};

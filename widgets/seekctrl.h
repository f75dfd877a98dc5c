#pragma once

// Qt
#include <QFrame>

class QLineEdit;
class QSlider;

/// Picks one index of 0 … maximum (an image of a set, a slice): a slider between two arrow
/// buttons and a number field. Every change made by the operator, or by `inc`/`dec`, is announced
/// as `newIndex`; `setValue` and `setMaximum` from the owner are silent.
/// \test tst_panels.cpp
class SeekCtrl : public QFrame
{
    Q_OBJECT

public:
    explicit SeekCtrl(QWidget *parent = nullptr);
    ~SeekCtrl() override;

    int value() const { return value_; }
    int maximum() const;
    /// Clamped to 0 … maximum.
    void setValue(int index);
    /// A maximum below 0 reads as 0; the value is clamped into the new range.
    void setMaximum(int maximum);

signals:
    void newIndex(int index);

public slots:
    void sliderMoved(int position);
    /// Reads the number field (text that is not a number reads as 0).
    void indexChanged();
    void inc();
    void dec();

private:
    /// Clamps, shows and, when the index changed, announces it.
    void take(int index);
    void display(int index);

    QSlider *slider_;
    QLineEdit *index_;
    int value_ = 0;
};

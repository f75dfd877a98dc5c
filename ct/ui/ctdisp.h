#pragma once

// Qt
#include <QFrame>
#include <QImage>
#include <QList>

// Local
#include "ui_ctdisp.h"
#include <vector>

/// The reconstructed slices of a run, in slice order, to step through.
class CtDisp : public QFrame
{
    Q_OBJECT
public:
    explicit CtDisp(QWidget *parent = nullptr);
    ~CtDisp() override;

    int count() const { return static_cast<int>(entries_.size()); }
    int sliceAt(int index) const { return entries_[static_cast<size_t>(index)].slice; }
    Ui_CtDisp &ui() { return ui_; }

public slots:
    void clear();
    /// Adds a copy of the image after every entry of the same or a lower slice, and shows the last entry.
    void addImg(int slice, const QImage &image);
    void showImg(int index);
    /// Shows the result of `slice`, or of the nearest slice there is (the first of equals).
    void showSlice(int slice);
    QList<QImage> getQImages() const;

private:
    struct Entry
    {
        int slice;
        QImage image;
    };
    Ui_CtDisp ui_;
    std::vector<Entry> entries_;
};

#pragma once

// Qt
#include <QColor>
#include <QColorDialog>
#include <QFileDialog>
#include <QFrame>
#include <QPointer>

// Local
#include "ui_slicesctrl.h"
#include "view3d/slicedata.h"
#include "view3d/slicespacing.h"
#include "view3d/vec3.h"
#include "view3d/volumerender.h"

class QPainter;
class QThread;
class SliceDatas;

/// The panel of one slice set of the volume view: file selection (read by a loader on a thread of
/// its own), the value window in data units and in percent of the stack's range, the histogram with
/// its two window markers, frame/volume/section switches, the cross-section slider and direction,
/// colours and opacity.
/// runs on: the main thread (its loader `SliceDatas` on a thread of its own).
/// \test tst_ctview.cpp
class SlicesCtrl : public QFrame
{
    Q_OBJECT
public:
    explicit SlicesCtrl(const QString &dataDir, QWidget *parent = nullptr);
    ~SlicesCtrl() override;

    Ui_SlicesCtrl &ui() { return ui_; }
    /// The loader; it lives on the set's own thread.
    SliceDatas *datas() const { return datas_; }
    /// The stack of the last finished load (null before any and after a clear).
    const SliceStackPtr &stack() const { return stack_; }
    bool hasData() const { return stack_ && stack_->loaded(); }
    /// Where the stack's slices lie along z: by their numbers, or as typed into "Slice spacing".
    const SlicePlacement &placement() const { return placement_; }
    /// The depth of the stack's box in slice pixels (0 without data).
    double depth() const { return hasData() ? placement_.depth : 0.0; }

    /// The set's number n (from 0): the show buttons read "Show Setup n + 1".
    void setNumber(int n);
    void setColors(const QColor &volume, const QColor &section);
    QColor volumeColor() const { return volumeColor_; }
    QColor sectionColor() const { return sectionColor_; }
    Vec3 sectionDir() const { return sectionDir_; }
    /// The opacity typed into "a": a whole number, 0 (invisible) for any other text.
    int opacity() const;
    /// The slider and "Fix Dir." from a linked set, without announcing them.
    void setSliderState(int value, bool fixDir);

    /// How the set is drawn now. Also keeps the value window (thMin, thMax) as the set's window.
    SetLook look();
    double windowMin() const { return windowMin_; }
    double windowMax() const { return windowMax_; }

    QFileDialog *fileDialog() const { return fileDialog_; }
    QFileDialog *runDialog() const { return runDialog_; }
    /// Where the dialogs open next: the folder a run saved its slices in last.
    void setSaveFolder(const QString &dir);
    const QString &dialogDirectory() const { return dialogDir_; }
    QColorDialog *colorDialog() const { return colorDialog_; }

signals:
    void changedSliderStat();
    void paintPImg();

public slots:
    void fixupAlpha();
    void updatedMinThPC();
    void updatedMaxThPC();
    void updatedMinTh();
    void updatedMaxTh();
    void showHide(bool f);
    void selectFiles();
    /// Asks for a run's save folder ("Select Run…").
    void selectRun();
    /// Stacks the selected files of one kind; says what it left out.
    void takeFiles(const QStringList &files);
    /// Stacks the slices a run saved into `dir` and its sub-folders, in slice order.
    void takeRunFolder(const QString &dir);
    void selectVColor();
    void selectSColor();
    void noticedLoadedNewFile(const QString &fname);
    void noticedLoadFilesFinished();
    void datasCleared();
    void drawHist(QPainter *p);
    void mousePressedOnDispH();
    void mouseMovedOnDispH();
    void mouseReleasedOnDispH();
    void initNz(Vec3 nz);
    void newNz(Vec3 nz);

private slots:
    void stackLoaded(SliceStackPtr stack);
    /// Places the stack's slices anew (after a load or a typed spacing) and, with `say`, says how
    /// in the log (the spin box's steps say nothing until the field is left).
    void placeStack(bool say = true);

private:
    double rangeMin() const;
    double rangeMax() const;
    /// Writes a number in general format with 6 significant digits and shows its start.
    static void showNumber(QLineEdit *edit, double v);
    void percentToValue(QLineEdit *percent, QLineEdit *value);
    void valueToPercent(QLineEdit *value, QLineEdit *percent);
    double percentAtPointer() const;
    void selectColor(bool volume);
    void showSwatch(QLabel *swatch, const QColor &color);

    Ui_SlicesCtrl ui_;
    QThread *thread_ = nullptr;
    SliceDatas *datas_ = nullptr;
    SliceStackPtr stack_;
    SlicePlacement placement_;
    std::vector<VolumePlane> planes_;
    QString dialogDir_;
    QPointer<QFileDialog> fileDialog_;
    QPointer<QFileDialog> runDialog_;
    QPointer<QColorDialog> colorDialog_;
    QColor volumeColor_ {0, 127, 127};
    QColor sectionColor_ {127, 0, 0};
    Vec3 sectionDir_ {0.0, 0.0, 1.0};
    int markerInDrag_ = -1; // −1 none, 0 lower, 1 upper
    double windowMin_ = 0.0;
    double windowMax_ = 1.0;
};

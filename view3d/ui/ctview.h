#pragma once

// Qt
#include <QFileDialog>
#include <QFrame>
#include <QImage>
#include <QPointer>
#include <QTimer>

// Local
#include "ui_ctview.h"
#include "view3d/vec3.h"
#include "view3d/viewframe.h"
#include <vector>

class QPainter;
class SlicesCtrl;

/// The volume view: slice sets shown as one maximum-intensity picture of a chosen size that the
/// mouse turns (drag), moves (Shift-drag or right drag) and zooms (wheel), with the boxes of the
/// stacks and their cross-sections; the picture can be saved as a raster image or as SVG.
/// \test tst_ctview.cpp
class CtView : public QFrame
{
    Q_OBJECT
public:
    explicit CtView(const QString &dataDir, QWidget *parent = nullptr);
    ~CtView() override;

    Ui_CtView &ui() { return ui_; }
    const std::vector<SlicesCtrl *> &sets() const { return sets_; }
    const ViewFrame &frame() const { return frame_; }
    const QImage &picture() const { return picture_; }
    /// Lower-cased names of the raster formats pictures can be saved in.
    const QStringList &imageFormats() const { return imageFormats_; }
    QFileDialog *saveDialog() const { return saveDialog_; }
    /// Where the sets' dialogs open: the folder the last run saved its slices in.
    void setSlicesFolder(const QString &dir);
    /// Where the next save dialog opens: the directory of the last picture saved.
    const QString &saveDirectory() const { return saveDir_; }
    /// Largest side of the picture made while the mouse turns or moves the view.
    static constexpr int workingSize = 256;
    /// The picture's size: the fields', or the display's where a field is empty.
    /// Largest side of any picture (a picture of 8192 × 8192 takes 256 MB).
    static constexpr int maxSize = 8192;

signals:
    void initNz(Vec3 nz);
    void newNz(Vec3 nzv);

public slots:
    void addSliceSet();
    void updateNvs(Vec3 rax, double th);
    void changedSliderStat(SlicesCtrl *from);
    void paintPImg();
    void paintPImg0(QPainter &p, int pw, int ph);
    void draw(QPainter *p);
    void mousePressedOnDataDisp();
    void mouseMovedOnDataDisp();
    void mouseReleasedOnDataDisp();
    void wheelMovedOnDataDisp(int step);
    void showSaveImageD();
    void saveImage(const QString &fname);

    int chosenWidth() const;
    int chosenHeight() const;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void render(int pw, int ph, double viewScale);
    void paintScene(QPainter &p, int pw, int ph, const ViewFrame &frame);
    QPointF relativePointer() const;

    Ui_CtView ui_;
    QString dataDir_;
    QString saveDir_;
    QString slicesDir_; // the last run's save folder
    bool nativeDialog_ = false;
    QStringList imageFormats_;
    std::vector<SlicesCtrl *> sets_;
    QImage picture_;
    bool reduced_ = false; // the picture was made at the working size
    bool fitted_ = false; // the frame was fitted to the first data shown
    QTimer *resizeRepaint_ = nullptr; // a display resized repaints once it rests
    ViewFrame frame_;
    QPointF previous_;
    enum DragMode { Rotate = 0, Pan = 1, Idle = 2 } dragMode_ = Idle;
    DragZone zone_ = DragZone::Middle;
    QPointer<QFileDialog> saveDialog_;
};

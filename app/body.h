#pragma once

// Qt
#include <QFrame>
#include <QImage>
#include <QStringList>

// Local
#include "ui_body.h"

class ImgDatas;
class PopDockBase;
class QThread;
class RawDisp;
class Sinogram;

/// The main window: owns every panel, worker and thread, wires them together and carries the
/// operator's road from raw files to reconstructed slices.
class Body : public QFrame
{
    Q_OBJECT
public:
    explicit Body(QWidget *parent = nullptr);
    ~Body() override;

    Ui_Body &ui() { return ui_; }
    RawDisp *rawDisp() const { return rawDisp_; }
    Sinogram *sinogram() const { return sinogram_; }
    ImgDatas *imageSet() const { return imgDatas_; }
    /// The window's tab containers, in tab order.
    PopDockBase *tabContainer(const QString &tabName) const;
    bool isLoading() const { return loading_; }

signals:
    void askAddAnImg(const QString &fileName);
    void askLoadNextDataFile();
    void noticeFinishedLoadDataFiles();
    void finishing();
    void finishedLoadingCTFiles();
    void callBatchLoad(const QString &fileName);
    void callBatchExec();

public slots:
    // The queued loading loop: one file per pass of the event loop.
    void dataFilesSelected(const QStringList &files, bool newSeries);
    void loadNextDataFile();
    void finishedLoadDataFiles();
    // The raw image.
    void newPosOnRawImg(double x, double y);
    void updateRawImage();
    /// Hands a batch file to the batch interpreter.
    void batchLoad(const QString &fileName);
    /// Starts the loaded batch.
    void batchExec();

protected:
    void closeEvent(QCloseEvent *event) override;

private slots:
    void i0OrBgSelected();

private:
    void buildTabs();
    void connectAll();
    void applyGeometryDefaults();
    void checkI0BgSizes();

    Ui_Body ui_;
    RawDisp *rawDisp_ = nullptr;
    Sinogram *sinogram_ = nullptr;
    ImgDatas *imgDatas_ = nullptr;
    QThread *imageSetThread_ = nullptr;
    QImage rawImage_;

    // Take the default from the next loaded set: slice range end, slice number, centre of rotation,
    // regions.
    bool applyDefaultSliceTo_ = true;
    bool applyDefaultSliceNo_ = true;
    bool applyDefaultCor_ = true;
    bool applyDefaultRegions_ = true;

    QStringList pendingFiles_;
    bool loading_ = false;
};

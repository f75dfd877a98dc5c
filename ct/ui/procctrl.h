#pragma once

// Qt
#include <QFrame>

// Local
#include "ct/runparams.h"
#include "ct/sinogramgen.h"
#include "ct/stripeparams.h"
#include "ui_procctrl.h"

class QAbstractButton;

/// The processing parameters: slice, centre of rotation, axis orientation, angles, partial data
/// set, threads, slice range and two recorded centres of rotation. Every change is announced;
/// values set by commands through the plain setters take effect at the next use.
class ProcCtrl : public QFrame
{
    Q_OBJECT
public:
    explicit ProcCtrl(QWidget *parent = nullptr);
    ~ProcCtrl() override;

    bool rotAxV() const { return rotAxV_; }
    int sliceNo() const { return sliceNo_; }
    double cor() const { return cor_; }
    int sliceFrom() const;
    int sliceTo() const;
    int sliceStep() const;
    double angleOriginDeg() const;
    double dataSetRangeDeg() const;
    int dataSetImages() const;
    int dataSetUsingImages() const;
    int dataSetStartImageNo() const;
    bool usePartialDataSet() const;
    bool autoExec() const;
    int threads() const;
    bool singlePrecision() const;
    int recSlice1() const { return recSlice1_; }
    double recCor1() const { return recCor1_; }
    int recSlice2() const { return recSlice2_; }
    double recCor2() const { return recCor2_; }
    /// "Use Recorded CoRs": a run puts each slice at its centre on the line through the records.
    bool useRecordedCor() const;
    void setUseRecordedCor(bool on);
    /// How many slices "Guess along range" guesses at.
    int guessLineSlices() const;
    /// "Offset axis (360°)": slices stitched from the projections facing each other, the CoR field
    /// the axis; with "Auto" the axis is searched in the data before each run.
    bool offsetAxis() const;
    bool offsetAxisAuto() const;
    /// Checks or unchecks them; a real change announces `offsetAxisUpdated`.
    void setOffsetAxis(bool on);
    void setOffsetAxisAuto(bool on);
    /// The line beside them: where the axis lies (empty when the offset axis is off).
    void showOffsetAxisInfo(const QString &text);

    /// The run snapshot (the save-data window keeps its defaults; the main window fills it).
    RunParams runParams() const;
    /// The sinogram of the current slice, with the partial-data-set fields as they stand now.
    SinogramRequest sinogramRequest() const;
    /// The stripes to take out of the sinograms ("Ring Removal" and its parameters; off when unchecked).
    StripeParams stripeParams() const;
    /// Sets "Ring Removal" and its fields (a method of Off unchecks it); announces a change once.
    void setStripeParams(const StripeParams &params);

    /// The thread spin box allows 1 … n; the label beside it reads "/n".
    void setMaxThreads(int n);
    void setThreads(int n);
    void setSinglePrecision(bool on);
    void setAutoExec(bool on);
    /// Selects "V" (true) or "H"; emits `rotAxUpdated` when that changes the orientation.
    void setRotAxV(bool vertical);

    Ui_ProcCtrl &ui() { return ui_; }

signals:
    void usePartialDataSetUpdated();
    void autoExecUpdated();
    void rotAxUpdated();
    void sliceNoUpdated();
    void corUpdated();
    void angleOriginUpdated();
    void dataSetRangeUpdated();
    void dataSetUsingImagesUpdated();
    void dataSetStartImageNoUpdated();
    /// "Guess along range" was clicked.
    void guessCorLineRequested();
    void ringRemovalUpdated();
    /// "Offset axis (360°)" or its "Auto" changed.
    void offsetAxisUpdated();

public slots:
    void showPartial();
    void recordCoR();
    void sliceNoEditingFinished();
    void corEditingFinished();
    void rotAxSelectionChanged(QAbstractButton *button);
    void clearRecordedCoR();
    /// Records a slice and centre-of-rotation pair as record 1 or 2 (a negative slice: none).
    void setRecordedCoR(int record, int slice, double cor);
    void setCor(double cor);
    void setSliceNo(int slice);
    void setSliceFrom(int slice);
    void setSliceTo(int slice);
    void setSliceStep(int step);
    void setAngleOriginDeg(double deg);
    void setDataSetImages(int images);
    void setDataSetRangeDeg(double deg);
    void setUsePartialDataSet(bool on);
    void setDataSetUsingImages(int images);
    void setDataSetStartImageNo(int image);

private:
    void showRecords();
    void ringRemovalEdited();

    Ui_ProcCtrl ui_;
    bool rotAxV_ = false;
    int sliceNo_ = 0;
    double cor_ = 0.0;
    int recSlice1_ = -1;
    double recCor1_ = 0.0;
    int recSlice2_ = -1;
    double recCor2_ = 0.0;
    StripeParams stripes_; // as last announced
    bool settingStripes_ = false;
};

/// Text fields hold numbers: an integer that does not parse (or does not fit 32 bits) reads as 0,
/// likewise a real; reals are written with 6 significant digits.
int fieldInt(const QString &text);
double fieldDouble(const QString &text);
QString fieldText(double value);

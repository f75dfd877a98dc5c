#pragma once

// Qt
#include <QFrame>

// Local
#include "config/threadedjob.h"
#include "ct/corguessjob.h"
#include "ct/corsearch.h"
#include "ct/sinogramdata.h"
#include "ct/sinogramgen.h"
#include "ct/sinogramviews.h"
#include "ui_sinogram.h"
#include <functional>
#include <memory>
#include <optional>

class ImgDatas;
class ProcCtrl;

/// The sinogram panel: builds the sinogram of the processing panel's slice on the grid centred on
/// the centre of rotation, shows it (the direct view or the resampled 360-degree view), optionally
/// its 2D Fourier transform, and guesses the centre of rotation from two facing projections.
/// runs on: the main thread ("Guess CoR" computes on a thread of its own, see `startGuessCor`).
class Sinogram : public QFrame
{
    Q_OBJECT
public:
    explicit Sinogram(QWidget *parent = nullptr);
    ~Sinogram() override;

    void setProcCtrl(ProcCtrl *procCtrl);
    void setImageSet(const ImgDatas *images) { images_ = images; }
    /// The length of the slice lines of the image set (0 without one).
    int lineLength(bool rowLines) const;
    const SinogramData &data() const { return data_; }
    /// The panel's own sinogram, for the single-thread calculator to fill.
    SinogramData &dataRef() { return data_; }
    /// What the last generation of the panel's own sinogram did.
    SinogramStatus lastStatus() const { return lastStatus_; }
    /// What ring removal took out of the panel's own sinogram (its attenuation before less after, row
    /// after row, like `data().att`); empty while ring removal is off.
    const std::vector<double> &removed() const { return removed_; }
    Ui_Sinogram &ui() { return ui_; }
    /// The search whose centre "Guess CoR" puts into the CoR field when the two agree (the mirror
    /// search by default): the method box of the page.
    void setCorMethod(CorMethod method);
    CorMethod corMethod() const;
    /// Takes, when a guess starts (main thread), what deciding between the two searches needs, and
    /// returns the decision, which runs with the guess; without one, the asked method's centre.
    using CorChooser = std::function<CorDecision()>;
    void setCorChooser(CorChooser chooser) { chooser_ = std::move(chooser); }
    /// What the last "Guess CoR" found.
    const CorGuesses &lastGuesses() const { return guesses_; }
    /// What the last "Guess CoR" took, and why.
    const CorChoice &lastChoice() const { return choice_; }

signals:
    /// The operator took a centre of a search (a result button), or a guess set one.
    void corGuessTaken(double cor);
    /// A guess started by `startGuessCor` has ended: `ok` when it set the centre of rotation.
    void guessFinished(bool ok);

public slots:
    void newPos(double x, double y);
    void corUpdated();
    void sliceNoUpdated();
    void rotAxUpdated();
    void usePartialDataSetUpdated();
    void dataSetUsingImagesUpdated();
    void dataSetStartImageNoUpdated();
    void angleOriginUpdated();
    void dataSetRangeUpdated();
    void corEditingFinished();
    /// Both searches on the current slice, each shown on its result button (which takes it), with
    /// their warnings (also in the log); the CoR field takes the centre the chooser picks. False, the
    /// field unchanged, when none was picked. Computes on the calling thread (a setup line, a test).
    bool guessCor();
    /// The same on a thread of its own ("Guess CoR", Ctrl+G, a batch line that waits): false when
    /// nothing is loaded or a guess is under way; else `guessFinished` says how it ended. A guess
    /// called off, or whose images were replaced meanwhile, takes nothing.
    bool startGuessCor();
    /// Calls the guess under way off: it stops after the step in hand (a search or a trial slice).
    void stopGuessCor();
    bool isGuessing() const { return guess_ != nullptr; }
    /// Calls a guess under way off and waits for its thread (the window closing).
    void waitForGuess();
    /// Fills `target` with the sinogram of (rowLines, cor, slice) and the partial-data-set fields as
    /// they stand now; reports whether a new sinogram was made.
    SinogramStatus genSinogram0(SinogramData &target, bool rowLines, double cor, int slice);
    /// Why `genSinogram0` with these arguments made no sinogram (empty when it made one).
    QString problem(SinogramStatus status, bool rowLines, double cor, int slice) const;
    void genSinogram();
    void genImage();
    void genImage1();
    void genImage2();
    void genSgmImage();
    void genFouSImage();
    void setGenFouS(bool on);

private:
    void showView(ViewValues view);
    /// With ring removal on, the pictures show the attenuation sinogram with its stripes taken out
    /// (the raw counts keep the detector's own stripes, which the I0 image evens out), or with
    /// "Removed Stripes" checked what was taken out.
    bool showsAttenuation() const;
    bool showsRemoved() const;
    /// The attenuation picture: of the sinogram, or of what ring removal took out of it.
    ViewValues attenuationPicture(int n180, int lineLength) const;
    SinogramRequest request(bool rowLines, double cor, int slice) const;
    /// What a guess reads from the panels; none without images.
    std::optional<CorGuessJob> guessJob() const;
    /// Shows a guess's outcome and sets the centre it chose; false when it chose none.
    bool showGuess(const CorGuessJob &job, const CorGuessOutcome &outcome);
    /// The same with the offset axis on: the axis searched at the job's slice.
    bool showOffsetAxis(const CorGuessJob &job, const CorGuessOutcome &outcome);
    void guessEnded();
    void reportProblem();
    /// The sinogram picture again through the bar as the operator set it (its `newBar`).
    void redrawView();
    /// The Fourier sinogram: through its bar's generator rule, or as the operator set the bar.
    void drawFouS(bool heldBar);
    /// A result button: the CoR field takes that search's centre.
    void takeGuess(CorMethod method);

    Ui_Sinogram ui_;
    ProcCtrl *procCtrl_ = nullptr;
    const ImgDatas *images_ = nullptr;
    SinogramData data_;
    std::vector<double> removed_; // what ring removal took out of data_.att
    SinogramStatus lastStatus_ = SinogramStatus::NoProjections;
    ViewValues shown_; // the values behind the sinogram picture, for the readout
    QString lastProblem_; // said once until the parameters give a sinogram again
    QString pendingProblem_;
    bool problemQueued_ = false;
    CorGuesses guesses_;
    CorChoice choice_;
    CorChooser chooser_;
    using GuessRun = ThreadedJob<CorGuessJob, CorGuessOutcome>;
    std::unique_ptr<GuessRun> guess_; // a guess under way on its own thread
};

// "Guess CoR" of the sinogram page: the job taken from the panels, run in place or on a thread of
// its own, and its outcome shown.
#include "ct/ui/sinogram.h"

// Local
#include "config/saidtext.h"
#include "ct/corguessjob.h"
#include "ct/ctlog.h"
#include "ct/offsetaxisplan.h"
#include "ct/ui/procctrl.h"
#include "imagedata/imgdatas.h"
#include "widgets/childedits.h"
#include "widgets/numberfield.h"

namespace {

// The window shows a method's name translated; standard error keeps it English.
SaidText methodSaid(CorMethod m)
{
    return m == CorMethod::Mirror ? QV_SAID_IN("Sinogram", "mirror") : QV_SAID_IN("Sinogram", "Fourier");
}

QString methodText(CorMethod m)
{
    return methodSaid(m).shown();
}

QString centreText(const std::optional<CorSearchResult> &r)
{
    return r ? QString::number(r->cor, 'f', 2) : QStringLiteral("-");
}

bool sameImages(const ProjectionSet &a, const ProjectionSet &b)
{
    return a.images == b.images && a.i0 == b.i0 && a.bg == b.bg;
}

} // namespace

Sinogram::~Sinogram()
{
    waitForGuess();
    detachChildEdits(this, this);
}

void Sinogram::takeGuess(CorMethod method)
{
    const std::optional<CorSearchResult> &r = guesses_.of(method);
    if (!procCtrl_ || !r)
        return;
    procCtrl_->setCor(r->cor);
    qCInfo(lcCt).noquote() << QV_SAID("Guess CoR: the %1 centre %2 is taken")
                                  .arg(methodSaid(method))
                                  .arg(QString::number(r->cor, 'f', 2));
    emit corGuessTaken(r->cor);
}

std::optional<CorGuessJob> Sinogram::guessJob() const
{
    if (!procCtrl_ || !images_ || images_->count() == 0)
        return std::nullopt;
    CorGuessJob job;
    job.set = images_->projectionSet();
    job.offsetAxis = procCtrl_->offsetAxis();
    if (job.offsetAxis) {
        job.rowLines = procCtrl_->rotAxV();
        job.slice = procCtrl_->sliceNo();
        job.offsetProblem = offsetAxisRunProblem(procCtrl_->dataSetRangeDeg(), false);
        return job;
    }
    job.request = procCtrl_->sinogramRequest();
    job.rangeDeg = procCtrl_->dataSetRangeDeg();
    job.start = procCtrl_->cor();
    job.guessParam = fieldDouble(ui_.GuessParam->text());
    job.asked = corMethod();
    if (chooser_)
        job.decide = chooser_();
    return job;
}

bool Sinogram::guessCor()
{
    if (guess_) {
        qCWarning(lcCt).noquote() << QV_SAID("Guess CoR: a guess is under way");
        return false;
    }
    const std::optional<CorGuessJob> job = guessJob();
    return job && showGuess(*job, job->run());
}

bool Sinogram::startGuessCor()
{
    if (guess_) {
        qCWarning(lcCt).noquote() << QV_SAID("Guess CoR: a guess is under way");
        return false;
    }
    std::optional<CorGuessJob> job = guessJob();
    if (!job)
        return false;
    guess_ = std::make_unique<GuessRun>(std::move(*job));
    ui_.GuessCor->setEnabled(false);
    ui_.GuessResult->setText(tr("guessing…"));
    ui_.GuessResult->setStyleSheet(QString());
    guess_->start(QStringLiteral("guess CoR"), this, &Sinogram::guessEnded);
    return true;
}

void Sinogram::stopGuessCor()
{
    if (guess_)
        guess_->stop();
}

void Sinogram::guessEnded()
{
    if (!guess_)
        return;
    const std::unique_ptr<GuessRun> run = std::move(guess_);
    ui_.GuessCor->setEnabled(true);
    bool ok = false;
    // A guess called off, or made on images since replaced, is not taken.
    if (run->calledOff() || run->result().calledOff) {
        ui_.GuessResult->setText(tr("called off"));
        qCWarning(lcCt).noquote() << QV_SAID("Guess CoR: called off; the centre of rotation stays");
    } else if (!images_ || !sameImages(run->job().set, images_->projectionSet())) {
        ui_.GuessResult->setText(tr("none taken"));
        qCWarning(lcCt).noquote() << QV_SAID("Guess CoR: the images changed while it ran; nothing is taken");
    } else {
        ok = showGuess(run->job(), run->result());
    }
    emit guessFinished(ok);
}

void Sinogram::waitForGuess()
{
    guess_.reset(); // called off, its thread waited for
}

bool Sinogram::showGuess(const CorGuessJob &job, const CorGuessOutcome &out)
{
    if (job.offsetAxis)
        return showOffsetAxis(job, out);
    guesses_ = out.guesses;
    choice_ = out.choice;
    ui_.TakeMirror->setText(tr("Mirror %1").arg(centreText(guesses_.mirror)));
    ui_.TakeFourier->setText(tr("Fourier %1").arg(centreText(guesses_.fourier)));
    ui_.TakeMirror->setEnabled(guesses_.mirror.has_value());
    ui_.TakeFourier->setEnabled(guesses_.fourier.has_value());
    QList<SaidText> warnings;
    for (CorMethod m : {CorMethod::Mirror, CorMethod::Fourier}) {
        if (!guesses_.of(m))
            warnings << QV_SAID("no %1 centre of rotation: %2")
                            .arg(methodSaid(m))
                            .arg(m == CorMethod::Mirror ? guesses_.mirrorProblem : guesses_.fourierProblem);
    }
    for (const QString &w : corGuessWarnings(guesses_))
        warnings << SaidText::plain(w);
    // The centre taken is the one the page marks; the other stays a click away.
    const QString name = methodText(choice_.method);
    ui_.GuessResult->setText(choice_.cor
            ? (choice_.compared ? tr("%1 taken: its slice is sharper").arg(name) : tr("%1 taken").arg(name))
            : tr("none taken"));
    QStringList tip;
    for (const SaidText &w : std::as_const(warnings))
        tip << w.shown();
    if (!choice_.reason.isEmpty())
        tip << choice_.reason;
    // Warnings stay on the result until the next guess.
    ui_.GuessResult->setStyleSheet(
        warnings.isEmpty() ? QString() : QStringLiteral("background-color: rgb(255, 255, 128);"));
    ui_.GuessResult->setToolTip(tip.join(u'\n'));
    for (const SaidText &w : std::as_const(warnings))
        qCWarning(lcCt).noquote() << QV_SAID("Guess CoR: %1").arg(w);
    if (!choice_.reason.isEmpty())
        qCWarning(lcCt).noquote() << QV_SAID("Guess CoR: %1").arg(choice_.reason);
    if (!choice_.cor)
        return false;
    qCInfo(lcCt).noquote() << QV_SAID("Guess CoR: mirror %1, Fourier %2; the %3 centre is used")
                                  .arg(centreText(guesses_.mirror), centreText(guesses_.fourier))
                                  .arg(methodSaid(choice_.method));
    procCtrl_->setCor(*choice_.cor);
    emit corGuessTaken(*choice_.cor);
    return true;
}

bool Sinogram::showOffsetAxis(const CorGuessJob &job, const CorGuessOutcome &out)
{
    guesses_ = CorGuesses();
    const std::optional<OffsetAxisGuess> &guess = out.offset;
    if (!guess) {
        ui_.GuessResult->setText(tr("no offset axis"));
        ui_.GuessResult->setStyleSheet(QStringLiteral("background-color: rgb(255, 255, 128);"));
        ui_.GuessResult->setToolTip(out.offsetProblem);
        qCWarning(lcCt).noquote() << "Guess CoR: no offset axis:" << out.offsetProblem;
        return false;
    }
    const int L = ::lineLength(job.set, job.rowLines);
    ui_.GuessResult->setText(tr("axis %1, overlap %2 px").arg(guess->cor, 0, 'f', 2).arg(guess->overlap));
    ui_.GuessResult->setStyleSheet(QString());
    ui_.GuessResult->setToolTip(offsetAxisText(guess->cor, L));
    qCInfo(lcCt).noquote() << "Guess CoR:" << offsetAxisText(guess->cor, L);
    procCtrl_->setCor(guess->cor);
    return true;
}

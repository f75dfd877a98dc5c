#include "widgets/progressline.h"

// Qt
#include <QRegularExpression>

// Local
#include "widgets/statestyles.h"

// C++
#include <algorithm>

ProgressLine::ProgressLine(QWidget *parent)
    : QProgressBar(parent)
{
    setObjectName(QStringLiteral("ProgressLine"));
    setRange(0, 1);
    setValue(0);
    setTextVisible(true);
    setFormat(QString());
}

void ProgressLine::begin(const QString &what, int total)
{
    what_ = what;
    active_ = true;
    if (failed_) {
        failed_ = false;
        setStyleSheet(QString());
    }
    clock_.start();
    timeLeft_.start(total, 0);
    // An empty job still shows a bar that is full at its end, not a busy indicator.
    setRange(0, std::max(1, total));
    setValue(0);
    showText(QString());
}

void ProgressLine::advance(int done)
{
    if (!active_)
        return;
    timeLeft_.setDone(done, clock_.elapsed());
    setValue(static_cast<int>(timeLeft_.done()));
    const QString left = TimeLeft::text(timeLeft_.secondsLeft());
    showText(left.isEmpty() ? QString() : tr("%1 left").arg(left));
}

void ProgressLine::end(const QString &state)
{
    if (!active_)
        return;
    active_ = false;
    timeLeft_.setDone(timeLeft_.done(), clock_.elapsed());
    showText(state);
}

void ProgressLine::finish()
{
    if (!active_)
        return;
    advance(static_cast<int>(timeLeft_.total()));
    setValue(maximum());
    end(tr("done"));
}

void ProgressLine::fail(const QString &state)
{
    if (!active_)
        return;
    end(state);
    failed_ = true;
    // The text on the failure colour: a failed job never looks like a finished one.
    setStyleSheet(
        QStringLiteral("QProgressBar { %1 } QProgressBar::chunk { background-color: rgb(224, 64, 64); }")
            .arg(ButtonStyle::failed));
}

void ProgressLine::showText(const QString &tail)
{
    QString text = QStringLiteral("%1 %2 / %3").arg(what_).arg(timeLeft_.done()).arg(timeLeft_.total());
    if (!tail.isEmpty())
        text += QStringLiteral(" · ") + tail;
    // The bar's format replaces %p, %v and %m; a zero-width space keeps such a pair in a name literal.
    static const QRegularExpression placeholder(QStringLiteral("%(?=[pvm])"));
    setFormat(text.replace(placeholder, QStringLiteral("%\u200B")));
}

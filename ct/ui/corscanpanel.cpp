#include "ct/ui/corscanpanel.h"

// Qt
#include <QKeyEvent>
#include <QScrollBar>

// Local
#include "ct/corscanfiles.h"
#include "ct/ui/procctrl.h"
#include "widgets/childedits.h"
#include "widgets/colorbar.h"
#include "widgets/dispb.h"
#include "widgets/imgdispwpv.h"
#include <algorithm>

namespace {

constexpr int thumbnailSize = 128;

} // namespace

CorScanPanel::CorScanPanel(QWidget *parent)
    : QFrame(parent)
{
    ui_.setupUi(this);
    QListWidget *list = ui_.Trials;
    list->setViewMode(QListView::IconMode);
    list->setFlow(QListView::LeftToRight);
    list->setWrapping(false);
    list->setMovement(QListView::Static);
    list->setIconSize(QSize(thumbnailSize, thumbnailSize));
    list->setSpacing(4);
    list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    formReady_ = true;
    fitTrialStrip();
    ui_.TrialView->setMinimumSize(200, 200);
    setFocusPolicy(Qt::StrongFocus);

    // The wheel over the picture steps through the trials instead of zooming.
    DispB *area = ui_.TrialView->area();
    disconnect(area, &DispB::wheelMoved0, ui_.TrialView, &ImgDisp::onWheelMoved);
    connect(area, &DispB::wheelMoved0, this, [this](int steps) { step(-steps); });
    connect(ui_.TrialView, &ImgDisp::selectedAPoint, this, [this](double, double, MouseC::MStat stat) {
        if (stat == MouseC::Left)
            takeCurrent();
    });
    connect(ui_.TrialView, &ImgDispWPV::newPosInvY, this, &CorScanPanel::showValue);
    connect(ui_.TrialView, &ImgDispWCBar::newBar, this, &CorScanPanel::redraw);
    connect(list, &QListWidget::currentRowChanged, this, &CorScanPanel::showCurrent);
    connect(list, &QListWidget::itemActivated, this, [this] { takeCurrent(); });
    connect(ui_.StartScan, &QPushButton::clicked, this, &CorScanPanel::scanClicked);
}

CorScanPanel::~CorScanPanel()
{
    detachChildEdits(this, this);
}

std::optional<double> CorScanPanel::typedFrom() const
{
    if (ui_.ScanFrom->text().trimmed().isEmpty())
        return std::nullopt;
    return fieldDouble(ui_.ScanFrom->text());
}

std::optional<double> CorScanPanel::typedTo() const
{
    if (ui_.ScanTo->text().trimmed().isEmpty())
        return std::nullopt;
    return fieldDouble(ui_.ScanTo->text());
}

double CorScanPanel::typedStep() const
{
    return fieldDouble(ui_.ScanStep->text());
}

void CorScanPanel::setRange(double from, double to, double step)
{
    ui_.ScanFrom->setText(fieldText(from));
    ui_.ScanTo->setText(fieldText(to));
    ui_.ScanStep->setText(fieldText(step));
}

void CorScanPanel::begin(const std::vector<double> &centres, const CorScoreSetup &score)
{
    score_ = score;
    best_ = -1;
    rangeTaken_ = false;
    trials_.clear();
    ui_.Trials->clear();
    for (double c : centres) {
        CorTrial t;
        t.cor = c;
        trials_.push_back(t);
        auto *item = new QListWidgetItem(ui_.Trials);
        item->setSizeHint(trialItemSize());
        item->setTextAlignment(Qt::AlignHCenter | Qt::AlignTop);
        updateItem(static_cast<int>(trials_.size()) - 1);
    }
    ui_.TrialView->imgDisp()->setImage(QImage());
}

QSize CorScanPanel::trialItemSize() const
{
    // The best trial's label is bold, two lines: its centre and "best", then its score.
    QFont bold = font();
    bold.setBold(true);
    const QFontMetrics m(bold);
    const int textWidth = std::max(m.horizontalAdvance(tr("%1 best").arg(QStringLiteral("-0000.00"))),
        m.horizontalAdvance(QStringLiteral("0.0000")));
    return QSize(std::max(thumbnailSize, textWidth) + 12, thumbnailSize + 2 * m.lineSpacing() + 8);
}

void CorScanPanel::fitTrialStrip()
{
    // The strip holds one row of trials whole above its scroll bar.
    QListWidget *list = ui_.Trials;
    const QSize item = trialItemSize();
    for (int i = 0; i < list->count(); ++i)
        list->item(i)->setSizeHint(item);
    const int scrollBar = list->horizontalScrollBar()->sizeHint().height();
    list->setFixedHeight(item.height() + 2 * list->spacing() + 2 * list->frameWidth() + scrollBar);
}

void CorScanPanel::changeEvent(QEvent *event)
{
    QFrame::changeEvent(event);
    if (formReady_ && (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange))
        fitTrialStrip();
}

void CorScanPanel::addTrial(int index, const CorTrial &trial)
{
    if (index < 0 || index >= count())
        return;
    trials_[static_cast<size_t>(index)] = trial;
    if (!rangeTaken_ && trial.reconstructed) {
        // Every picture through the first trial's range until the best one is known.
        const GreyScale range = corScanScale(trial, score_);
        ui_.TrialView->colorBar()->adoptRange(range.minV, range.maxV);
        rangeTaken_ = true;
    }
    updateItem(index);
    if (current() < 0)
        ui_.Trials->setCurrentRow(index);
    else if (index == current())
        showCurrent();
}

void CorScanPanel::finish(int best)
{
    best_ = best >= 0 && best < count() ? best : -1;
    if (best_ >= 0) {
        const GreyScale range = corScanScale(trials_[static_cast<size_t>(best_)], score_);
        ui_.TrialView->colorBar()->adoptRange(range.minV, range.maxV);
    }
    for (int i = 0; i < count(); ++i)
        updateItem(i);
    if (best_ >= 0) {
        ui_.Trials->setCurrentRow(best_);
        // In the middle of the strip: whole, clear of its ends.
        ui_.Trials->scrollToItem(ui_.Trials->item(best_), QAbstractItemView::PositionAtCenter);
    }
    showCurrent();
}

void CorScanPanel::setRunning(bool running)
{
    ui_.StartScan->setText(running ? tr("Stop") : tr("Scan"));
}

void CorScanPanel::setState(const QString &text)
{
    state_ = text;
    showState();
}

void CorScanPanel::showState()
{
    // The scan's state, and which trial the picture shows.
    const int i = current();
    if (i < 0 || i >= count()) {
        ui_.ScanState->setText(state_);
        return;
    }
    const QString shown = tr("shown: %1").arg(corText(trials_[static_cast<size_t>(i)].cor));
    ui_.ScanState->setText(state_.isEmpty() ? shown : state_ + QStringLiteral("   ") + shown);
}

int CorScanPanel::current() const
{
    return ui_.Trials->currentRow();
}

void CorScanPanel::setCurrent(int index)
{
    if (index >= 0 && index < count())
        ui_.Trials->setCurrentRow(index);
}

void CorScanPanel::step(int delta)
{
    if (count() == 0)
        return;
    setCurrent(std::clamp(std::max(current(), 0) + delta, 0, count() - 1));
}

void CorScanPanel::takeCurrent()
{
    const int i = current();
    if (i >= 0 && i < count() && trials_[static_cast<size_t>(i)].reconstructed)
        emit centreTaken(trials_[static_cast<size_t>(i)].cor);
}

void CorScanPanel::keyPressEvent(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Left:
    case Qt::Key_Up:
        step(-1);
        break;
    case Qt::Key_Right:
    case Qt::Key_Down:
        step(1);
        break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        takeCurrent();
        break;
    default:
        QFrame::keyPressEvent(event);
    }
}

QString CorScanPanel::label(int index) const
{
    const CorTrial &t = trials_[static_cast<size_t>(index)];
    QString text = corText(t.cor);
    if (index == best_)
        text = tr("%1 best").arg(text);
    if (t.reconstructed)
        text += u'\n' + QString::number(t.score, 'f', 4);
    else if (!t.problem.isEmpty())
        text += u'\n' + tr("failed");
    return text;
}

void CorScanPanel::updateItem(int index)
{
    QListWidgetItem *item = ui_.Trials->item(index);
    if (!item)
        return;
    const CorTrial &t = trials_[static_cast<size_t>(index)];
    item->setText(label(index));
    item->setToolTip(t.problem);
    QFont font = item->font();
    font.setBold(index == best_);
    item->setFont(font);
    item->setBackground(index == best_ ? QBrush(QColor(255, 255, 128)) : QBrush());
    const QImage picture = corTrialPicture(t, score_, ui_.TrialView->colorBar()->greyScale());
    if (picture.isNull()) {
        item->setIcon(QIcon());
        return;
    }
    item->setIcon(QIcon(QPixmap::fromImage(
        picture.scaled(thumbnailSize, thumbnailSize, Qt::KeepAspectRatio, Qt::SmoothTransformation))));
}

void CorScanPanel::showCurrent()
{
    showState();
    const int i = current();
    if (i < 0 || i >= count()) {
        ui_.TrialView->imgDisp()->setImage(QImage());
        return;
    }
    ui_.TrialView->imgDisp()->setImage(
        corTrialPicture(trials_[static_cast<size_t>(i)], score_, ui_.TrialView->colorBar()->greyScale()));
}

void CorScanPanel::redraw()
{
    // The bar as the operator set it, for the large picture and the thumbnails alike.
    const GreyScale held = ui_.TrialView->colorBar()->heldScale();
    const int i = current();
    if (i >= 0 && i < count())
        ui_.TrialView->imgDisp()->setImage(corTrialPicture(trials_[static_cast<size_t>(i)], score_, held));
    for (int k = 0; k < count(); ++k) {
        const QImage picture = corTrialPicture(trials_[static_cast<size_t>(k)], score_, held);
        if (QListWidgetItem *item = ui_.Trials->item(k); item && !picture.isNull())
            item->setIcon(QIcon(QPixmap::fromImage(picture.scaled(
                thumbnailSize, thumbnailSize, Qt::KeepAspectRatio, Qt::SmoothTransformation))));
    }
}

void CorScanPanel::showValue(double x, double y)
{
    const int i = current();
    if (i < 0 || i >= count())
        return;
    const CorTrial &t = trials_[static_cast<size_t>(i)];
    if (!t.reconstructed || !t.values)
        return;
    const Region r = corTrialShownRegion(t, score_);
    // The picture starts at the region's first pixel inside the image.
    const long long px = std::max(0LL, static_cast<long long>(r.x0)) + static_cast<long long>(x);
    const long long pz = std::max(0LL, static_cast<long long>(r.z0)) + static_cast<long long>(y);
    if (x >= 0 && y >= 0 && px >= 0 && pz >= 0 && px < t.n && pz < t.n)
        ui_.TrialView->setVal((*t.values)[static_cast<size_t>(pz * t.n + px)]);
    else
        ui_.TrialView->clearVal();
}

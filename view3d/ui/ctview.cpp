#include "view3d/ui/ctview.h"

// Qt
#include <QBuffer>
#include <QDebug>
#include <QFileDialog>
#include <QImageWriter>
#include <QPainter>
#include <QRegularExpression>
#include <QSaveFile>
#include <QSvgGenerator>

// Local
#include "config/configstore.h"
#include "view3d/ui/slicesctrl.h"
#include "view3d/view3dlog.h"
#include "view3d/volumescene.h"
#include "widgets/childedits.h"
#include "widgets/filedialogs.h"
#include "widgets/mousec.h"
#include <algorithm>
#include <cmath>

CtView::CtView(const QString &dataDir, QWidget *parent)
    : QFrame(parent)
    , dataDir_(dataDir)
    , saveDir_(dataDir)
{
    qRegisterMetaType<Vec3>();
    ui_.setupUi(this);
    nativeDialog_ = configValue(QStringLiteral("native_dialog"), QStringLiteral("0")).toInt() == 1;
    for (const QByteArray &format : QImageWriter::supportedImageFormats())
        imageFormats_ << QString::fromLatin1(format).toLower();
    ui_.saveImage_->setToolTip(tr("Save the picture as %1 or svg by the name's suffix (png without one)")
                                   .arg(imageFormats_.join(u' ')));

    connect(ui_.addSliceSet_, &QPushButton::clicked, this, &CtView::addSliceSet);
    connect(ui_.dispA_, &DispB::drawImage1, this, &CtView::draw);
    connect(ui_.dispA_, &DispB::mousePressed0, this, &CtView::mousePressedOnDataDisp);
    connect(ui_.dispA_, &DispB::mouseMoved0, this, &CtView::mouseMovedOnDataDisp);
    connect(ui_.dispA_, &DispB::mouseReleased0, this, &CtView::mouseReleasedOnDataDisp);
    connect(ui_.dispA_, &DispB::wheelMoved0, this, &CtView::wheelMovedOnDataDisp);
    connect(ui_.saveImage_, &QPushButton::clicked, this, &CtView::showSaveImageD);
    // A new picture size is a new picture.
    connect(ui_.imgPixWidth_, &QLineEdit::editingFinished, this, &CtView::paintPImg);
    connect(ui_.imgPixHeight_, &QLineEdit::editingFinished, this, &CtView::paintPImg);
    // At the display's size the picture follows the display.
    resizeRepaint_ = new QTimer(this);
    resizeRepaint_->setSingleShot(true);
    resizeRepaint_->setInterval(50);
    connect(resizeRepaint_, &QTimer::timeout, this, &CtView::paintPImg);
    ui_.dispA_->installEventFilter(this);

    emit initNz(frame_.nz);
    addSliceSet();
}

CtView::~CtView()
{
    // A focused field finishes its editing while the children go: nothing may reach this panel then.
    detachChildEdits(this, this);
    for (SlicesCtrl *set : sets_) {
        detachChildEdits(set, set);
        disconnect(set, nullptr, this, nullptr);
    }
}

void CtView::addSliceSet()
{
    static const QColor volumeColors[] = {{0, 127, 127}, {127, 0, 127}, {127, 127, 0}};
    static const QColor sectionColors[] = {{127, 0, 0}, {0, 127, 0}, {0, 0, 127}};
    const int n = static_cast<int>(sets_.size());
    auto *set = new SlicesCtrl(dataDir_, ui_.slicesCtrls_);
    set->setObjectName(QStringLiteral("SlicesCtrl%1").arg(n + 1));
    set->setColors(volumeColors[n % 3], sectionColors[n % 3]);
    set->setNumber(n);
    if (n > 0)
        set->ui().alpha_->setText(QStringLiteral("128"));
    connect(set, &SlicesCtrl::paintPImg, this, &CtView::paintPImg);
    connect(set, &SlicesCtrl::changedSliderStat, this, [this, set] { changedSliderStat(set); });
    connect(this, &CtView::initNz, set, &SlicesCtrl::initNz);
    connect(this, &CtView::newNz, set, &SlicesCtrl::newNz);
    set->initNz(frame_.nz);
    set->setSaveFolder(slicesDir_);
    ui_.slicesCtrlsLayout_->addWidget(set, n, 0);
    ui_.slicesCtrlsLayout_->setRowStretch(n, 0);
    ui_.slicesCtrlsLayout_->setRowStretch(n + 1, 1); // the sets stay at the top
    sets_.push_back(set);
}

void CtView::setSlicesFolder(const QString &dir)
{
    slicesDir_ = dir;
    for (SlicesCtrl *set : sets_)
        set->setSaveFolder(dir);
}

void CtView::updateNvs(Vec3 rax, double th)
{
    frame_.rotate(rax, th);
    emit newNz(frame_.nz);
    paintPImg();
}

void CtView::changedSliderStat(SlicesCtrl *from)
{
    if (ui_.linkCSection_->isChecked()) {
        const int value = from->ui().cSlider_->value();
        const bool fixDir = from->ui().csFixDir_->isChecked();
        for (SlicesCtrl *set : sets_) {
            if (set != from && set->ui().cSlider_->value() != value)
                set->setSliderState(value, fixDir);
        }
    }
    paintPImg();
}

int CtView::chosenWidth() const
{
    // Empty: the display's own size, so that no pixel is stretched; else 0 when not a whole number.
    const QString text = ui_.imgPixWidth_->text().trimmed();
    return text.isEmpty() ? std::clamp(ui_.dispA_->width(), 1, maxSize) : text.toInt();
}

int CtView::chosenHeight() const
{
    const QString text = ui_.imgPixHeight_->text().trimmed();
    return text.isEmpty() ? std::clamp(ui_.dispA_->height(), 1, maxSize) : text.toInt();
}

bool CtView::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == ui_.dispA_ && event->type() == QEvent::Resize
        && (ui_.imgPixWidth_->text().trimmed().isEmpty() || ui_.imgPixHeight_->text().trimmed().isEmpty()))
        resizeRepaint_->start();
    return QFrame::eventFilter(watched, event);
}

void CtView::paintPImg()
{
    const int w = chosenWidth(), h = chosenHeight();
    // The first data shown fills the picture, whatever their size in pixels.
    double hx = 0.0, hy = 0.0, hz = 0.0;
    for (SlicesCtrl *set : sets_) {
        if (set->hasData()) {
            hx = std::max(hx, set->stack()->nx / 2.0);
            hy = std::max(hy, set->stack()->ny / 2.0);
            hz = std::max(hz, set->depth() / 2.0);
        }
    }
    if (hx <= 0.0) {
        fitted_ = false;
    } else if (!fitted_) {
        fitFrame(frame_, hx, hy, hz, w, h);
        fitted_ = true;
    }
    // While the mouse turns or moves the view, a large picture is made at the working size over the
    // same part of the volume; the chosen size follows when the button is released.
    const int largest = std::max(w, h);
    if (dragMode_ != Idle && largest > workingSize) {
        const double f = double(workingSize) / largest;
        const int rw = std::max(1, static_cast<int>(std::lround(w * f)));
        const int rh = std::max(1, static_cast<int>(std::lround(h * f)));
        render(rw, rh, frame_.viewScale * double(w) / rw);
        reduced_ = true;
    } else {
        render(w, h, frame_.viewScale);
        reduced_ = false;
    }
    ui_.dispA_->update();
}

void CtView::render(int pw, int ph, double viewScale)
{
    picture_ = QImage();
    if (pw < 1 || ph < 1 || pw > maxSize || ph > maxSize) {
        if (pw != 0 || ph != 0)
            qCWarning(lcView3d).noquote()
                << QStringLiteral("Picture size out of range : %1 x %2").arg(pw).arg(ph);
        return;
    }
    picture_ = QImage(pw, ph, QImage::Format_ARGB32);
    if (picture_.isNull())
        return;
    QPainter p(&picture_);
    ViewFrame frame = frame_;
    frame.viewScale = viewScale;
    paintScene(p, pw, ph, frame);
}

void CtView::paintPImg0(QPainter &p, int pw, int ph)
{
    paintScene(p, pw, ph, frame_);
}

void CtView::paintScene(QPainter &p, int pw, int ph, const ViewFrame &frame)
{
    std::vector<SceneSet> scene;
    for (SlicesCtrl *set : sets_) {
        if (!set->hasData())
            continue;
        scene.push_back({set->stack(), set->look(), set->ui().showFrame_->isChecked(),
            set->ui().showVolume_->isChecked()});
    }
    paintVolumeScene(p, frame, pw, ph, scene);
}

void CtView::draw(QPainter *p)
{
    for (SlicesCtrl *set : sets_) {
        if (set->hasData()) {
            if (!picture_.isNull()) {
                // Smoothly: a picture shrunk to the display would lose rows of the one-pixel frame.
                p->setRenderHint(QPainter::SmoothPixmapTransform);
                p->drawImage(QRectF(ui_.dispA_->rect()), picture_);
            }
            return;
        }
    }
}

QPointF CtView::relativePointer() const
{
    const QPoint pos = ui_.dispA_->mouse()->pos();
    const double w = std::max(1, ui_.dispA_->width()), h = std::max(1, ui_.dispA_->height());
    return {pos.x() / w, 1.0 - pos.y() / h};
}

void CtView::mousePressedOnDataDisp()
{
    const MouseC *mouse = ui_.dispA_->mouse();
    previous_ = relativePointer();
    const Qt::KeyboardModifiers mods = mouse->modifiers();
    if (mouse->button() == MouseC::LeftButton && mods == Qt::NoModifier) {
        dragMode_ = Rotate;
        zone_ = dragZoneAt(previous_.x(), previous_.y());
    } else if ((mouse->button() == MouseC::LeftButton && mods == Qt::ShiftModifier)
        || (mouse->button() == MouseC::RightButton && mods == Qt::NoModifier)) {
        dragMode_ = Pan;
    } else {
        dragMode_ = Idle;
    }
}

void CtView::mouseMovedOnDataDisp()
{
    if (dragMode_ == Idle)
        return;
    const QPointF now = relativePointer();
    const double dx = now.x() - previous_.x(), dy = now.y() - previous_.y();
    previous_ = now;
    if (dragMode_ == Pan) {
        panFrame(frame_, dx, dy, chosenWidth(), chosenHeight());
        paintPImg();
    } else {
        const DragTurn turn = dragTurn(frame_, zone_, dx, dy);
        if (turn.any)
            updateNvs(turn.axis, turn.angle);
    }
}

void CtView::mouseReleasedOnDataDisp()
{
    dragMode_ = Idle;
    if (reduced_)
        paintPImg();
}

void CtView::wheelMovedOnDataDisp(int step)
{
    zoomFrame(frame_, step);
    paintPImg();
}

void CtView::showSaveImageD()
{
    if (saveDialog_)
        saveDialog_->deleteLater();
    saveDialog_ = new QFileDialog(this, tr("Save Image"), saveDir_, tr("Any (* *.*)"));
    saveDialog_->setAcceptMode(QFileDialog::AcceptSave);
    saveDialog_->setOption(QFileDialog::DontUseNativeDialog, !nativeDialog_);
    connect(saveDialog_, &QFileDialog::fileSelected, this, &CtView::saveImage);
    closeCompletionsWhenFinished(saveDialog_);
    saveDialog_->show();
}

void CtView::saveImage(const QString &fname)
{
    QFileInfo info(fname);
    saveDir_ = info.absolutePath();
    QString suffix = info.suffix().toLower();
    if (!imageFormats_.contains(suffix) && suffix != u"svg") {
        // A name without a known suffix would write nothing: PNG, and the name says so.
        info.setFile(fname + QStringLiteral(".png"));
        suffix = QStringLiteral("png");
        qCInfo(lcView3d).noquote()
            << QStringLiteral("No picture format is known by the suffix of %1: saved as PNG").arg(fname);
    }
    const QString path = info.filePath();
    if (imageFormats_.contains(suffix)) {
        if (reduced_ || picture_.isNull())
            paintPImg(); // the chosen size, not the working one
        qCInfo(lcView3d).noquote() << "saving" << path;
        if (!picture_.save(path, suffix.toLatin1().constData()))
            qCCritical(lcView3d).noquote() << QStringLiteral("Can't save image : %1").arg(path);
    } else {
        const int w = chosenWidth(), h = chosenHeight();
        if (w < 1 || h < 1 || w > maxSize || h > maxSize) {
            qCWarning(lcView3d).noquote()
                << QStringLiteral("Picture size out of range : %1 x %2").arg(w).arg(h);
            return;
        }
        QBuffer buffer;
        buffer.open(QIODevice::WriteOnly);
        QSvgGenerator svg;
        svg.setOutputDevice(&buffer);
        svg.setSize(QSize(w, h));
        svg.setViewBox(QRect(0, 0, w, h));
        QPainter p;
        if (!p.begin(&svg)) {
            qCCritical(lcView3d).noquote() << QStringLiteral("Can't save image : %1").arg(path);
            return;
        }
        paintPImg0(p, w, h);
        p.end();
        // The generator gives the size in millimetres at its resolution; in pixels the picture opens
        // at its size everywhere.
        QByteArray text = buffer.data();
        const qsizetype open = text.indexOf("<svg");
        const qsizetype close = open < 0 ? -1 : text.indexOf('>', open);
        if (close > open) {
            QString head = QString::fromUtf8(text.mid(open, close - open));
            head.replace(QRegularExpression(QStringLiteral("(\\s)width=\"[^\"]*\"")),
                QStringLiteral("\\1width=\"%1\"").arg(w));
            head.replace(QRegularExpression(QStringLiteral("(\\s)height=\"[^\"]*\"")),
                QStringLiteral("\\1height=\"%1\"").arg(h));
            text.replace(open, close - open, head.toUtf8());
        }
        QSaveFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size() || !file.commit())
            qCCritical(lcView3d).noquote() << QStringLiteral("Can't save image : %1").arg(path);
    }
}

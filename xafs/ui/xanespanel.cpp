#include "xafs/ui/xanespanel.h"

// Qt
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QSplitter>
#include <QThread>

// Local
#include "widgets/colorbar.h"
#include "widgets/imgdispwcbar.h"
#include "widgets/progressline.h"
#include "xafs/ui/spectrumplot.h"
#include "xafs/mappicture.h"
#include "xafs/xafslog.h"
#include "xafs/xanesworker.h"
#include <cmath>

QString XanesPanel::mapTitle(const MapInfo &map)
{
    // The maps' names are the files'; their titles in the interface's language.
    QString title = map.title;
    if (map.name == QLatin1String("edge_jump"))
        title = tr("edge jump");
    else if (map.name == QLatin1String("edge_energy"))
        title = tr("edge energy E0");
    else if (map.name == QLatin1String("white_line_energy"))
        title = tr("white line energy");
    else if (map.name == QLatin1String("white_line_height"))
        title = tr("white line height");
    else if (map.name == QLatin1String("r_factor"))
        title = tr("R-factor");
    else if (map.name == QLatin1String("mask"))
        title = tr("mask (1 analysed)");
    else if (map.name.startsWith(QLatin1String("fraction-")))
        title = tr("fraction of %1").arg(map.name.mid(9));
    const QString unit = map.unit == sliceUnit() ? tr("twice the attenuation per pixel") : map.unit;
    return unit.isEmpty() ? title : QStringLiteral("%1 (%2)").arg(title, unit);
}

XanesPanel::XanesPanel(QWidget *parent)
    : QFrame(parent)
{
    setObjectName(QStringLiteral("XanesPanel"));
    buildLayout();
    worker_ = new XanesWorker;
    thread_ = new QThread(this);
    thread_->setObjectName(QStringLiteral("xanes"));
    worker_->moveToThread(thread_);
    connect(this, &XanesPanel::startAnalysis, worker_, &XanesWorker::analyse);
    connect(this, &XanesPanel::askSpectrum, worker_, &XanesWorker::spectrum);
    connect(this, &XanesPanel::askSave, worker_, &XanesWorker::save);
    connect(worker_, &XanesWorker::analysed, this, &XanesPanel::analysed);
    connect(worker_, &XanesWorker::progress, this, &XanesPanel::progressed);
    connect(worker_, &XanesWorker::saved, this, &XanesPanel::saved);
    connect(worker_, &XanesWorker::spectrumReady, this, &XanesPanel::spectrumReady);
    thread_->start();
}

XanesPanel::~XanesPanel()
{
    worker_->cancel();
    thread_->quit();
    thread_->wait();
    delete worker_;
}

void XanesPanel::buildLayout()
{
    // Rows of their own, so that short fields keep their width and long ones take what is left.
    QHBoxLayout *rows[5];
    for (QHBoxLayout *&row : rows) {
        row = new QHBoxLayout;
        row->setContentsMargins(0, 0, 0, 0);
    }
    const int shortWidth = fontMetrics().horizontalAdvance(QStringLiteral("-72:-100")) + 12;
    const auto edit = [this, shortWidth](const char *name, const QString &text, const QString &tip, int width = -1) {
        width = width < 0 ? shortWidth : width;
        auto *e = new QLineEdit(text, this);
        e->setObjectName(QLatin1String(name));
        e->setToolTip(tip);
        if (width > 0)
            e->setFixedWidth(width);
        return e;
    };
    const auto label = [this](const QString &text) { return new QLabel(text, this); };
    const XanesFields defaults;
    c_.source = edit("XanesSource", QString(),
        tr("The series: an aligned.h5, a folder holding one (Align energies writes it), or a folder of "
           "energies taken as it is"),
        0);
    selectSource_ = new QPushButton(tr("Select..."), this);
    selectSource_->setObjectName(QStringLiteral("XanesSelectSource"));
    selectSource_->setToolTip(tr("Choose an aligned.h5 file"));
    lastSequence_ = new QPushButton(tr("Last Sequence"), this);
    lastSequence_->setObjectName(QStringLiteral("XanesLastSequence"));
    lastSequence_->setToolTip(tr("The save folder of the last Seq. Calc."));
    lastSequence_->setEnabled(false);
    rows[0]->addWidget(label(tr("Series")));
    rows[0]->addWidget(c_.source, 1);
    rows[0]->addWidget(selectSource_);
    rows[0]->addWidget(lastSequence_);

    c_.edge = edit("XanesEdge", defaults.edge, tr("The edge energy in eV; the ranges are counted from it"));
    c_.pre = edit("XanesPre", defaults.pre, tr("The pre-edge line's energies, eV from the edge (A:B)"));
    c_.post = edit("XanesPost", defaults.post, tr("The post-edge line's energies, eV from the edge (A:B; A: up "
                                                  "to the last energy)"));
    c_.edgeWindow = edit("XanesEdgeWindow", defaults.edgeWindow,
        tr("E0 and the white line are searched within this many eV of the edge"));
    c_.minJump = edit("XanesMinJump", defaults.minJump,
        tr("Voxels whose edge jump is below this are masked (empty: 5 x the median pre-edge noise)"));
    c_.pixelSize = edit("XanesPixelSize", defaults.pixelSize,
        tr("The slices' pixel size in micrometres: the edge jump in 1/cm (empty: in the slices' unit)"));
    c_.fit = edit("XanesFit", defaults.fit, tr("The fit's energies, eV from the edge (A:B)"));
    const std::pair<QString, QLineEdit *> ranges[] = {{tr("Edge (eV)"), c_.edge}, {tr("Pre-edge"), c_.pre},
        {tr("Post-edge"), c_.post}, {tr("Window"), c_.edgeWindow}, {tr("Fit"), c_.fit}};
    for (const auto &[text, field] : ranges) {
        rows[1]->addWidget(label(text));
        rows[1]->addWidget(field);
    }
    rows[1]->addStretch(1);
    c_.standards = edit("XanesStandards", QString(),
        tr("Reference spectra for the linear-combination fit: NAME=FILE,NAME=FILE (two columns: energy, "
           "normalised absorption)"),
        0);
    addStandard_ = new QPushButton(tr("Add..."), this);
    addStandard_->setObjectName(QStringLiteral("XanesAddStandard"));
    addStandard_->setToolTip(tr("Add a standard's file, named after the file"));
    c_.sumToOne = new QCheckBox(tr("Sum to one"), this);
    c_.sumToOne->setObjectName(QStringLiteral("XanesSumToOne"));
    c_.sumToOne->setToolTip(tr("The fractions of the standards sum to 1"));
    rows[2]->addWidget(label(tr("Standards")));
    rows[2]->addWidget(c_.standards, 1);
    rows[2]->addWidget(addStandard_);
    rows[2]->addWidget(c_.sumToOne);
    rows[2]->addWidget(label(tr("Min. jump")));
    rows[2]->addWidget(c_.minJump);
    rows[2]->addWidget(label(tr("Pixel (um)")));
    rows[2]->addWidget(c_.pixelSize);

    c_.analyse = new QPushButton(tr("Analyse"), this);
    c_.analyse->setObjectName(QStringLiteral("XanesAnalyse"));
    c_.analyse->setToolTip(tr("Make the maps of the series; a second click stops"));
    progress_ = new ProgressLine(this);
    progress_->setObjectName(QStringLiteral("XanesProgress"));
    progress_->setMinimumWidth(120);
    rows[3]->addWidget(c_.analyse);
    rows[3]->addWidget(progress_, 1);

    c_.map = new QComboBox(this);
    c_.map->setObjectName(QStringLiteral("XanesMap"));
    c_.map->setToolTip(tr("The map shown"));
    c_.map->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    c_.map->setMinimumContentsLength(14);
    c_.slice = new QSlider(Qt::Horizontal, this);
    c_.slice->setObjectName(QStringLiteral("XanesSlice"));
    c_.slice->setToolTip(tr("The slice shown"));
    c_.slice->setRange(0, 0);
    sliceLabel_ = label(QString());
    sliceLabel_->setMinimumWidth(fontMetrics().horizontalAdvance(QStringLiteral("slice 00000")));
    c_.saveDir = edit("XanesSaveDir", QString(), tr("Where Save Maps writes the files"), 0);
    c_.save = new QPushButton(tr("Save Maps"), this);
    c_.save->setObjectName(QStringLiteral("XanesSaveMaps"));
    c_.save->setToolTip(tr("Write the maps into the folder as quorvel-xanes does: a float TIFF stack, maps.h5 "
                           "and a picture each"));
    c_.save->setEnabled(false);
    selectSaveDir_ = new QPushButton(tr("Folder..."), this);
    selectSaveDir_->setObjectName(QStringLiteral("XanesSelectSaveDir"));
    selectSaveDir_->setToolTip(tr("Choose the maps' folder"));
    rows[4]->addWidget(label(tr("Map")));
    rows[4]->addWidget(c_.map);
    rows[4]->addWidget(c_.slice, 1);
    rows[4]->addWidget(sliceLabel_);
    rows[4]->addWidget(c_.saveDir, 1);
    rows[4]->addWidget(selectSaveDir_);
    rows[4]->addWidget(c_.save);

    view_ = new ImgDispWCBar(this);
    view_->setObjectName(QStringLiteral("XanesMapView"));
    view_->setMinimumSize(160, 140);
    plot_ = new SpectrumPlot(this);
    auto *splitter = new QSplitter(Qt::Horizontal, this);
    splitter->addWidget(view_);
    splitter->addWidget(plot_);
    splitter->setStretchFactor(0, 5);
    splitter->setStretchFactor(1, 4);
    valueLabel_ = label(QString());
    status_ = label(tr("Choose a series and its edge, then Analyse"));
    status_->setWordWrap(true);
    status_->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(4, 4, 4, 4);
    for (QHBoxLayout *row : rows)
        column->addLayout(row);
    column->addWidget(splitter, 1);
    column->addWidget(valueLabel_);
    column->addWidget(status_);

    connect(selectSource_, &QPushButton::clicked, this, [this] {
        const QString f = QFileDialog::getOpenFileName(
            this, tr("The aligned series"), c_.source->text(), tr("Aligned series (*.h5);;All files (*)"));
        if (!f.isEmpty())
            c_.source->setText(f);
    });
    connect(lastSequence_, &QPushButton::clicked, this, [this] { c_.source->setText(sequenceSeries_); });
    connect(addStandard_, &QPushButton::clicked, this, [this] {
        const QString f = QFileDialog::getOpenFileName(this, tr("A standard's spectrum"));
        if (f.isEmpty())
            return;
        const QString item = QFileInfo(f).completeBaseName() + u'=' + f;
        const QString now = c_.standards->text().trimmed();
        c_.standards->setText(now.isEmpty() ? item : now + u',' + item);
    });
    connect(selectSaveDir_, &QPushButton::clicked, this, [this] {
        const QString d = QFileDialog::getExistingDirectory(this, tr("The maps' folder"), c_.saveDir->text());
        if (!d.isEmpty())
            c_.saveDir->setText(d);
    });
    connect(c_.analyse, &QPushButton::clicked, this, &XanesPanel::analyseClicked);
    connect(c_.save, &QPushButton::clicked, this, &XanesPanel::saveClicked);
    connect(c_.map, &QComboBox::currentIndexChanged, this, &XanesPanel::redraw);
    connect(c_.slice, &QSlider::valueChanged, this, &XanesPanel::redraw);
    connect(view_, &ImgDispWCBar::newBar, this, [this] { draw(false); });
    connect(view_, &ImgDisp::newPos, this, &XanesPanel::showValueAt);
    connect(view_, &ImgDisp::selectedAPoint, this, [this](double x, double y, MouseC::MStat stat) {
        if (stat == MouseC::Left && maps_)
            pickVoxel(currentSlice(), int(std::floor(y)), int(std::floor(x)));
    });
}

XanesFields XanesPanel::fields() const
{
    XanesFields f;
    f.edge = c_.edge->text();
    f.pre = c_.pre->text();
    f.post = c_.post->text();
    f.edgeWindow = c_.edgeWindow->text();
    f.fit = c_.fit->text();
    f.standards = c_.standards->text();
    f.sumToOne = c_.sumToOne->isChecked();
    f.minJump = c_.minJump->text();
    f.pixelSize = c_.pixelSize->text();
    return f;
}

void XanesPanel::setSequenceSeries(const QString &dir)
{
    sequenceSeries_ = dir;
    lastSequence_->setEnabled(!dir.isEmpty());
    lastSequence_->setToolTip(dir);
}

void XanesPanel::setBusy(Busy busy)
{
    busy_ = busy;
    c_.analyse->setText(busy == Busy::Analysing ? tr("Stop") : tr("Analyse"));
    c_.analyse->setEnabled(busy != Busy::Saving);
    c_.save->setEnabled(busy == Busy::No && maps_);
}

void XanesPanel::analyseClicked()
{
    if (busy_ == Busy::Analysing)
        stop();
    else
        analyse();
}

bool XanesPanel::analyse()
{
    if (isBusy()) {
        qCWarning(lcXafs).noquote() << tr("XANES: an analysis or a save is under way");
        return false;
    }
    XanesSettings settings;
    QString error;
    const QString source = c_.source->text().trimmed();
    if (source.isEmpty())
        error = tr("choose the series");
    else if (!QFileInfo::exists(source))
        error = tr("%1 does not exist").arg(source);
    else
        xanesSettingsFromFields(fields(), settings, error);
    if (!error.isEmpty()) {
        status_->setText(tr("Not analysed: %1").arg(error));
        qCCritical(lcXafs).noquote() << tr("XANES maps not made: %1").arg(error);
        return false;
    }
    maps_.reset();
    plot_->clear();
    c_.map->clear();
    setBusy(Busy::Analysing);
    pass_ = settings.minJump ? XanesProgress::Pass::Maps : XanesProgress::Pass::Noise;
    progress_->begin(settings.minJump ? tr("XANES maps, slices") : tr("XANES pre-edge noise, slices"), 1);
    status_->setText(tr("Analysing %1").arg(source));
    worker_->clearCancel();
    emit startAnalysis(source, settings, std::max(1, QThread::idealThreadCount()));
    return true;
}

void XanesPanel::stop()
{
    if (busy_ == Busy::Analysing)
        worker_->cancel();
}

void XanesPanel::progressed(const XanesProgress &p)
{
    if (busy_ != Busy::Analysing || p.total == 0)
        return;
    // In slices of each pass: the pre-edge energies for the default threshold, then the maps.
    if (p.pass != pass_ || progress_->timeLeft().total() != qint64(p.total)) {
        pass_ = p.pass;
        progress_->begin(
            p.pass == XanesProgress::Pass::Noise ? tr("XANES pre-edge noise, slices") : tr("XANES maps, slices"),
            int(p.total));
    }
    progress_->advance(int(p.done));
}

void XanesPanel::analysed(const JobOutcome &outcome, const XanesMapsPtr &maps)
{
    maps_ = maps;
    setBusy(Busy::No);
    if (outcome.ok() && maps) {
        progress_->finish();
        const QSignalBlocker block(c_.map);
        for (const MapInfo &m : maps->plan->maps())
            c_.map->addItem(mapTitle(m), m.name);
        c_.slice->setRange(0, maps->shape.nz - 1);
        c_.slice->setValue(maps->shape.nz / 2);
        status_->setText(tr("%1: %2 of %3 voxels analysed; the mask's threshold %4")
                             .arg(maps->sourceName)
                             .arg(maps->analysed)
                             .arg(maps->shape.voxels())
                             .arg(maps->minJump, 0, 'g', 4));
        view_->resetScale();
        redraw();
    } else if (outcome.stopped) {
        progress_->end(tr("stopped"));
        status_->setText(tr("Stopped: no maps"));
    } else {
        progress_->fail(outcome.state());
        status_->setText(tr("Not analysed: %1").arg(outcome.why));
    }
    emit analysisEnded(outcome);
}

int XanesPanel::currentMap() const
{
    return std::max(0, c_.map->currentIndex());
}

int XanesPanel::currentSlice() const
{
    return c_.slice->value();
}

void XanesPanel::redraw()
{
    draw(true);
}

void XanesPanel::draw(bool newImage)
{
    if (!maps_)
        return;
    const int z = currentSlice();
    const int m = currentMap();
    const float *values = maps_->slice(m, z);
    if (!values)
        return;
    const VolumeShape &s = maps_->shape;
    const std::vector<float> slice(values, values + s.plane());
    shown_.assign(slice.begin(), slice.end());
    sliceLabel_->setText(tr("slice %1").arg(maps_->slices[std::size_t(z)]));
    // A new map or slice takes the range the command's picture of it takes (shares 0 … 1, else the
    // 1st to the 99th percentile), unless the bar is fixed; the operator's bar is kept as set.
    ColorBar *bar = view_->colorBar();
    GreyScale scale = bar->heldScale();
    if (newImage && !bar->isFixed()) {
        const MapInfo &info = maps_->plan->maps()[std::size_t(m)];
        const auto [lo, hi]
            = mapRange(slice, isShareMap(info.name) ? std::optional(std::pair(0.0, 1.0)) : std::nullopt);
        bar->setMinV(lo);
        bar->setMaxV(hi);
        scale = bar->greyScale();
        bar->update();
    }
    // Masked voxels (NaN) in a muted blue, apart from every grey level.
    QImage image = greyImage(shown_, s.nx, s.ny, scale).convertToFormat(QImage::Format_RGB32);
    for (int y = 0; y < s.ny; ++y)
        for (int x = 0; x < s.nx; ++x)
            if (std::isnan(shown_[std::size_t(y) * s.nx + x]))
                image.setPixel(x, y, qRgb(70, 90, 140));
    view_->setImage(image);
}

void XanesPanel::showValueAt(int x, int y)
{
    if (!maps_ || x < 0 || y < 0 || x >= maps_->shape.nx || y >= maps_->shape.ny || shown_.empty()) {
        valueLabel_->clear();
        return;
    }
    const MapInfo &m = maps_->plan->maps()[std::size_t(currentMap())];
    valueLabel_->setText(tr("x %1, y %2: %3 = %4")
                             .arg(x)
                             .arg(y)
                             .arg(mapTitle(m))
                             .arg(shown_[std::size_t(y) * maps_->shape.nx + x], 0, 'g', 5));
}

void XanesPanel::pickVoxel(int z, int y, int x)
{
    if (!maps_ || busy_ != Busy::No)
        return;
    emit askSpectrum(z, y, x);
}

void XanesPanel::spectrumReady(const VoxelSpectrum &spectrum, const QString &error)
{
    if (!maps_ || isBusy()) // asked of maps that are gone: another analysis has begun
        return;
    if (error.isEmpty()) {
        plot_->setSpectrum(spectrum, maps_->plan->settings().edge);
        status_->setText(tr("Spectrum of voxel z %1 (slice %2), y %3, x %4")
                             .arg(spectrum.z)
                             .arg(maps_->slices[std::size_t(spectrum.z)])
                             .arg(spectrum.y)
                             .arg(spectrum.x));
    } else {
        status_->setText(tr("No spectrum: %1").arg(error));
    }
    emit spectrumShown(error);
}

void XanesPanel::saveClicked()
{
    QString dir = c_.saveDir->text().trimmed();
    if (dir.isEmpty()) {
        dir = QFileDialog::getExistingDirectory(this, tr("The maps' folder"));
        if (dir.isEmpty())
            return;
        c_.saveDir->setText(dir);
    }
    saveMaps(dir);
}

bool XanesPanel::saveMaps(const QString &dir)
{
    if (!maps_ || busy_ != Busy::No || dir.trimmed().isEmpty()) {
        const QString why = !maps_ ? tr("no maps: analyse a series first")
                                   : (isBusy() ? tr("the worker is busy") : tr("no folder given"));
        qCCritical(lcXafs).noquote() << tr("Save Maps: %1").arg(why);
        status_->setText(tr("Not saved: %1").arg(why));
        return false;
    }
    setBusy(Busy::Saving);
    progress_->begin(tr("Save Maps"), 1);
    emit askSave(dir.trimmed());
    return true;
}

void XanesPanel::saved(const JobOutcome &outcome, const QStringList &files)
{
    setBusy(Busy::No);
    if (outcome.ok()) {
        progress_->finish();
        status_->setText(tr("%1 files saved").arg(files.size()));
    } else {
        progress_->fail(outcome.state());
        status_->setText(tr("Not all saved: %1").arg(outcome.why));
    }
    emit mapsSaved(outcome);
}

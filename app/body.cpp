#include "app/body.h"

// Qt
#include <QButtonGroup>
#include <QCloseEvent>
#include <QGridLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPainter>
#include <QScrollBar>
#include <QStatusBar>
#include <QTabBar>
#include <QToolButton>
#include <QUrl>

// Local
#include "app/windowlog.h"
#include "automation/ui/i0ofimage.h"
#include "config/configstore.h"
#include "ct/sliceworker.h"
#include "ct/ui/corscanpanel.h"
#include "ct/ui/ctcalc.h"
#include "ct/ui/ctcalc2ui.h"
#include "ct/ui/ctdisp.h"
#include "ct/ui/procctrl.h"
#include "ct/ui/sinogram.h"
#include "imagedata/imgdatas.h"
#include "recon/workerpool.h"
#include "view3d/ui/ctview.h"
#include "widgets/childedits.h"
#include "widgets/disabledlook.h"
#include "widgets/dispb.h"
#include "widgets/imgdispwpv.h"
#include "widgets/messagespane.h"
#include "widgets/numberfield.h"
#include "widgets/popdockbase.h"
#include "widgets/progressline.h"
#include "widgets/rawdisp.h"
#include "widgets/statestyles.h"
#include "widgets/stripscrollarea.h"
#include "xafs/ui/xanespanel.h"
#include <thread>

Body::Body(QWidget *parent, int workers)
    : QFrame(parent)
    , cursorPen_(QColor(255, 255, 0))
    , slicePen_(QColor(255, 232, 232))
    , rangePen_(QColor(255, 200, 200))
    , corPen_(QColor(255, 232, 232))
    , drawingPen_(QColor(255, 0, 0))
    , selectionPen_(QColor(232, 255, 0))
{
    qRegisterMetaType<JobOutcome>();
    corPen_.setDashPattern({10, 3, 4, 3});
    rawDisp_ = new RawDisp;
    sinogram_ = new Sinogram;
    ctCalc_ = new CtCalc;
    // The image set lives here, on the main thread: it is filled one file per pass of the event
    // loop, and the workers read it only through the read-only snapshot a run takes.
    imgDatas_ = new ImgDatas;
    ctDisp_ = new CtDisp;
    ctView_ = new CtView(dataRoot());
    ui_.setupUi(this);

    for (QPushButton *b : {ui_.CalcCT, ui_.SeqCalc, ui_.Cont2DA})
        b->setStyleSheet(ButtonStyle::idle);
    for (QLineEdit *edit :
        {ui_.ColorMin, ui_.ColorMax, ui_.DataUpperLimit, ui_.DataLowerLimit, ui_.DataOffset})
        watchNumberField(edit, NumberKind::Real);
    ui_.SelI0Files->setSimpleMode(true);
    ui_.SelI0Files->ui().Select->setText(tr("Sel. I0 File Set"));
    ui_.I0ofRawImage_->setTitle(tr("I0 of Raw Image"));
    ui_.I0ofI0Image_->setTitle(tr("I0 of I0 Image"));
    imgDatas_->setI0Ref(ui_.I0ImgSel->imgSlot());
    imgDatas_->setBgRef(ui_.BGImgSel->imgSlot());
    // A scan file chosen as I0 or BG means its flats or its darks.
    ui_.I0ImgSel->setScanFrames(Hdf5Scan::Kind::Flat);
    ui_.BGImgSel->setScanFrames(Hdf5Scan::Kind::Dark);
    sinogram_->setProcCtrl(ui_.procCtrl);
    sinogram_->setImageSet(imgDatas_);
    ctCalc_->setSinogram(sinogram_);

    buildTabs();
    buildStatusLine();
    const int n = workers > 0 ? workers : std::max(1u, std::thread::hardware_concurrency());
    const std::vector<CtCalc2Ui *> panels = buildWorkerPanels(n);
    buildCorScanPage();
    buildControllers(panels);
    connectAll();
    connectControllers();
    ui_.procCtrl->setMaxThreads(n);
    ui_.procCtrl->setThreads(static_cast<int>(0.8 * n));
    link_->setupZelmapLink();
    setUpSetupDialog();
    setUpShortcuts();
    keepDisabledLook(this);
    // Configuration lines run last, on the window as it is complete.
    batch_->runConfigurationLines();
}

Body::~Body()
{
    detachChildEdits(this, this);
    // The link outlives its controller's last moment; nothing it reports may reach the window now.
    disconnect(&link_->link(), nullptr, link_, nullptr);
    // No further slice is handed out and nothing waiting starts; slices handed out are finished and
    // their results saved before the saver's thread ends.
    load_->dropWaiting();
    runs_->close();
    // The controllers go before the parts they work on.
    delete batch_;
    delete link_;
    delete seq_;
    delete scan_;
    delete runs_;
    delete load_;
    delete imgDatas_;
}

void Body::buildControllers(const std::vector<CtCalc2Ui *> &panels)
{
    parts_ = std::make_unique<WindowParts>(
        WindowParts {ui_, rawDisp_, sinogram_, ctCalc_, ctDisp_, ctView_, imgDatas_, progressLine_, tally_});
    load_ = new LoadController(*parts_, this);
    runs_ = new RunController(*parts_, panels, this);
    runs_->setLoad(load_);
    load_->setWorkersBusy([this] { return !runs_->workersResting(); });
    load_->setPanels([this] { return ctPanels(); });
    scan_ = new CorScanController(*parts_, corScanPanel_, *runs_, *load_, this);
    seq_ = new SequenceController(*parts_, *load_, *runs_, this);
    link_ = new LinkController(*parts_, this);
    batch_ = new BatchController(
        *parts_, BatchPeers {*load_, *runs_, *scan_, *link_, *seq_, *xanesPanel_}, this);
    batch_->setIdle([this] { return isIdle(); });
}

const std::vector<SliceWorker *> &Body::workers() const
{
    return runs_->pool().workers();
}

void Body::buildTabs()
{
    const std::pair<QWidget *, QString> panels[] = {
        {rawDisp_, tr("Measured Raw Image")},
        {sinogram_, tr("Check Sinogram")},
        {ctCalc_, tr("CT Reconstruction")},
        {ui_.I0ImgSel->display(), tr("I0 Image")},
        {ui_.BGImgSel->display(), tr("BG Image")},
        {ctDisp_, tr("CT images")},
        {ctView_, tr("Reconstructed Body View")},
    };
    QWidget *pages[] = {ui_.RawImageTab, ui_.SinogramTab, ui_.CTImageTab, ui_.I0ImageTab, ui_.BGImageTab,
        ui_.CTImagesTab, ui_.CTViewTab};
    const char *containerNames[]
        = {"RawImgBase", "SinogramBase", "CtImgBase", "I0ImgBase", "BGImgBase", "CtImgsBase", "CtViewBase"};
    for (size_t i = 0; i < std::size(pages); ++i) {
        auto *container = new PopDockBase(pages[i]);
        container->setObjectName(QLatin1String(containerNames[i]));
        container->setPopTitle(panels[i].second);
        container->setPanel(panels[i].first);
        panels[i].first->show();
        static_cast<QGridLayout *>(pages[i]->layout())->addWidget(container, 0, 0);
    }

    // The whole tab widget can be popped out as well.
    imgsPopDocBase_ = new PopDockBase(ui_.RightColumn);
    imgsPopDocBase_->setObjectName(QStringLiteral("ImgsPopDocBase"));
    imgsPopDocBase_->setPopTitle(tr("quorvel Images"));
    ui_.RightColumnLayout->insertWidget(0, imgsPopDocBase_, 1);
    imgsPopDocBase_->setPanel(ui_.ImgsTab);
    ui_.ImgsTab->show();
}

std::vector<CtCalc2Ui *> Body::buildWorkerPanels(int count)
{
    // One page for the first worker's panel, or one per worker; the others hold their regions.
    std::vector<CtCalc2Ui *> panels;
    const bool showAll = configValue(QStringLiteral("show_all_ct2_images"), QStringLiteral("0")).toInt() == 1;
    for (int i = 1; i <= count; ++i) {
        auto *panel = new CtCalc2Ui(this);
        panel->setObjectName(QStringLiteral("CtCalc2Ui%1").arg(i));
        if (i == 1 || showAll) {
            auto *page = new QWidget;
            page->setObjectName(QStringLiteral("CT2Tab%1").arg(i));
            auto *layout = new QGridLayout(page);
            layout->setContentsMargins(2, 2, 2, 2);
            auto *container = new PopDockBase(page);
            container->setPopTitle(tr("CT Calc2 %1").arg(i));
            layout->addWidget(container, 0, 0);
            container->setPanel(panel);
            if (showAll)
                ui_.ImgsTab->insertTab(ui_.ImgsTab->count(), page, tr("CT2 %1").arg(i));
            else
                ui_.ImgsTab->insertTab(3, page, tr("CT2"));
        } else {
            panel->hide(); // still holds its worker's regions and times
        }
        connect(panel, &CtPanel::cRUpdated, this, &Body::cRUpdated);
        connect(panel, &CtPanel::dRUpdated, this, &Body::dRUpdated);
        panels.push_back(panel);
    }
    return panels;
}

void Body::addLastPage(QWidget *panel, const char *pageName, const char *baseName, const QString &popTitle,
    const QString &tabTitle)
{
    // A page of its own at the end, so that the pages the batch selects by number stay where they were.
    auto *page = new QWidget;
    page->setObjectName(QLatin1String(pageName));
    auto *layout = new QGridLayout(page);
    layout->setContentsMargins(2, 2, 2, 2);
    auto *container = new PopDockBase(page);
    container->setObjectName(QLatin1String(baseName));
    container->setPopTitle(popTitle);
    container->setPanel(panel);
    layout->addWidget(container, 0, 0);
    ui_.ImgsTab->addTab(page, tabTitle);
}

void Body::buildCorScanPage()
{
    corScanPanel_ = new CorScanPanel;
    corScanPanel_->setObjectName(QStringLiteral("CorScanPanel"));
    addLastPage(corScanPanel_, "CorScanTab", "CorScanBase", tr("Centre of Rotation Scan"), tr("CoR Scan"));
    xanesPanel_ = new XanesPanel;
    addLastPage(xanesPanel_, "XanesTab", "XanesBase", tr("XANES Maps"), tr("XANES"));
}

QWidget *Body::workerPage(int index) const
{
    // One page for the first worker, or one per worker; counted from 0.
    const int n = runs_->pool().count();
    for (int i = std::clamp(index, 0, std::max(0, n - 1)); i >= 0; --i) {
        if (QWidget *page = ui_.ImgsTab->findChild<QWidget *>(QStringLiteral("CT2Tab%1").arg(i + 1)))
            return page;
    }
    return nullptr;
}

void Body::showAbout()
{
    if (!aboutBox_) {
        aboutBox_ = new QMessageBox(
            QMessageBox::Information, tr("About Quorvel"), QString(), QMessageBox::Ok, this);
        aboutBox_->setObjectName(QStringLiteral("AboutBox"));
        aboutBox_->setTextFormat(Qt::RichText);
        aboutBox_->setTextInteractionFlags(Qt::TextBrowserInteraction);
    }
    // The version is the build's; the manual is README.md (and docs/) of the sources it was built from.
    const QString readme = QStringLiteral(QV_SOURCE_DIR "/README.md");
    aboutBox_->setText(
        tr("<b>Quorvel %1</b><p>CT slices from projection images by filtered back-projection, "
           "for beamline tomography and CT-XAFS series.</p>"
           "<p>Manual: <a href=\"%2\">%3</a> (batch commands in docs/ beside it)</p>")
            .arg(QStringLiteral(QV_VERSION), QUrl::fromLocalFile(readme).toString(), readme.toHtmlEscaped()));
    aboutBox_->open();
}

void Body::buildStatusLine()
{
    // The newest problem of the message log on the left, the busy job's progress on the right.
    statusText_ = new QLabel(ui_.StatusLine);
    statusText_->setObjectName(QStringLiteral("StatusText"));
    statusText_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    statusText_->setMinimumWidth(100);
    statusText_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred); // long texts are cut
    ui_.StatusLine->addWidget(statusText_, 1);
    progressLine_ = new ProgressLine(ui_.StatusLine);
    progressLine_->setMinimumWidth(420);
    ui_.StatusLine->addPermanentWidget(progressLine_);
    auto *about = new QToolButton(ui_.StatusLine);
    about->setObjectName(QStringLiteral("About"));
    about->setText(tr("About"));
    about->setToolTip(tr("The program's version and where its manual is (F1)"));
    about->setShortcut(QKeySequence(Qt::Key_F1));
    connect(about, &QToolButton::clicked, this, &Body::showAbout);
    ui_.StatusLine->addPermanentWidget(about);
    MessageLog *log = MessageLog::install();
    if (!log->lastProblem().text.isEmpty())
        showProblem(log->lastProblem());
    connect(log, &MessageLog::problem, this, &Body::showProblem);
    connect(log, &MessageLog::added, this, &Body::clearProblemOnSuccess);

    // Room for real paths in the left column; the splitter lets the operator give it more.
    ui_.BodySplitter->setStretchFactor(0, 0);
    ui_.BodySplitter->setStretchFactor(1, 1);
    placeColumns();
    connect(ui_.BodySplitter, &QSplitter::splitterMoved, this, [this] { columnsMoved_ = true; });
    ui_.LeftScroll->widget()->installEventFilter(this);
    // The controls scroll on a small screen; the messages keep a few lines below them.
    ui_.LeftSplitter->setStretchFactor(0, 1);
    ui_.LeftSplitter->setStretchFactor(1, 0);
    ui_.LeftSplitter->setSizes({1000, 8 * fontMetrics().height()});
    ui_.Messages->setMinimumHeight(3 * fontMetrics().height());
    // The pictures keep the larger part of the column: the strip below them scrolls instead.
    ui_.RightColumn->installEventFilter(this);
    ui_.LowerStrip->installEventFilter(this);
    fitLowerStrip();
}

void Body::fitLowerStrip()
{
    // The whole strip when there is room, never more than two fifths of the column: the tabs, with
    // their Pop/Dock row, keep more than half the window.
    StripScrollArea *strip = ui_.LowerScroll;
    strip->setMaximumHeight(std::max(1, std::min(strip->wholeHeight(), ui_.RightColumn->height() * 2 / 5)));
    strip->updateGeometry();
}

bool Body::eventFilter(QObject *watched, QEvent *event)
{
    if ((watched == ui_.RightColumn && event->type() == QEvent::Resize)
        || (watched == ui_.LowerStrip && event->type() == QEvent::LayoutRequest))
        fitLowerStrip();
    // An option that adds a row (ring removal, a partial set) can widen the controls.
    if (watched == ui_.LeftScroll->widget() && event->type() == QEvent::LayoutRequest && !columnsMoved_)
        placeColumns();
    return QFrame::eventFilter(watched, event);
}

namespace {

// Which job a message speaks of: its category and the words before its first ": " ("Guess CoR",
// "ct_guess_cor"), or its first two words ("CT2 run"), in English whatever the window shows.
QString jobOf(const LogMessage &message)
{
    const QString &text = message.english.isEmpty() ? message.text : message.english;
    const qsizetype colon = text.indexOf(QLatin1String(": "));
    const QString job = colon > 0 && colon <= 40 ? text.left(colon) : text.section(u' ', 0, 1);
    return message.category + u'|' + job;
}

} // namespace

void Body::clearProblemOnSuccess(const LogMessage &message)
{
    // The same job done since: the problem shown is over (it stays in the messages pane).
    if (message.level != LogMessage::Info || problemJob_.isEmpty() || jobOf(message) != problemJob_)
        return;
    problemJob_.clear();
    statusText_->clear();
    statusText_->setToolTip(QString());
    statusText_->setStyleSheet(QString());
}

void Body::showProblem(const LogMessage &message)
{
    problemJob_ = jobOf(message);
    // One line: the first line of the message, the whole in the tooltip.
    const QString line = MessageLog::lineOf(message);
    statusText_->setText(line.section(u'\n', 0, 0));
    statusText_->setToolTip(line);
    const QColor ground = MessagesPane::groundOf(message.level);
    statusText_->setStyleSheet(QStringLiteral("background-color: %1; color: black;").arg(ground.name()));
}

PopDockBase *Body::tabContainer(const QString &pageName) const
{
    QWidget *page = ui_.ImgsTab->findChild<QWidget *>(pageName);
    return page ? page->findChild<PopDockBase *>(QString(), Qt::FindDirectChildrenOnly) : nullptr;
}

void Body::connectAll()
{
    auto *ctSelection = new QButtonGroup(this);
    ctSelection->addButton(ui_.SelectCt1);
    ctSelection->addButton(ui_.SelectCt2);
    // However the selection changes (a click, a command, a setup file), CT1 and Auto Exec stay apart.
    connect(ui_.SelectCt1, &QAbstractButton::toggled, this, &Body::changedCtSel);
    connect(ui_.procCtrl, &ProcCtrl::autoExecUpdated, this, &Body::changedAutoExec);

    connect(rawDisp_->area(), &DispB::drawImage2, this, &Body::draw);
    connect(rawDisp_, &ImgDispWPV::newPosInvY, this, &Body::newPosOnRawImg);
    // A change of the bar redraws through the bar as it is; a new image applies the generator rule.
    connect(rawDisp_, &ImgDispWCBar::newBar, this, [this] { drawRawImage(false); });
    // The cross-hair follows the cursor and goes with it.
    connect(rawDisp_->mouse(), &MouseC::mMoved, rawDisp_->area(), qOverload<>(&QWidget::update));
    connect(rawDisp_->mouse(), &MouseC::mLeaved, rawDisp_->area(), qOverload<>(&QWidget::update));
    connect(rawDisp_, &ImgDisp::selectedAPoint, this, &Body::selectedAPointInRawImg);
    connect(ui_.seekCtrl, &SeekCtrl::newIndex, this, &Body::updateRawImage);
    connect(imgDatas_, &ImgDatas::imageUpdated, rawDisp_, qOverload<>(&QWidget::update));
    connect(ctCalc_, &CtPanel::cRUpdated, this, &Body::cRUpdated);
    connect(ctCalc_, &CtPanel::dRUpdated, this, &Body::dRUpdated);
    for (auto signal : {&ProcCtrl::rotAxUpdated, &ProcCtrl::sliceNoUpdated, &ProcCtrl::corUpdated})
        connect(ui_.procCtrl, signal, rawDisp_, qOverload<>(&QWidget::update));
    connect(ui_.ShowAdditionalInfo, &QCheckBox::toggled, this, &Body::setShowAdditionalInfo);
    connect(
        ui_.ShowAdditionalAdditionalInfo, &QCheckBox::toggled, this, &Body::setShowAdditionalAdditionalInfo);
    connect(ui_.FixColorScale, &QCheckBox::toggled, this, &Body::fixColorScaleChanged);
    connect(ui_.ColorMin, &QLineEdit::editingFinished, this, &Body::fixColorScaleChanged);
    connect(ui_.ColorMax, &QLineEdit::editingFinished, this, &Body::fixColorScaleChanged);

    for (SelectAImgFile *selector : {ui_.I0ImgSel, ui_.BGImgSel})
        connect(selector, &SelectAFile::fileSelected, this, &Body::i0OrBgSelected);
    for (SelectAImgFile *selector : {ui_.I0ImgSel, ui_.BGImgSel})
        connect(selector, &SelectAImgFile::cleared, this, &Body::i0OrBgSelected);
    connect(ui_.I0ImgSel, &SelectAImgFile::showImageRequested, this,
        [this] { ui_.ImgsTab->setCurrentWidget(ui_.I0ImageTab); });
    connect(ui_.BGImgSel, &SelectAImgFile::showImageRequested, this,
        [this] { ui_.ImgsTab->setCurrentWidget(ui_.BGImageTab); });
}

void Body::setShowAdditionalInfo(bool show)
{
    ui_.AdditionalInfo->setVisible(show);
    if (show) // "add_inf_show 0" hides "More" as well: this brings it back
        ui_.ShowAdditionalAdditionalInfo->show();
}

void Body::setShowAdditionalAdditionalInfo(bool show)
{
    ui_.AdditionalAdditionalInfo->setVisible(show);
}

void Body::i0OrBgSelected()
{
    checkI0BgSizes();
    sinogram_->genSgmImage();
}

void Body::checkI0BgSizes()
{
    ui_.I0ImgSel->checkSize(imgDatas_->width(), imgDatas_->height());
    ui_.BGImgSel->checkSize(imgDatas_->width(), imgDatas_->height());
}

void Body::imagesChanged()
{
    checkI0BgSizes();
    updateRawImage();
    sinogram_->genSgmImage();
}

bool Body::askToStopAndClose()
{
    return QMessageBox::question(this, windowTitle(),
               tr("A run is going. Stop it and close the window?\nSlices in progress are finished and "
                  "saved."),
               QMessageBox::Yes | QMessageBox::No, QMessageBox::No)
        == QMessageBox::Yes;
}

void Body::resizeEvent(QResizeEvent *event)
{
    QFrame::resizeEvent(event);
    // Until the operator moves the splitter, the columns follow the window's size.
    if (!columnsMoved_)
        placeColumns();
}

void Body::placeColumns()
{
    const int tabs = ui_.ImgsTab->tabBar()->sizeHint().width() + 2 * fontMetrics().height();
    const int total = ui_.BodySplitter->width();
    // Never narrower than the controls' least width (the column scrolls only up and down).
    const QWidget *controls = ui_.LeftScroll->widget();
    const QMargins m = ui_.LeftColumn->layout()->contentsMargins();
    const int least = controls->minimumSizeHint().width()
        + ui_.LeftScroll->verticalScrollBar()->sizeHint().width() + 2 * ui_.LeftScroll->frameWidth()
        + m.left() + m.right() + 2;
    const int wanted = std::max(ui_.LeftColumn->sizeHint().width(), 560);
    const int left = std::max(least, std::min(wanted, total - tabs));
    ui_.BodySplitter->setSizes({left, std::max(1, total - left)});
}

void Body::closeEvent(QCloseEvent *event)
{
    // An operator's close during a run is asked about; the end of an unattended run is not (no
    // window is shown, or the batch's "app_quit" closes once everything is done).
    const bool working
        = runs_->isCalculating() || runs_->isWaitingToStart() || seq_->isRunning() || link_->isContRunning();
    if (working && isVisible() && !batch_->isQuitting() && !closeQuestion_()) {
        event->ignore();
        return;
    }
    // The slices in work are still finished and saved while the window goes.
    if (const QString report = runs_->closeReport(); !report.isEmpty())
        qCWarning(lcWindow).noquote() << report;
    emit finishing();
    QFrame::closeEvent(event);
}

#include "app/body.h"

// Qt
#include <QCloseEvent>
#include <QThread>

// Local
#include "app/config/configstore.h"
#include "ct/ui/procctrl.h"
#include "ct/ui/sinogram.h"
#include "imagedata/imgdatas.h"
#include "widgets/dispb.h"
#include "widgets/imgdispwpv.h"
#include "widgets/popdockbase.h"
#include "widgets/rawdisp.h"

namespace {

// Tab pages and the titles of their pop-out windows.
struct TabPanel
{
    const char *page;
    const char *popTitle;
};

} // namespace

Body::Body(QWidget *parent)
    : QFrame(parent)
{
    rawDisp_ = new RawDisp;
    sinogram_ = new Sinogram;
    imgDatas_ = new ImgDatas;
    ui_.setupUi(this);

    imageSetThread_ = new QThread(this);
    imageSetThread_->setObjectName(QStringLiteral("image set"));
    imgDatas_->moveToThread(imageSetThread_);
    imageSetThread_->start();
    imgDatas_->setI0Ref(ui_.I0ImgSel->imgSlot());
    imgDatas_->setBgRef(ui_.BGImgSel->imgSlot());
    sinogram_->setProcCtrl(ui_.procCtrl);
    sinogram_->setImageSet(imgDatas_);

    connectAll();
    buildTabs();
}

Body::~Body()
{
    imageSetThread_->quit();
    imageSetThread_->wait();
    delete imgDatas_; // after its thread has stopped
}

void Body::buildTabs()
{
    const std::pair<QWidget *, QString> panels[] = {
        {rawDisp_, tr("Measured Raw Image")},
        {sinogram_, tr("Check Sinogram")},
        {ui_.I0ImgSel->display(), tr("I0 Image")},
        {ui_.BGImgSel->display(), tr("BG Image")},
    };
    QWidget *pages[] = {ui_.RawImageTab, ui_.SinogramTab, ui_.I0ImageTab, ui_.BGImageTab};
    for (size_t i = 0; i < std::size(pages); ++i) {
        auto *container = new PopDockBase(pages[i]);
        container->setObjectName(pages[i]->objectName() + QStringLiteral("Base"));
        container->setPopTitle(panels[i].second);
        container->setPanel(panels[i].first);
        panels[i].first->show();
        static_cast<QGridLayout *>(pages[i]->layout())->addWidget(container, 0, 0);
    }
}

PopDockBase *Body::tabContainer(const QString &tabName) const
{
    QWidget *page = ui_.ImgsTab->findChild<QWidget *>(tabName);
    return page ? page->findChild<PopDockBase *>(QString(), Qt::FindDirectChildrenOnly) : nullptr;
}

void Body::connectAll()
{
    connect(this, &Body::askAddAnImg, imgDatas_, &ImgDatas::add);
    connect(this, &Body::askLoadNextDataFile, this, &Body::loadNextDataFile, Qt::QueuedConnection);
    connect(this, &Body::noticeFinishedLoadDataFiles, this, &Body::finishedLoadDataFiles, Qt::QueuedConnection);
    connect(ui_.CTFiles, &SelectDataFiles::filesSelected, this, &Body::dataFilesSelected);

    connect(rawDisp_, &ImgDispWPV::newPosInvY, this, &Body::newPosOnRawImg);
    connect(rawDisp_, &ImgDispWCBar::newBar, this, &Body::updateRawImage);
    connect(ui_.seekCtrl, &SeekCtrl::newIndex, this, &Body::updateRawImage);
    connect(imgDatas_, &ImgDatas::imageUpdated, rawDisp_, qOverload<>(&QWidget::update));
    for (auto signal : {&ProcCtrl::rotAxUpdated, &ProcCtrl::sliceNoUpdated, &ProcCtrl::corUpdated})
        connect(ui_.procCtrl, signal, rawDisp_, qOverload<>(&QWidget::update));

    for (SelectAImgFile *selector : {ui_.I0ImgSel, ui_.BGImgSel})
        connect(selector, &SelectAFile::fileSelected, this, &Body::i0OrBgSelected);
    connect(ui_.I0ImgSel, &SelectAImgFile::showImageRequested, this,
            [this] { ui_.ImgsTab->setCurrentWidget(ui_.I0ImageTab); });
    connect(ui_.BGImgSel, &SelectAImgFile::showImageRequested, this,
            [this] { ui_.ImgsTab->setCurrentWidget(ui_.BGImageTab); });
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

void Body::batchLoad(const QString &fileName)
{
    emit callBatchLoad(fileName);
}

void Body::batchExec()
{
    emit callBatchExec();
}

void Body::closeEvent(QCloseEvent *event)
{
    emit finishing();
    QFrame::closeEvent(event);
}

#include "automation/ui/selectdatadir.h"

// Qt
#include <QDebug>
#include <QDir>
#include <QPushButton>

// Local
#include "automation/ctfileset.h"
#include "automation/dataseries.h"

SelectDataDir::SelectDataDir(QWidget *parent)
    : QFrame(parent)
{
    ui_.setupUi(this);
    ui_.SelDir->button()->setText(tr("Sel. Data Dir."));
    connect(ui_.SelDir, &SelectDir::aDirSelected, this, &SelectDataDir::aDirSelected);
    connect(ui_.isOrmelStd_, &QCheckBox::toggled, this, &SelectDataDir::changedOrmelStd);
    connect(ui_.Set, &QPushButton::clicked, this, &SelectDataDir::set);
    connect(ui_.Next, &QPushButton::clicked, this, &SelectDataDir::next);
}

SelectDataDir::~SelectDataDir() = default;

QString SelectDataDir::dir() const
{
    return ui_.SelDir->dir();
}

int SelectDataDir::selectDir(const QString &dir)
{
    ui_.SelDir->setDirName(dir);
    aDirSelected(dir);
    return lastScanFound_;
}

void SelectDataDir::aDirSelected(const QString &dir)
{
    if (isOrmelStandard())
        setFileSets(dir);
    else
        setSubDirs(dir);
    if (lastScanFound_ == 0) // said, so that the sets still listed are not taken for this folder's
        qWarning().noquote() << QStringLiteral("No data set found in %1; the %2 sets listed before stay")
                                    .arg(dir)
                                    .arg(ui_.SubDirs->count());
    emit newSets(ui_.SubDirs->count());
}

void SelectDataDir::changedOrmelStd()
{
    aDirSelected(dir());
}

void SelectDataDir::setIsOrmelStandard(bool f)
{
    ui_.isOrmelStd_->setChecked(f);
}

void SelectDataDir::setFileSets(const QString &dir)
{
    const QFileInfoList files = matchingFiles(dir, ui_.Pattern->text());
    lastScanFound_ = 0;
    if (files.isEmpty())
        return; // the previous sets stay
    for (CtFileSet *s : fileSets_)
        delete s;
    fileSets_.clear();
    for (const OrmelSet &set : groupOrmelSets(files))
        fileSets_.push_back(new CtFileSet(set, this));
    ui_.SubDirs->setCurrentIndex(0);
    ui_.SubDirs->clear();
    for (size_t i = 0; i < fileSets_.size(); ++i)
        ui_.SubDirs->addItem(ormelSetLabel(static_cast<int>(i) + 1, fileSets_[i]->set()));
    listsOrmel_ = true;
    lastScanFound_ = static_cast<int>(fileSets_.size());
}

void SelectDataDir::setSubDirs(const QString &dir)
{
    subDirs_ = subDirNames(dir);
    ui_.SubDirs->setCurrentIndex(0);
    ui_.SubDirs->clear();
    for (qsizetype i = 0; i < subDirs_.size(); ++i)
        ui_.SubDirs->addItem(subDirLabel(static_cast<int>(i) + 1, subDirs_[i]));
    listsOrmel_ = false;
    lastScanFound_ = static_cast<int>(subDirs_.size());
}

bool SelectDataDir::currentIsValid() const
{
    const int i = ui_.SubDirs->currentIndex();
    if (i < 0)
        return false;
    return listsOrmel_ ? i < static_cast<int>(fileSets_.size()) : i < subDirs_.size();
}

void SelectDataDir::set()
{
    // The combo's contents belong to the layout that filled it last, whatever the check box says now.
    if (!currentIsValid()) {
        emit noMoreSets();
        return;
    }
    const int i = ui_.SubDirs->currentIndex();
    if (listsOrmel_)
        emit selectedFileInfoList(fileSets_[static_cast<size_t>(i)]->files());
    else
        emit selected(QDir(dir()).filePath(subDirs_[i]), splitPatterns(ui_.Pattern->text()));
}

void SelectDataDir::next()
{
    advanceSet();
}

bool SelectDataDir::advanceSet()
{
    const int i = ui_.SubDirs->currentIndex();
    if (i >= ui_.SubDirs->count() - 1)
        return false;
    ui_.SubDirs->setCurrentIndex(i + 1);
    return true;
}

void SelectDataDir::setFirstSet(int firstIdx)
{
    ui_.SubDirs->setCurrentIndex(firstIdx >= 0 && firstIdx < ui_.SubDirs->count() ? firstIdx : -1);
    set();
}

void SelectDataDir::setNextSet(int lastIdx)
{
    const int i = ui_.SubDirs->currentIndex();
    if (i < 0 || i >= lastIdx || i >= ui_.SubDirs->count() - 1) {
        emit noMoreSets();
        return;
    }
    ui_.SubDirs->setCurrentIndex(i + 1);
    set();
}

double SelectDataDir::currentSetEnergy() const
{
    if (!currentIsValid())
        return 0.0;
    const int i = ui_.SubDirs->currentIndex();
    if (listsOrmel_)
        return fileSets_[static_cast<size_t>(i)]->energyField().energy();
    return parseEnergyField(subDirs_[i]).value;
}

QString SelectDataDir::currentSetTag() const
{
    if (!currentIsValid())
        return QString();
    const int i = ui_.SubDirs->currentIndex();
    return listsOrmel_ ? fileSets_[static_cast<size_t>(i)]->energyField().text : subDirs_[i];
}

QString SelectDataDir::currentSetTitle() const
{
    const int i = ui_.SubDirs->currentIndex();
    if (!currentIsValid())
        return QString::number(i + 1);
    if (!listsOrmel_)
        return QStringLiteral("%1 (%2)").arg(i + 1).arg(subDirs_[i]);
    const CtFileSet *s = fileSets_[static_cast<size_t>(i)];
    return QStringLiteral("%1 (%2 %3)").arg(i + 1).arg(s->name(), s->energyField().text);
}

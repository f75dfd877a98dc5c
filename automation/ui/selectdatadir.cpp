#include "automation/ui/selectdatadir.h"

// Qt
#include <QColor>
#include <QDebug>
#include <QDir>
#include <QPushButton>

// Local
#include "recon/ctfileset.h"
#include "recon/dataseries.h"
#include "automation/automationlog.h"
#include <algorithm>

SelectDataDir::SelectDataDir(QWidget *parent)
    : QFrame(parent)
{
    ui_.setupUi(this);
    ui_.SelDir->button()->setText(tr("Sel. Data Dir."));
    connect(ui_.SelDir, &SelectDir::aDirSelected, this, &SelectDataDir::aDirSelected);
    connect(ui_.isOrmelStd_, &QCheckBox::toggled, this, &SelectDataDir::changedOrmelStd);
    connect(ui_.Set, &QPushButton::clicked, this, &SelectDataDir::set);
    connect(ui_.Next, &QPushButton::clicked, this, &SelectDataDir::next);
    connect(ui_.allowUneven_, &QCheckBox::toggled, this, &SelectDataDir::checkSets);
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
        qCWarning(lcAutomation).noquote() << QStringLiteral("No data set found in %1; the %2 sets listed before stay")
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
    series_.clear();
    for (size_t i = 0; i < fileSets_.size(); ++i) {
        ui_.SubDirs->addItem(ormelSetLabel(static_cast<int>(i) + 1, fileSets_[i]->set()));
        series_.push_back(seriesSetOf(fileSets_[i]->set(), dir));
    }
    listsOrmel_ = true;
    lastScanFound_ = static_cast<int>(fileSets_.size());
    checkSets();
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
    series_ = scanSeries(dir, SeriesLayout::SubDirs, ui_.Pattern->text());
    checkSets();
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
    return subDirEnergy(subDirs_[i]);
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

void SelectDataDir::setI0Energies(const QList<double> &energies)
{
    i0Energies_ = energies;
    checkSets();
}

void SelectDataDir::checkSets()
{
    // The list shows what the last scan found; a list of another layout than the sets is never marked.
    if (static_cast<int>(series_.size()) != ui_.SubDirs->count())
        series_.clear();
    check_ = checkSeries(series_, std::span<const double>(i0Energies_.constData(), i0Energies_.size()),
        ui_.allowUneven_->isChecked());
    for (size_t i = 0; i < series_.size(); ++i) {
        const int item = static_cast<int>(i);
        const SetCheck &c = check_.sets[i];
        QString label = listsOrmel_ ? ormelSetLabel(item + 1, fileSets_[i]->set())
                                    : subDirLabel(item + 1, subDirs_[item]);
        QStringList marks;
        if (!c.sameTagAs.isEmpty())
            marks << tr("same tag as set %1").arg(c.sameTagAs.constFirst());
        if (!c.sameEnergyAs.isEmpty())
            marks << tr("same energy as set %1").arg(c.sameEnergyAs.constFirst());
        if (c.incomplete())
            marks << tr("images missing");
        if (c.noEnergy)
            marks << tr("no energy");
        if (c.farI0)
            marks << tr("I0 far");
        if (!marks.isEmpty())
            label += QStringLiteral("  !! ") + marks.join(QStringLiteral(", "));
        ui_.SubDirs->setItemText(item, label);
        ui_.SubDirs->setItemData(item, check_.problemText(i, series_[i]), Qt::ToolTipRole);
        const bool refused = c.clashes() || c.incomplete();
        ui_.SubDirs->setItemData(item,
            marks.isEmpty() ? QVariant() : QVariant(QColor(refused ? Qt::red : Qt::darkYellow)),
            Qt::ForegroundRole);
    }
}

QString SelectDataDir::currentSetProblem() const
{
    const int i = ui_.SubDirs->currentIndex();
    if (!currentIsValid() || static_cast<size_t>(i) >= series_.size())
        return {};
    const size_t k = static_cast<size_t>(i);
    QStringList parts;
    for (const QString &p : {check_.clashText(k, series_[k]), check_.countText(k)}) {
        if (!p.isEmpty())
            parts << p;
    }
    return parts.join(QStringLiteral("; "));
}

QString SelectDataDir::currentSetDoubt() const
{
    const int i = ui_.SubDirs->currentIndex();
    if (!currentIsValid() || static_cast<size_t>(i) >= series_.size())
        return {};
    return check_.energyText(static_cast<size_t>(i), series_[static_cast<size_t>(i)]);
}

QString SelectDataDir::clashesIn(int firstIdx, int lastIdx) const
{
    const int count = static_cast<int>(series_.size());
    QStringList clashes, tags;
    for (int i = std::max(0, firstIdx); i <= std::min(std::max(firstIdx, lastIdx), count - 1); ++i) {
        const SetCheck &c = check_.sets[static_cast<size_t>(i)];
        const SeriesSet &s = series_[static_cast<size_t>(i)];
        if (!c.sameEnergyAs.isEmpty()) {
            QList<int> all = c.sameEnergyAs;
            all << i + 1;
            std::sort(all.begin(), all.end());
            QStringList named;
            for (int k : std::as_const(all))
                named << QStringLiteral("%1 (%2)").arg(k).arg(series_[static_cast<size_t>(k - 1)].tag);
            const QString text
                = QStringLiteral("%1 are all of %2 eV")
                      .arg(named.join(QStringLiteral(", ")), QString::number(s.energy, 'g', 10));
            if (!clashes.contains(text))
                clashes << text;
        }
        if (c.sameTagAs.isEmpty() || tags.contains(s.tag))
            continue;
        tags << s.tag;
        QList<int> all = c.sameTagAs;
        all << i + 1;
        std::sort(all.begin(), all.end());
        QStringList named;
        for (int k : std::as_const(all)) {
            const SeriesSet &other = series_[static_cast<size_t>(k - 1)];
            named << QStringLiteral("%1 (%2)").arg(k).arg(other.name);
        }
        clashes << QStringLiteral("%1 share the tag %2").arg(named.join(QStringLiteral(", ")), s.tag);
    }
    return clashes.join(QStringLiteral("; "));
}

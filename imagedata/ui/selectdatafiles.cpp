#include "imagedata/ui/selectdatafiles.h"

// Qt
#include <QButtonGroup>
#include <QDir>
#include <QFileDialog>

// Local
#include "imagedata/imagefiles.h"
#include "widgets/filedialogs.h"
#include "widgets/numberfield.h"
#include "widgets/statestyles.h"

SelectDataFiles::SelectDataFiles(QWidget *parent)
    : QFrame(parent)
{
    ui_.setupUi(this);
    watchNumberField(ui_.MultiTimes, NumberKind::Integer);
    watchNumberField(ui_.ExpTime, NumberKind::Real);
    auto *mode = new QButtonGroup(this);
    mode->addButton(ui_.LoadNewFiles);
    mode->addButton(ui_.AddFiles);
    connect(ui_.Selected, &QComboBox::currentIndexChanged, this, &SelectDataFiles::currentIndexChanged);
    connect(ui_.Select, &QPushButton::clicked, this, &SelectDataFiles::openDialog);
    connect(ui_.Clear, &QPushButton::clicked, this, &SelectDataFiles::clearFiles);
}

void SelectDataFiles::openDialog()
{
    const QString start = dialogStartDir(lastDir_);
    const QStringList files
        = QFileDialog::getOpenFileNames(this, tr("Select data files (Ctrl+A selects all)"), start,
            tr("Itex File (*.img)") + QStringLiteral(";;") + tr("Tiff File (*.tif *.tiff)")
                + QStringLiteral(";;") + tr("HDF5 / NeXus Scan File (*.h5 *.hdf5 *.nxs *.hdf)")
                + QStringLiteral(";;") + tr("Any Files (* *.*)"),
            nullptr, fileDialogOptions());
    if (files.isEmpty())
        return;
    lastDir_ = QFileInfo(files.constFirst()).absolutePath();
    filesChosen(files);
}

void SelectDataFiles::filesChosen(const QStringList &files, Take take)
{
    // The receiver empties the list for a new series when its loading starts.
    const bool newSeries = take == Take::WholeNewSeries || ui_.LoadNewFiles->isChecked();
    if (take == Take::WholeNewSeries || !ui_.LoadMultiTimes->isChecked() || files.isEmpty()) {
        emit filesSelected(files, newSeries);
        return;
    }
    const int times = ui_.MultiTimes->text().trimmed().toInt();
    QStringList many;
    for (int i = 0; i < times; ++i)
        many.append(files.constFirst());
    emit filesSelected(many, newSeries);
}

void SelectDataFiles::selectDirFiles(const QString &dir, const QStringList &nameFilters, Take take)
{
    lastDir_ = dir;
    QStringList filters = nameFilters;
    if (filters.isEmpty())
        filters << QStringLiteral("*.") + ui_.Extention->text();
    selectFileInfos(imageFileEntries(dir, filters), take); // a stray folder or pipe is refused by the load
}

void SelectDataFiles::selectFileInfos(const QFileInfoList &infos, Take take)
{
    QStringList files;
    for (const QFileInfo &info : infos)
        files << info.absoluteFilePath();
    filesChosen(files, take);
}

void SelectDataFiles::addFile(const QString &name)
{
    ui_.Selected->addItem(name);
    ui_.Count->setText(QString::number(ui_.Selected->count()));
}

QStringList SelectDataFiles::files() const
{
    QStringList list;
    for (int i = 0; i < ui_.Selected->count(); ++i)
        list << ui_.Selected->itemText(i);
    return list;
}

void SelectDataFiles::setSimpleMode(bool simple)
{
    for (QWidget *w : {static_cast<QWidget *>(ui_.LoadNewFiles), static_cast<QWidget *>(ui_.AddFiles),
             static_cast<QWidget *>(ui_.KeepConditions), static_cast<QWidget *>(ui_.LoadMultiTimes),
             static_cast<QWidget *>(ui_.MultiTimes), static_cast<QWidget *>(ui_.Separator)})
        w->setVisible(!simple);
    if (simple)
        ui_.LoadNewFiles->setChecked(true);
}

void SelectDataFiles::clearFiles()
{
    ui_.Selected->clear();
    ui_.Count->setText(QString::number(ui_.Selected->count()));
    emit filesCleared();
}

void SelectDataFiles::prev()
{
    const int i = ui_.Selected->currentIndex();
    if (i > 0)
        ui_.Selected->setCurrentIndex(i - 1);
}

void SelectDataFiles::next()
{
    const int i = ui_.Selected->currentIndex();
    if (i + 1 < ui_.Selected->count())
        ui_.Selected->setCurrentIndex(i + 1);
}

void SelectDataFiles::select(int index)
{
    if (index >= 0 && index < ui_.Selected->count())
        ui_.Selected->setCurrentIndex(index);
}

void SelectDataFiles::setExpTime(double seconds)
{
    ui_.ExpTime->setText(QString::number(seconds, 'g', 6));
}

double SelectDataFiles::expTime() const
{
    return ui_.ExpTime->text().trimmed().toDouble();
}

void SelectDataFiles::showCount(int notLoaded)
{
    if (notLoaded <= 0) {
        ui_.Count->setText(QString::number(count()));
        ui_.Count->setStyleSheet(QString());
        return;
    }
    ui_.Count->setText(tr("%1 (%2 not loaded)").arg(count()).arg(notLoaded));
    ui_.Count->setStyleSheet(ButtonStyle::failed);
}

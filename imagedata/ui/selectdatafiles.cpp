#include "imagedata/ui/selectdatafiles.h"

// Qt
#include <QButtonGroup>
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QRegularExpression>

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

QStringList matchingFileNames(const QString &dir, const QString &nameFilter)
{
    // "Itex File (*.img)" holds its patterns in parentheses; a bare filter is its patterns.
    static const QRegularExpression inParentheses(QStringLiteral("\\(([^)]*)\\)"));
    const QRegularExpressionMatch match = inParentheses.match(nameFilter);
    const QStringList patterns
        = (match.hasMatch() ? match.captured(1) : nameFilter).split(u' ', Qt::SkipEmptyParts);
    QStringList names;
    for (const QFileInfo &info : imageFileEntries(dir, patterns)) { // in the order a folder loads
        if (info.isFile())
            names << info.fileName();
    }
    return names;
}

namespace {

// Every file of the filter's type in the folder shown is selected, so that Open takes the set.
void selectMatchingFiles(QFileDialog *dialog)
{
    const QStringList names
        = matchingFileNames(dialog->directory().absolutePath(), dialog->selectedNameFilter());
    const QString text = names.size() == 1 ? names.constFirst()
        : names.isEmpty()                  ? QString()
                                           : u'"' + names.join(QStringLiteral("\" \"")) + u'"';
    dialog->selectFile(text);
    // The dialog leaves its name field alone while it has the focus (a folder typed there and
    // entered with Return): the names go there too, and the field selects them in the list.
    if (auto *field = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
        field && field->text() != text)
        field->setText(text);
}

} // namespace

void SelectDataFiles::openDialog()
{
    if (dialog_) { // one at a time
        dialog_->raise();
        dialog_->activateWindow();
        return;
    }
    const QFileDialog::Options options = fileDialogOptions();
    const bool ownDialog = options.testFlag(QFileDialog::DontUseNativeDialog);
    // The desktop's dialog cannot be given many files: its title says how to select them all.
    dialog_ = new QFileDialog(this,
        ownDialog ? tr("Select data files (every file of the type is selected: Open loads them all)")
                  : tr("Select data files (Ctrl+A selects all)"),
        dialogStartDir(lastDir_),
        tr("Itex File (*.img)") + QStringLiteral(";;") + tr("Tiff File (*.tif *.tiff)") + QStringLiteral(";;")
            + tr("HDF5 / NeXus Scan File (*.h5 *.hdf5 *.nxs *.hdf)") + QStringLiteral(";;")
            + tr("Any Files (* *.*)"));
    dialog_->setObjectName(QStringLiteral("DataFilesDialog"));
    dialog_->setOptions(options);
    dialog_->setFileMode(QFileDialog::ExistingFiles);
    dialog_->setAttribute(Qt::WA_DeleteOnClose);
    if (ownDialog) {
        const auto selectAll = [dialog = dialog_.data()] { selectMatchingFiles(dialog); };
        connect(dialog_, &QFileDialog::directoryEntered, dialog_, selectAll);
        connect(dialog_, &QFileDialog::filterSelected, dialog_, selectAll);
        selectAll();
    }
    connect(dialog_, &QFileDialog::filesSelected, this, [this](const QStringList &files) {
        if (files.isEmpty())
            return;
        lastDir_ = QFileInfo(files.constFirst()).absolutePath();
        filesChosen(files);
    });
    dialog_->open(); // modal to the window, without a loop of its own
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

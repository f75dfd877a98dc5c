#include "imagedata/ui/selectafile.h"

// Qt
#include <QFileDialog>
#include <QFileInfo>

// Local
#include "config/configstore.h"
#include "widgets/filedialogs.h"
#include "widgets/statestyles.h"

SelectAFile::SelectAFile(QWidget *parent)
    : QFrame(parent)
{
    ui_.setupUi(this);
    connect(ui_.Select, &QPushButton::clicked, this, &SelectAFile::select);
}

QString SelectAFile::goodStyle()
{
    return ButtonStyle::notBusy;
}

QString SelectAFile::badStyle()
{
    return ButtonStyle::failed;
}

void SelectAFile::setStatus(bool good)
{
    ui_.FilePath->setStyleSheet(good ? goodStyle() : badStyle());
}

void SelectAFile::clearStatus()
{
    ui_.FilePath->setStyleSheet(QString());
}

void SelectAFile::addWidget(QWidget *w)
{
    ui_.SelectAFileLayout->addWidget(w);
}

QString SelectAFile::startDir() const
{
    if (!startDir_.isEmpty())
        return startDir_;
    if (!filePath().isEmpty())
        return QFileInfo(filePath()).absolutePath();
    return dataRoot();
}

void SelectAFile::select()
{
    const QString extra = extraNameFilter();
    const QString name = QFileDialog::getOpenFileName(this, tr("Select a file"), startDir(),
        tr("Img file (*.img)") + QStringLiteral(";;") + tr("Tiff file (*.tif *.tiff)") + QStringLiteral(";;")
            + (extra.isEmpty() ? QString() : extra + QStringLiteral(";;")) + tr("Any file (* *.*)"),
        nullptr, fileDialogOptions());
    if (!name.isEmpty())
        selectFile(name);
}

void SelectAFile::selectFile(const QString &fileName)
{
    ui_.FilePath->setText(fileName);
    ui_.FilePath->setCursorPosition(static_cast<int>(fileName.size())); // the file's name in sight
    ui_.FilePath->setToolTip(fileName);
    ui_.Name->setText(QFileInfo(fileName).completeBaseName());
    emit fileSelected(fileName);
}

void SelectAFile::clearFile()
{
    ui_.FilePath->clear();
    ui_.Name->clear();
    clearStatus();
}

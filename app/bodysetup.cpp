// Setup files: the operator's settings written as command lines under headings, and read back by
// executing each line.

// Qt
#include <QDebug>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QSaveFile>
#include <QTextStream>

// Local
#include "app/body.h"
#include "app/setupsections.h"
#include "app/windowlog.h"
#include "automation/batch.h"
#include "automation/setupfile.h"
#include "config/configstore.h"
#include "config/saidtext.h"
#include "config/specialfile.h"

void Body::setUpSetupDialog()
{
    setupDialog_ = new QFileDialog(this);
    setupDialog_->setObjectName(QStringLiteral("SetupDialog"));
    setupDialog_->setNameFilters({QStringLiteral("*.cfg"), QStringLiteral("*.*")});
    setupDialog_->setDirectory(dataRoot());
    connect(setupDialog_, &QFileDialog::fileSelected, this, &Body::saveLoadFileSelected);
    connect(ui_.SaveSetup, &QPushButton::clicked, this, &Body::showSaveSetupD);
    connect(ui_.LoadSetup, &QPushButton::clicked, this, &Body::showLoadSetupD);
}

void Body::pointSetupDialog()
{
    // The data's folder, until a setup was saved or loaded: then the folder used last.
    if (setupDialogUsed_)
        return;
    const QString first = ui_.CTFiles->files().value(0);
    setupDialog_->setDirectory(first.isEmpty() ? dataRoot() : QFileInfo(first).absolutePath());
}

void Body::showSaveSetupD()
{
    setupSaving_ = true;
    pointSetupDialog();
    setupDialog_->setAcceptMode(QFileDialog::AcceptSave);
    setupDialog_->setFileMode(QFileDialog::AnyFile);
    setupDialog_->setDefaultSuffix(QStringLiteral("cfg"));
    setupDialog_->show();
}

void Body::showLoadSetupD()
{
    setupSaving_ = false;
    pointSetupDialog();
    setupDialog_->setAcceptMode(QFileDialog::AcceptOpen);
    setupDialog_->setFileMode(QFileDialog::ExistingFile);
    setupDialog_->setDefaultSuffix(QString());
    setupDialog_->show();
}

void Body::saveLoadFileSelected(const QString &fileName)
{
    setupDialogUsed_ = true;
    if (setupSaving_) // a name without a suffix gets ".cfg", so that "Load Setup" lists it
        saveSetup(QFileInfo(fileName).suffix().isEmpty() ? fileName + QStringLiteral(".cfg") : fileName);
    else
        loadSetup(fileName);
}

bool Body::saveSetup(const QString &fileName)
{
    // Written under a temporary name and renamed: an existing setup is replaced only by a whole one.
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text)) {
        qCCritical(lcWindow).noquote() << QV_SAID("can't open save setup file : %1").arg(fileName);
        return false;
    }
    file.write(setupFileText(windowSetupSections(ui_, *sinogram_, *xanesPanel_)).toUtf8());
    if (!file.commit()) {
        qCCritical(lcWindow).noquote()
            << QV_SAID("can't open save setup file : %1 (%2)").arg(fileName, file.errorString());
        return false;
    }
    qCInfo(lcWindow).noquote() << QV_SAID("Setup saved: %1").arg(fileName);
    return true;
}

bool Body::loadSetup(const QString &fileName)
{
    if (isSpecialFile(fileName)) { // a pipe would block the window
        qCCritical(lcWindow).noquote()
            << QV_SAID("Setup file is not a regular file, not read : %1").arg(fileName);
        return false;
    }
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        qCCritical(lcWindow).noquote() << QV_SAID("can't open save setup file : %1").arg(fileName);
        return false;
    }
    if (file.size() > Batch::maxFileSize) {
        qCCritical(lcWindow).noquote()
            << QV_SAID("Setup file is larger than 16 MiB, not read : %1").arg(fileName);
        return false;
    }
    // Headings and the "#images_load" line are words the executor does not know, so they do nothing.
    QTextStream in(&file);
    QString line;
    int settings = 0;
    while (in.readLineInto(&line)) {
        const BatchCmd command = parseBatchCmd(line);
        if (!command.cmd.isEmpty() && !command.cmd.startsWith(u'#'))
            ++settings;
        execCommand(command);
    }
    qCInfo(lcWindow).noquote() << QV_SAID(
        "Setup loaded: %1 (%2 settings; the projections are not loaded again by a setup)")
                                      .arg(fileName)
                                      .arg(settings);
    return true;
}

// Setup files: the operator's settings written as command lines under headings, and read back by
// executing each line.

// Qt
#include <QDebug>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QSaveFile>

// Local
#include "app/batchcontroller.h"
#include "app/body.h"
#include "app/setupsections.h"
#include "app/windowlog.h"
#include "automation/batchcmd.h"
#include "automation/setupfile.h"
#include "imagedata/imgdatas.h"
#include "widgets/filedialogs.h"
#include "config/saidtext.h"

void Body::setUpSetupDialog()
{
    setupDialog_ = new QFileDialog(this);
    setupDialog_->setObjectName(QStringLiteral("SetupDialog"));
    setupDialog_->setNameFilters({QStringLiteral("*.cfg"), QStringLiteral("*.*")});
    setupDialog_->setDirectory(dialogStartDir(QString()));
    connect(setupDialog_, &QFileDialog::fileSelected, this, &Body::saveLoadFileSelected);
    closeCompletionsWhenFinished(setupDialog_); // the dialog is kept for the next time
    connect(ui_.SaveSetup, &QPushButton::clicked, this, &Body::showSaveSetupD);
    connect(ui_.LoadSetup, &QPushButton::clicked, this, &Body::showLoadSetupD);
}

void Body::pointSetupDialog()
{
    // The folder of the setup saved or loaded last, else the data's.
    setupDialog_->setDirectory(dialogStartDir(setupDialogDir_));
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
    setupDialogDir_ = QFileInfo(fileName).absolutePath();
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

bool Body::loadSetup(const QString &fileName, SetupData data)
{
    QString why;
    const std::optional<QStringList> lines = readSetupLines(fileName, why);
    if (!lines) {
        qCCritical(lcWindow).noquote() << why;
        return false;
    }
    QString recorded;
    for (const QString &line : *lines) {
        const BatchCmd cmd = parseBatchCmd(line);
        // A set that is not there replaces nothing: the load names it and applies the rest.
        if (cmd.cmd.compare(QLatin1String("images_load"), Qt::CaseInsensitive) == 0
            && missingSetupData(cmd).isEmpty())
            recorded = cmd.args.join(u' ');
    }
    if (data == SetupData::Ask)
        data = recorded.isEmpty() || imgDatas_->count() == 0 ? SetupData::Load : SetupData::Ask;
    if (data != SetupData::Ask) {
        batch_->loadSetupLines(fileName, *lines, data == SetupData::Keep);
        return true;
    }
    // Asked without blocking the window: the answer goes on with the setup.
    auto *question = new QMessageBox(QMessageBox::Question, tr("Load Setup"),
        tr("A data set is loaded. Load the data set this setup was saved with in its place?\n%1\n"
           "No: the loaded set is kept and only the settings are applied.")
            .arg(recorded),
        QMessageBox::Yes | QMessageBox::No, this);
    question->setObjectName(QStringLiteral("SetupDataQuestion"));
    question->setDefaultButton(QMessageBox::Yes);
    question->setAttribute(Qt::WA_DeleteOnClose);
    connect(question, &QMessageBox::finished, this, [this, fileName, lines = *lines](int answer) {
        batch_->loadSetupLines(fileName, lines, answer != QMessageBox::Yes);
    });
    question->open();
    return true;
}

// Qt
#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QTest>
#include <QTranslator>

// Local
#include "app/startup.h"
#include "widgets/filedialogs.h"

using namespace Qt::StringLiterals;

/// What start-up sets up for the window: the interface language, down to the file dialogs.
class TestStartup : public QObject
{
    Q_OBJECT
private slots:
    void fileDialogsFollowTheInterfaceLanguage();
};

void TestStartup::fileDialogsFollowTheInterfaceLanguage()
{
    {
        auto translators = installJapanese();
        QCOMPARE(translators.size(), size_t(2)); // the interface's and the toolkit's own texts
        QFileDialog dialog(nullptr, u"Select a file"_s, QDir::tempPath());
        dialog.setOptions(fileDialogOptions());
        auto *lookIn = dialog.findChild<QLabel *>(u"lookInLabel"_s);
        QVERIFY(lookIn);
        QVERIFY2(lookIn->text() != u"Look in:"_s, qPrintable(lookIn->text()));
        QCOMPARE(lookIn->text(), QCoreApplication::translate("QFileDialog", "Look in:"));
        QCOMPARE(QCoreApplication::translate("Body", "Raw Image"), u"生画像"_s);
    }
    // Gone with the translators ("-e" never installs them).
    QFileDialog english(nullptr, u"Select a file"_s, QDir::tempPath());
    english.setOptions(fileDialogOptions());
    QCOMPARE(english.findChild<QLabel *>(u"lookInLabel"_s)->text(), u"Look in:"_s);
}

QTEST_MAIN(TestStartup)
#include "tst_startup.moc"

// Qt
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QTest>
#include <QTranslator>

// Local
#include "app/startup.h"
#include "widgets/filedialogs.h"

using namespace Qt::StringLiterals;

/// What start-up sets up for the window: the interface language, down to the file dialogs; and the
/// translation it loads, complete.
class TestStartup : public QObject
{
    Q_OBJECT
private slots:
    void fileDialogsFollowTheInterfaceLanguage();
    void everyMessageIsTranslated();
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
        QCOMPARE(QCoreApplication::translate("Body", "Raw Image"), u"生画像"_s); // a tab
        QCOMPARE(QCoreApplication::translate("CBarUI", "Fix"), u"固定"_s); // the colour bar
    }
    // Gone with the translators ("-e" never installs them).
    QFileDialog english(nullptr, u"Select a file"_s, QDir::tempPath());
    english.setOptions(fileDialogOptions());
    QCOMPARE(english.findChild<QLabel *>(u"lookInLabel"_s)->text(), u"Look in:"_s);
}

void TestStartup::everyMessageIsTranslated()
{
    QFile ts(QStringLiteral(QUORVEL_TS_FILE));
    QVERIFY(ts.open(QIODevice::ReadOnly));
    const QByteArray text = ts.readAll();
    QVERIFY(text.count("<message>") > 10);
    QCOMPARE(text.count("type=\"unfinished\""), 0);
    QCOMPARE(text.count("<translation></translation>"), 0);
}

QTEST_MAIN(TestStartup)
#include "tst_startup.moc"

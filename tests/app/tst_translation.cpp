// Qt
#include <QCoreApplication>
#include <QTest>
#include <QTranslator>

using namespace Qt::StringLiterals;

class TestTranslation : public QObject
{
    Q_OBJECT
private slots:
    void japaneseResourceTranslatesTheInterface_data();
    void japaneseResourceTranslatesTheInterface();
    void everyMessageIsTranslated();
};

void TestTranslation::japaneseResourceTranslatesTheInterface_data()
{
    QTest::addColumn<QString>("context");
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("japanese");
    QTest::newRow("tab") << u"Body"_s << u"Raw Image"_s << u"生画像"_s;
    QTest::newRow("colour bar") << u"CBarUI"_s << u"Fix"_s << u"固定"_s;
}

void TestTranslation::japaneseResourceTranslatesTheInterface()
{
    QFETCH(QString, context);
    QFETCH(QString, source);
    QFETCH(QString, japanese);
    QTranslator translator;
    // Loaded exactly as start-up loads it.
    QVERIFY(translator.load(u":quorvel_ja_JP"_s, QCoreApplication::applicationDirPath()));
    QCOMPARE(translator.translate(context.toUtf8().constData(), source.toUtf8().constData()), japanese);
}

void TestTranslation::everyMessageIsTranslated()
{
    QFile ts(QStringLiteral(QUORVEL_TS_FILE));
    QVERIFY(ts.open(QIODevice::ReadOnly));
    const QByteArray text = ts.readAll();
    QVERIFY(text.count("<message>") > 10);
    QCOMPARE(text.count("type=\"unfinished\""), 0);
    QCOMPARE(text.count("<translation></translation>"), 0);
}

QTEST_GUILESS_MAIN(TestTranslation)
#include "tst_translation.moc"

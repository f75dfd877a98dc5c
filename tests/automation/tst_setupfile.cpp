// Qt
#include <QTest>

// Local
#include "app/config/linetokenizer.h"
#include "automation/batchcmd.h"
#include "automation/setupfile.h"

using namespace Qt::StringLiterals;

/// The layout of setup files.
class TestSetupFile : public QObject
{
    Q_OBJECT
private slots:
    void entryLine_data();
    void entryLine();
    void values_data();
    void values();
    void textsReadBackWhole_data();
    void textsReadBackWhole();
    void fileText();
    void dirPattern_data();
    void dirPattern();
};

void TestSetupFile::entryLine_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("line");
    QTest::newRow("short key") << u"ct_cor"_s << u"130.5"_s << u"ct_cor                   130.5"_s;
    QTest::newRow("24 characters: one blank")
        << u"auto_save_in_sub_folders"_s << u"1"_s << u"auto_save_in_sub_folders 1"_s;
    QTest::newRow("25 characters: one blank")
        << u"ct_dataset_start_image_no"_s << u"0"_s << u"ct_dataset_start_image_no 0"_s;
    QTest::newRow("longer: one blank")
        << u"seq_exec_keep_range_on_new_set"_s << u"0"_s << u"seq_exec_keep_range_on_new_set 0"_s;
    QTest::newRow("empty value: the padded key alone")
        << u"auto_save_image_tag"_s << QString() << u"auto_save_image_tag      "_s;
    QTest::newRow("partial off: three blanks before the 0")
        << u"ct_use_partial_data_set"_s << u" 0"_s << u"ct_use_partial_data_set   0"_s;
}

void TestSetupFile::entryLine()
{
    QFETCH(QString, key);
    QFETCH(QString, value);
    QFETCH(QString, line);
    QCOMPARE(setupEntryLine(key, value), line);
}

void TestSetupFile::values_data()
{
    QTest::addColumn<QString>("got");
    QTest::addColumn<QString>("expected");
    QTest::newRow("flag on") << setupFlag(true) << u"1"_s;
    QTest::newRow("flag off") << setupFlag(false) << u"0"_s;
    QTest::newRow("real, six digits") << setupReal(1234.5678) << u"1234.57"_s;
    QTest::newRow("real, negative") << setupReal(-10) << u"-10"_s;
    QTest::newRow("real, large") << setupReal(1e6) << u"1e+06"_s;
    QTest::newRow("real, small") << setupReal(0.0001) << u"0.0001"_s;
    QTest::newRow("text without blanks") << setupText(u"/data/run1"_s) << u"/data/run1"_s;
    QTest::newRow("text with a blank is quoted") << setupText(u"/data/run 1"_s) << u"\"/data/run 1\""_s;
    QTest::newRow("text with a tab is quoted") << setupText(u"a\tb"_s) << u"\"a\tb\""_s;
    QTest::newRow("empty text") << setupText(QString()) << QString();
    // A "#" outside quotes would start a comment when the file is read back.
    QTest::newRow("text with a hash is quoted") << setupText(u"/data/run#3"_s) << u"\"/data/run#3\""_s;
    QTest::newRow("hash after an apostrophe") << setupText(u"/data/bob's run#3"_s) << u"\"/data/bob's run#3\""_s;
    QTest::newRow("a double quote without blanks stays plain") << setupText(u"a\"b"_s) << u"a\"b"_s;
}

void TestSetupFile::textsReadBackWhole_data()
{
    QTest::addColumn<QString>("text");
    for (const QString &t : {u"/data/run1"_s, u"/data/with blank/x"_s, u"/data/run#3"_s, u"/data/bob's run#3"_s,
             u"a'b#c"_s, u"x\"y#z"_s, u"it's"_s})
        QTest::newRow(qPrintable(t)) << t;
}

void TestSetupFile::textsReadBackWhole()
{
    // Through the same reading as a setup line: comment cut, then the batch line's items.
    QFETCH(QString, text);
    const BatchCmd read = parseBatchCmd(stripComment(setupEntryLine(u"auto_save_data_path"_s, setupText(text))));
    QCOMPARE(textArg(read), text);
}

void TestSetupFile::values()
{
    QFETCH(QString, got);
    QFETCH(QString, expected);
    QCOMPARE(got, expected);
}

void TestSetupFile::fileText()
{
    const QList<SetupSection> sections {
        {u"## A"_s, {{u"k1"_s, u"1"_s}, {u"k2"_s, QString()}}},
        {u"## B"_s, {}},
        {u"## C"_s, {{u"k3"_s, u"x y"_s}}},
    };
    const QStringList expected {
        u"### quorvel setup saving setup file"_s,
        QString(),
        u"## A"_s,
        QString(),
        u"k1                       1"_s,
        u"k2                       "_s,
        QString(),
        u"## B"_s,
        QString(),
        QString(),
        u"## C"_s,
        QString(),
        u"k3                       x y"_s,
        QString(),
    };
    QCOMPARE(setupFileText(sections).split(u'\n'), expected);
}

void TestSetupFile::dirPattern_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("expected");
    QTest::newRow("plain") << u"/data/set/ct_0001.img"_s << u"/data/set *.img"_s;
    QTest::newRow("directory with a blank") << u"/data/my set/a.tif"_s << u"\"/data/my set\" *.tif"_s;
    QTest::newRow("last suffix only") << u"/d/a.b.img"_s << u"/d *.img"_s;
}

void TestSetupFile::dirPattern()
{
    QFETCH(QString, file);
    QFETCH(QString, expected);
    QCOMPARE(setupDirPattern(file), expected);
}

QTEST_GUILESS_MAIN(TestSetupFile)
#include "tst_setupfile.moc"

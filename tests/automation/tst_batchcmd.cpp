// Qt
#include <QTest>

// Local
#include "app/config/linetokenizer.h"
#include "automation/batchcmd.h"
#include "automation/batchcommands.h"
#include "automation/batchlines.h"
#include "automation/setupfile.h"
#include <set>

using namespace Qt::StringLiterals;

/// Parsing of command lines, the readings of their arguments, the lines of a batch file, the
/// command vocabulary and the layout of setup files, which are read back as batch lines.
class TestBatchCmd : public QObject
{
    Q_OBJECT
private slots:
    void parse_data();
    void parse();
    void numberArgs_data();
    void numberArgs();
    void commandLines_data();
    void commandLines();
    void commandSet();
    void lookup_data();
    void lookup();
    void setupTexts_data();
    void setupTexts();
    void textsReadBackWhole_data();
    void textsReadBackWhole();
    void fileText();
};

void TestBatchCmd::parse_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("cmd");
    QTest::addColumn<QStringList>("args");
    QTest::newRow("word and arguments")
        << u"ct_cor 130.5 x"_s << u"ct_cor"_s << QStringList {u"130.5"_s, u"x"_s};
    QTest::newRow("leading blanks and tabs") << u"  \tcalc_exec"_s << u"calc_exec"_s << QStringList {};
    QTest::newRow("quoted argument with blanks")
        << u"auto_save_data_path \"/data/run 1\" more"_s << u"auto_save_data_path"_s
        << QStringList {u"/data/run 1"_s, u"more"_s};
    QTest::newRow("empty quoted item ends the arguments")
        << u"images_load /d \"\" *.img"_s << u"images_load"_s << QStringList {u"/d"_s};
    QTest::newRow("empty line") << QString() << QString() << QStringList {};
    QTest::newRow("blanks only") << u"   "_s << QString() << QStringList {};
    QTest::newRow("label") << u"Loop"_s << u"Loop"_s << QStringList {};
    QTest::newRow("hash is an ordinary item")
        << u"#images_load /d *.img"_s << u"#images_load"_s << QStringList {u"/d"_s, u"*.img"_s};
}

void TestBatchCmd::parse()
{
    QFETCH(QString, line);
    QFETCH(QString, cmd);
    QFETCH(QStringList, args);
    const BatchCmd c = parseBatchCmd(line);
    QCOMPARE(c.line, line);
    QCOMPARE(c.cmd, cmd);
    QCOMPARE(c.args, args);
}

void TestBatchCmd::numberArgs_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<int>("n");
    QTest::addColumn<int>("integer");
    QTest::addColumn<double>("real");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("flag"); // the first argument read as an on/off switch: exactly "1"
    QTest::newRow("1") << u"c 1"_s << 0 << 1 << 1.0 << u"1"_s << true;
    QTest::newRow("0") << u"c 0"_s << 0 << 0 << 0.0 << u"0"_s << false;
    QTest::newRow("integer") << u"c 42"_s << 0 << 42 << 42.0 << u"42"_s << false;
    QTest::newRow("negative") << u"c -1"_s << 0 << -1 << -1.0 << u"-1"_s << false;
    QTest::newRow("real") << u"c 1.5e2"_s << 0 << 0 << 150.0 << u"1.5e2"_s << false;
    QTest::newRow("1.0 is no integer") << u"c 1.0"_s << 0 << 0 << 1.0 << u"1.0"_s << false;
    QTest::newRow("second argument") << u"c 7 2.25"_s << 1 << 0 << 2.25 << u"2.25"_s << false;
    QTest::newRow("word") << u"c yes"_s << 0 << 0 << 0.0 << u"yes"_s << false;
    QTest::newRow("beyond 32 bits") << u"c 99999999999"_s << 0 << 0 << 99999999999.0 << u"99999999999"_s
                                    << false;
    QTest::newRow("not a number") << u"c nan"_s << 0 << 0 << 0.0 << u"nan"_s << false;
    QTest::newRow("infinity") << u"c -inf"_s << 0 << 0 << 0.0 << u"-inf"_s << false;
    QTest::newRow("overflowing real") << u"c 1e400"_s << 0 << 0 << 0.0 << u"1e400"_s << false;
    QTest::newRow("missing") << u"c"_s << 0 << 0 << 0.0 << QString() << false;
    QTest::newRow("negative position") << u"c 3"_s << -1 << 0 << 0.0 << QString() << false;
}

void TestBatchCmd::numberArgs()
{
    QFETCH(QString, line);
    QFETCH(int, n);
    QFETCH(int, integer);
    QFETCH(double, real);
    QFETCH(QString, text);
    QFETCH(bool, flag);
    const BatchCmd c = parseBatchCmd(line);
    QCOMPARE(intArg(c, n), integer);
    QCOMPARE(realArg(c, n), real);
    QCOMPARE(textArg(c, n), text);
    QCOMPARE(flagArg(c), flag);
}

void TestBatchCmd::commandLines_data()
{
    QTest::addColumn<QStringList>("file");
    QTest::addColumn<QStringList>("lines");
    QTest::newRow("comments cut, comment-only lines dropped") << QStringList {u"ct_cor 12 # centre"_s,
        u"# heading"_s, u"calc_exec"_s} << QStringList {u"ct_cor 12 "_s, u"calc_exec"_s};
    QTest::newRow("blank line kept, empty line dropped")
        << QStringList {u"a"_s, u"   "_s, QString(), u"b"_s} << QStringList {u"a"_s, u"   "_s, u"b"_s};
    QTest::newRow("hash inside quotes stays") << QStringList {u"auto_save_data_tag \"a#b\" # c"_s}
                                              << QStringList {u"auto_save_data_tag \"a#b\" "_s};
    QTest::newRow("backslash joins the next line") << QStringList {u"images_load /data \\"_s, u"  *.img"_s,
        u"calc_exec"_s} << QStringList {u"images_load /data   *.img"_s, u"calc_exec"_s};
    QTest::newRow("backslash with trailing blanks and a comment")
        << QStringList {u"ct_set_calc_region 0 0 \\  # more follows"_s, u"99 99"_s}
        << QStringList {u"ct_set_calc_region 0 0 99 99"_s};
    QTest::newRow("several continuations")
        << QStringList {u"a\\"_s, u"b\\"_s, u"c"_s} << QStringList {u"abc"_s};
    QTest::newRow("backslash on the last line")
        << QStringList {u"x"_s, u"calc_exec \\"_s} << QStringList {u"x"_s, u"calc_exec "_s};
    QTest::newRow("backslash inside a line stays")
        << QStringList {u"i0_load C:\\d\\i0.img"_s} << QStringList {u"i0_load C:\\d\\i0.img"_s};
    QTest::newRow("empty file") << QStringList {} << QStringList {};
}

void TestBatchCmd::commandLines()
{
    QFETCH(QStringList, file);
    QFETCH(QStringList, lines);
    QCOMPARE(batchCommandLines(file), lines);
}

void TestBatchCmd::commandSet()
{
    const QList<BatchCommandEntry> &set = batchCommandSet();
    std::set<QString> words;
    for (const BatchCommandEntry &s : set)
        words.insert(s.word.toUpper());
    QCOMPARE(words.size(), size_t(set.size())); // distinct without regard to case
    // The window's own commands come first, in the order they are tested; then the added ones.
    const QStringList added {u"ct_guess_cor"_s, u"app_quit"_s, u"zelmapLink_connect"_s,
        u"zelmapLink_exec_2da"_s, u"zelmapLink_cont_2da"_s, u"auto_save_tiff"_s, u"ct_single_precision"_s,
        u"ct_cor_guess_method"_s, u"ct_cor_scan"_s, u"ct_use_recorded_cor"_s, u"ct_guess_cor_line"_s,
        u"ct_ring_removal"_s, u"ct_ring_params"_s, u"seq_exec_allow_uneven_sets"_s};
    const int own = 83;
    QCOMPARE(set.size(), own + added.size());
    QCOMPARE(set.first().word, u"images_load"_s);
    QCOMPARE(set[own - 1].word, u"seq_exec_keep_range_on_new_set"_s);
    for (int i = 0; i < added.size(); ++i)
        QCOMPARE(set[own + i].word, added[i]);
    for (const BatchCommandEntry &s : set)
        QVERIFY2(!s.word.startsWith(u':'), qPrintable(s.word));
}

void TestBatchCmd::lookup_data()
{
    QTest::addColumn<QString>("word");
    QTest::addColumn<int>("index");
    QTest::newRow("first") << u"images_load"_s << 0;
    QTest::newRow("capitals") << u"CALC_EXEC"_s << 75;
    QTest::newRow("mixed case word in lower case") << u"add_inf_ormel_standard"_s << 56;
    QTest::newRow("flow word") << u":goto"_s << -1;
    QTest::newRow("heading") << u"##"_s << -1;
    QTest::newRow("inert images_load") << u"#images_load"_s << -1;
    QTest::newRow("empty") << QString() << -1;
}

void TestBatchCmd::lookup()
{
    QFETCH(QString, word);
    QFETCH(int, index);
    QCOMPARE(batchCommandIndex(word), index);
    if (index >= 0)
        QCOMPARE(batchCommandSet()[index].word.toUpper(), word.toUpper());
}

void TestBatchCmd::setupTexts_data()
{
    QTest::addColumn<QString>("got");
    QTest::addColumn<QString>("expected");
    // An entry's key padded to 25 characters, and always a blank before the value.
    QTest::newRow("short key") << setupEntryLine(u"ct_cor"_s, u"130.5"_s)
                               << u"ct_cor                   130.5"_s;
    QTest::newRow("24 characters: one blank")
        << setupEntryLine(u"auto_save_in_sub_folders"_s, u"1"_s) << u"auto_save_in_sub_folders 1"_s;
    QTest::newRow("25 characters: one blank")
        << setupEntryLine(u"ct_dataset_start_image_no"_s, u"0"_s) << u"ct_dataset_start_image_no 0"_s;
    QTest::newRow("longer: one blank") << setupEntryLine(u"seq_exec_keep_range_on_new_set"_s, u"0"_s)
                                       << u"seq_exec_keep_range_on_new_set 0"_s;
    QTest::newRow("empty value: the padded key alone")
        << setupEntryLine(u"auto_save_image_tag"_s, QString()) << u"auto_save_image_tag      "_s;
    QTest::newRow("partial off: three blanks before the 0")
        << setupEntryLine(u"ct_use_partial_data_set"_s, u" 0"_s) << u"ct_use_partial_data_set   0"_s;
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
    QTest::newRow("hash after an apostrophe")
        << setupText(u"/data/bob's run#3"_s) << u"\"/data/bob's run#3\""_s;
    QTest::newRow("a double quote without blanks stays plain") << setupText(u"a\"b"_s) << u"a\"b"_s;
    QTest::newRow("folder and pattern")
        << setupDirPattern(u"/data/set/ct_0001.img"_s) << u"/data/set *.img"_s;
    QTest::newRow("folder with a blank")
        << setupDirPattern(u"/data/my set/a.tif"_s) << u"\"/data/my set\" *.tif"_s;
    QTest::newRow("the last suffix only") << setupDirPattern(u"/d/a.b.img"_s) << u"/d *.img"_s;
}

void TestBatchCmd::setupTexts()
{
    QFETCH(QString, got);
    QFETCH(QString, expected);
    QCOMPARE(got, expected);
}

void TestBatchCmd::textsReadBackWhole_data()
{
    QTest::addColumn<QString>("text");
    for (const QString &t : {u"/data/run1"_s, u"/data/with blank/x"_s, u"/data/run#3"_s,
             u"/data/bob's run#3"_s, u"a'b#c"_s, u"x\"y#z"_s, u"it's"_s})
        QTest::newRow(qPrintable(t)) << t;
}

void TestBatchCmd::textsReadBackWhole()
{
    // Through the same reading as a setup line: comment cut, then the batch line's items.
    QFETCH(QString, text);
    const BatchCmd read
        = parseBatchCmd(stripComment(setupEntryLine(u"auto_save_data_path"_s, setupText(text))));
    QCOMPARE(textArg(read), text);
}

void TestBatchCmd::fileText()
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

QTEST_GUILESS_MAIN(TestBatchCmd)
#include "tst_batchcmd.moc"

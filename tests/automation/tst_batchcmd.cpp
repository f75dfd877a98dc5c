// Qt
#include <QTest>

// Local
#include "automation/batchcmd.h"
#include "automation/batchcommands.h"
#include "automation/batchlines.h"
#include <set>

using namespace Qt::StringLiterals;

/// Parsing of command lines, the readings of their arguments, the lines of a batch file and the
/// command vocabulary.
class TestBatchCmd : public QObject
{
    Q_OBJECT
private slots:
    void parse_data();
    void parse();
    void flagArg_data();
    void flagArg();
    void numberArgs_data();
    void numberArgs();
    void commandLines_data();
    void commandLines();
    void commandSet();
    void lookup_data();
    void lookup();
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

void TestBatchCmd::flagArg_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<bool>("on");
    QTest::newRow("1") << u"f 1"_s << true;
    QTest::newRow("0") << u"f 0"_s << false;
    QTest::newRow("2") << u"f 2"_s << false;
    QTest::newRow("a word") << u"f yes"_s << false;
    QTest::newRow("1.0 is no integer") << u"f 1.0"_s << false;
    QTest::newRow("missing") << u"f"_s << false;
    QTest::newRow("-1") << u"f -1"_s << false;
}

void TestBatchCmd::flagArg()
{
    QFETCH(QString, line);
    QFETCH(bool, on);
    QCOMPARE(::flagArg(parseBatchCmd(line)), on);
}

void TestBatchCmd::numberArgs_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<int>("n");
    QTest::addColumn<int>("integer");
    QTest::addColumn<double>("real");
    QTest::addColumn<QString>("text");
    QTest::newRow("integer") << u"c 42"_s << 0 << 42 << 42.0 << u"42"_s;
    QTest::newRow("negative") << u"c -5"_s << 0 << -5 << -5.0 << u"-5"_s;
    QTest::newRow("real") << u"c 1.5e2"_s << 0 << 0 << 150.0 << u"1.5e2"_s;
    QTest::newRow("second argument") << u"c 7 2.25"_s << 1 << 0 << 2.25 << u"2.25"_s;
    QTest::newRow("word") << u"c abc"_s << 0 << 0 << 0.0 << u"abc"_s;
    QTest::newRow("beyond 32 bits") << u"c 99999999999"_s << 0 << 0 << 99999999999.0 << u"99999999999"_s;
    QTest::newRow("not a number") << u"c nan"_s << 0 << 0 << 0.0 << u"nan"_s;
    QTest::newRow("infinity") << u"c -inf"_s << 0 << 0 << 0.0 << u"-inf"_s;
    QTest::newRow("overflowing real") << u"c 1e400"_s << 0 << 0 << 0.0 << u"1e400"_s;
    QTest::newRow("missing") << u"c"_s << 0 << 0 << 0.0 << QString();
    QTest::newRow("negative position") << u"c 3"_s << -1 << 0 << 0.0 << QString();
}

void TestBatchCmd::numberArgs()
{
    QFETCH(QString, line);
    QFETCH(int, n);
    QFETCH(int, integer);
    QFETCH(double, real);
    QFETCH(QString, text);
    const BatchCmd c = parseBatchCmd(line);
    QCOMPARE(intArg(c, n), integer);
    QCOMPARE(realArg(c, n), real);
    QCOMPARE(textArg(c, n), text);
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
        u"zelmapLink_exec_2da"_s, u"zelmapLink_cont_2da"_s, u"auto_save_tiff"_s,
        u"ct_single_precision"_s, u"ct_cor_guess_method"_s, u"ct_cor_scan"_s, u"ct_use_recorded_cor"_s,
        u"ct_guess_cor_line"_s, u"ct_ring_removal"_s, u"ct_ring_params"_s, u"seq_exec_allow_uneven_sets"_s};
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

QTEST_GUILESS_MAIN(TestBatchCmd)
#include "tst_batchcmd.moc"

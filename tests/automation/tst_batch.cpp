// Qt
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

// Local
#include "automation/batch.h"
#include "automation/batchcmd.h"
#include "automation/batchcommands.h"
#include "automation/batchlines.h"
#include "automation/setupfile.h"
#include "automation/xafsbatch.h"
#include "config/linetokenizer.h"
#include <functional>
#include <map>
#include <sys/stat.h>

using namespace Qt::StringLiterals;

namespace {

/// Stands in for the main window: records each line handed out ("word|arg|arg") and reports it
/// done, queued as the window does, with a failed result for the calls listed in `fails`
/// ("word:n", the n-th call of that word counted from 1).
class FakeWindow : public QObject
{
public:
    FakeWindow(Batch &batch, QStringList fails = {})
        : batch_(batch)
        , fails_(std::move(fails))
    {
        connect(&batch, &Batch::batchExCmd, this, &FakeWindow::exec);
    }

    QStringList executed;
    bool answer = true; // report each line done by itself
    int reportsPerLine = 1;
    std::function<void(const BatchCmd &)> onLine;

    void report(bool ok)
    {
        QMetaObject::invokeMethod(
            &batch_,
            [this, ok] {
                if (!ok)
                    batch_.setLastOk(false);
                batch_.batchCheckEnd();
            },
            Qt::QueuedConnection);
    }

private:
    void exec(const BatchCmd &c)
    {
        executed << (QStringList {c.cmd} + c.args).join(u'|');
        const int call = ++calls_[c.cmd];
        if (onLine)
            onLine(c);
        if (!answer)
            return;
        const bool ok = !fails_.contains(u"%1:%2"_s.arg(c.cmd).arg(call));
        for (int i = 0; i < reportsPerLine; ++i)
            report(ok);
    }

    Batch &batch_;
    QStringList fails_;
    std::map<QString, int> calls_;
};

} // namespace

/// Batch files: parsing of command lines and their arguments, the lines of a file, the command
/// vocabulary and the entry lines of setup files (read back as batch lines); the interpreter
/// (loading, flow words, conditions and the one-line-at-a-time handshake) and the sequential driver
/// of a series (its stages, and the completions it answers).
class TestBatch : public QObject
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
    void setupTexts_data();
    void setupTexts();
    void textsReadBackWhole_data();
    void textsReadBackWhole();
    void flow_data();
    void flow();
    void execPressedTwiceStopsAfterTheLine();
    void reportsAndLoadsDuringARun();
    void refusedFileKeepsTheLines_data();
    void refusedFileKeepsTheLines();
    void setupFileLines_data();
    void setupFileLines();
    void includesAndLatin1();
    void endlessFlowLoopStops();
    void longFlowChainsRun();
    void aRunOfTwoSetsAndAnAbortedOne();
    void completionsOutOfTurnAreIgnored_data();
    void completionsOutOfTurnAreIgnored();

private:
    static QStringList messages(const QSignalSpy &stages);
    QString write(const QString &name, const QStringList &lines);
    QString writeBytes(const QString &name, const QByteArray &bytes);
    bool run(Batch &batch, const QString &file);
    QTemporaryDir dir_;
};

void TestBatch::parse_data()
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

void TestBatch::parse()
{
    QFETCH(QString, line);
    QFETCH(QString, cmd);
    QFETCH(QStringList, args);
    const BatchCmd c = parseBatchCmd(line);
    QCOMPARE(c.line, line);
    QCOMPARE(c.cmd, cmd);
    QCOMPARE(c.args, args);
}

void TestBatch::numberArgs_data()
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

void TestBatch::numberArgs()
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

void TestBatch::commandLines_data()
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

void TestBatch::commandLines()
{
    QFETCH(QStringList, file);
    QFETCH(QStringList, lines);
    QCOMPARE(batchCommandLines(file), lines);
}

void TestBatch::commandSet()
{
    // Each word once without regard to case, and found in any case; the flow words, headings and
    // inert lines are none of the executor's.
    const QList<BatchCommandEntry> &set = batchCommandSet();
    QCOMPARE(set.size(), 83 + 35); // the window's own, then the ones added for unattended runs
    for (qsizetype i = 0; i < set.size(); ++i) {
        QVERIFY2(!set[i].word.startsWith(u':'), qPrintable(set[i].word));
        QCOMPARE(batchCommandIndex(set[i].word.toUpper()), i);
        QCOMPARE(batchCommandIndex(set[i].word.toLower()), i);
    }
    for (const char *word : {":goto", ":ifok", "##", "#images_load", ""})
        QCOMPARE(batchCommandIndex(QString::fromLatin1(word)), -1);
}

void TestBatch::setupTexts_data()
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

void TestBatch::setupTexts()
{
    QFETCH(QString, got);
    QFETCH(QString, expected);
    QCOMPARE(got, expected);
}

void TestBatch::textsReadBackWhole_data()
{
    QTest::addColumn<QString>("text");
    for (const QString &t : {u"/data/run1"_s, u"/data/with blank/x"_s, u"/data/run#3"_s,
             u"/data/bob's run#3"_s, u"a'b#c"_s, u"x\"y#z"_s, u"it's"_s})
        QTest::newRow(qPrintable(t)) << t;
}

void TestBatch::textsReadBackWhole()
{
    // Through the same reading as a setup line: comment cut, then the batch line's items.
    QFETCH(QString, text);
    const BatchCmd read
        = parseBatchCmd(stripComment(setupEntryLine(u"auto_save_data_path"_s, setupText(text))));
    QCOMPARE(textArg(read), text);
}

QString TestBatch::write(const QString &name, const QStringList &lines)
{
    return writeBytes(name, (lines.join(u'\n') + u'\n').toUtf8());
}

QString TestBatch::writeBytes(const QString &name, const QByteArray &bytes)
{
    QFile f(dir_.filePath(name));
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
        return {};
    return f.fileName();
}

bool TestBatch::run(Batch &batch, const QString &file)
{
    QSignalSpy ended(&batch, &Batch::runEnded);
    batch.batchLoad(file);
    batch.batchExec();
    return ended.wait(10000) && !batch.isRunning();
}

QStringList TestBatch::messages(const QSignalSpy &stages)
{
    QStringList list;
    for (const QList<QVariant> &s : stages)
        list << s.at(0).toString();
    return list;
}

void TestBatch::flow_data()
{
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QStringList>("fails");
    QTest::addColumn<QStringList>("executed");

    QTest::newRow("ifng after a failed step ends the run")
        << QStringList {u"seq_exec_next"_s, u":ifng :end"_s, u"show_orig"_s}
        << QStringList {u"seq_exec_next:1"_s} << QStringList {u"seq_exec_next"_s};
    QTest::newRow("ifng after a good step is passed over")
        << QStringList {u"seq_exec_next"_s, u":ifng :end"_s, u"show_orig"_s} << QStringList {}
        << QStringList {u"seq_exec_next"_s, u"show_orig"_s};
    QTest::newRow("an untaken ifok keeps the failure for the ifng after it")
        << QStringList {u"seq_exec_next"_s, u":ifok :goto last"_s, u":ifng show_bg"_s, u"show_orig"_s,
               u"last"_s}
        << QStringList {u"seq_exec_next:1"_s}
        << QStringList {u"seq_exec_next"_s, u"show_bg"_s, u"show_orig"_s};
    QTest::newRow("goto loops back to a label line, which the window does not get")
        << QStringList {u"top"_s, u"show_i0"_s, u":ifok :goto top"_s, u"show_bg"_s}
        << QStringList {u"show_i0:3"_s}
        << QStringList {u"show_i0"_s, u"show_i0"_s, u"show_i0"_s, u"show_bg"_s};
    QTest::newRow("goto to a missing label fails its line") << QStringList {u":goto nowhere"_s,
        u":ifng show_orig"_s} << QStringList {} << QStringList {u"show_orig"_s};
    QTest::newRow("labels are case-sensitive")
        << QStringList {u":goto Top"_s, u"top"_s, u":ifng show_orig"_s, u"Top"_s, u"show_sinogram"_s}
        << QStringList {} << QStringList {u"show_sinogram"_s};
    QTest::newRow("a word that is no command fails its line") << QStringList {u"calc_exce"_s,
        u":ifng show_orig"_s} << QStringList {} << QStringList {u"show_orig"_s};
    QTest::newRow("the label of a conditional jump is no failure") << QStringList {u":ifng :goto failed"_s,
        u"failed"_s, u":ifng show_orig"_s} << QStringList {} << QStringList {};
    QTest::newRow("a blank line keeps the result")
        << QStringList {u"seq_exec_next"_s, u"   "_s, u":ifng show_orig"_s}
        << QStringList {u"seq_exec_next:1"_s} << QStringList {u"seq_exec_next"_s, u"show_orig"_s};
    QTest::newRow("flow words in capitals") << QStringList {u"show_orig"_s, u":END"_s, u"show_sinogram"_s}
                                            << QStringList {} << QStringList {u"show_orig"_s};
    QTest::newRow("command words go out as written") << QStringList {u"CALC_EXEC"_s, u":Stop"_s,
        u"show_orig"_s} << QStringList {} << QStringList {u"CALC_EXEC"_s};
    QTest::newRow("goto without a label jumps to a blank line") << QStringList {u"   "_s, u"show_ct1"_s,
        u":ifok :goto"_s} << QStringList {u"show_ct1:2"_s} << QStringList {u"show_ct1"_s, u"show_ct1"_s};
    QTest::newRow("a condition's command keeps its quoted texts") << QStringList {
        u":ifok images_load \"/a b\" *.img"_s} << QStringList {} << QStringList {u"images_load|/a b|*.img"_s};
    QTest::newRow("stop ends the run") << QStringList {u"show_orig"_s, u":stop"_s, u"show_sinogram"_s}
                                       << QStringList {} << QStringList {u"show_orig"_s};
    QTest::newRow("echo") << QStringList {u":echo two  words and more"_s, u"show_orig"_s} << QStringList {}
                          << QStringList {u"show_orig"_s};
}

void TestBatch::flow()
{
    QFETCH(QStringList, lines);
    QFETCH(QStringList, fails);
    QFETCH(QStringList, executed);
    Batch batch;
    FakeWindow window(batch, fails);
    for (const QString &line : lines) {
        if (line.startsWith(u":echo"_s))
            QTest::ignoreMessage(QtInfoMsg, qPrintable(line)); // the whole line, as written
    }
    QVERIFY(run(batch, write(u"flow.bat"_s, lines)));
    QCOMPARE(window.executed, executed);
}

void TestBatch::execPressedTwiceStopsAfterTheLine()
{
    Batch batch;
    FakeWindow window(batch);
    window.answer = false;
    QSignalSpy handedOut(&batch, &Batch::batchExCmd);
    QSignalSpy ended(&batch, &Batch::runEnded);
    batch.batchLoad(write(u"twice.bat"_s, {u"show_orig"_s, u"show_sinogram"_s, u"show_ct1"_s}));
    batch.batchExec();
    QVERIFY(handedOut.wait(5000));
    batch.batchExec(); // pressed again while "a" is out
    QVERIFY(!batch.isRunning());
    QCOMPARE(ended.count(), 1);
    window.report(true);
    QTest::qWait(50); // nothing further may be handed out
    QCOMPARE(window.executed, QStringList {u"show_orig"_s});
}

void TestBatch::reportsAndLoadsDuringARun()
{
    // Reports that belong to no line out (a setup file executed meanwhile) must not advance the
    // run: each line still runs once, in order, and only after the one before it is done. A file
    // loaded during the run goes on at the next line's position.
    Batch batch;
    FakeWindow window(batch);
    window.reportsPerLine = 3;
    const QString first
        = write(u"first.bat"_s, {u"show_orig"_s, u"show_sinogram"_s, u"show_ct1"_s, u"show_i0"_s});
    const QString second
        = write(u"second.bat"_s, {u"calc_ct1"_s, u"calc_ct2"_s, u"calc_exec"_s, u"app_quit"_s});
    window.onLine = [&](const BatchCmd &c) {
        if (c.cmd == u"show_sinogram"_s)
            batch.batchLoad(second);
    };
    batch.batchLoad(first);
    batch.batchCheckEnd(); // before any run
    QVERIFY(run(batch, first));
    QCOMPARE(
        window.executed, (QStringList {u"show_orig"_s, u"show_sinogram"_s, u"calc_exec"_s, u"app_quit"_s}));
}

void TestBatch::refusedFileKeepsTheLines_data()
{
    // A device never ends and a pipe blocks the opening until someone writes to it; a file that is
    // no text, or whose INCLUDE cannot be followed, is not run in part.
    QTest::addColumn<QString>("name"); // "fifo": a named pipe made here
    QTest::addColumn<QByteArray>("bytes"); // written into the file `name` of the test's folder
    QTest::addColumn<QString>("message"); // @F@: the file's path
    const QString special = u"Batch file is not a regular file, not read : @F@"_s;
    QTest::newRow("missing") << dir_.filePath(u"missing.bat"_s) << QByteArray()
                             << u"Can't open batch file @F@"_s;
    QTest::newRow("device") << u"/dev/zero"_s << QByteArray() << special;
    QTest::newRow("named pipe") << u"fifo"_s << QByteArray() << special;
    QTest::newRow("a NUL byte") << u"nul.bat"_s << QByteArray("show_orig\nct_cor 1\0 2\n", 22)
                                << u"Batch file is not text (a NUL byte on line 2), not read : @F@"_s;
    QTest::newRow("binary") << u"elf.bat"_s
                            << QByteArray("\x7f"
                                          "ELF\x02\x01\n")
                            << u"Batch file is not text (control character 0x7f on line 1), not read : @F@"_s;
    QTest::newRow("an include loop") << u"loop.bat"_s << QByteArray("show_orig\nINCLUDE @F@\n")
                                     << u"Batch file includes itself (INCLUDE loop), not read : @F@ "
                                        "(INCLUDE in @F@ line 2)"_s;
    QTest::newRow("an include of nothing") << u"inc.bat"_s << QByteArray("include @D@/none.bat\nshow_orig\n")
                                           << u"Can't open batch file @D@/none.bat (INCLUDE in @F@ line 1)"_s;
}

void TestBatch::setupFileLines_data()
{
    // A setup file's text is read as a batch file's: no bytes that are no text.
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("lines"); // none: refused
    QTest::newRow("CRLF, a byte-order mark")
        << QByteArray("\xef\xbb\xbf# Setup\r\nct_cor 12\r\n") << QStringList {u"# Setup"_s, u"ct_cor 12"_s};
    QTest::newRow("Latin-1") << QByteArray("auto_save_data_name \xe9t\xe9\n")
                             << QStringList {u"auto_save_data_name \u00e9t\u00e9"_s};
    QTest::newRow("a NUL byte") << QByteArray("ct_cor 1\0 2\n", 11) << QStringList {};
}

void TestBatch::setupFileLines()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, lines);
    const QString file = writeBytes(u"setup.cfg"_s, bytes);
    QVERIFY(!file.isEmpty());
    QString why;
    const std::optional<QStringList> read = readSetupLines(file, why);
    QCOMPARE(read.has_value(), !lines.isEmpty());
    if (read)
        QCOMPARE(*read, lines);
    else
        QVERIFY2(why.startsWith(u"can't open save setup file : "_s + file) && why.contains(u"NUL"_s),
            qPrintable(why));
}

void TestBatch::refusedFileKeepsTheLines()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, message);
    if (name == u"fifo"_s) {
        name = dir_.filePath(u"pipe.bat"_s);
        QCOMPARE(::mkfifo(QFile::encodeName(name).constData(), 0600), 0);
    } else if (!bytes.isNull()) {
        name = dir_.filePath(name);
        QVERIFY(!writeBytes(QFileInfo(name).fileName(),
            bytes.replace("@F@", name.toUtf8()).replace("@D@", dir_.path().toUtf8()))
                     .isEmpty());
    }
    Batch batch;
    FakeWindow window(batch);
    batch.batchLoad(write(u"good.bat"_s, {u"show_orig"_s, u"show_bg"_s}));
    QSignalSpy failed(&batch, &Batch::loadFailed);
    QTest::ignoreMessage(
        QtCriticalMsg, qPrintable(message.replace(u"@F@"_s, name).replace(u"@D@"_s, dir_.path())));
    batch.batchLoad(name);
    QCOMPARE(failed.count(), 1);
    QCOMPARE(batch.lines(), (QStringList {u"show_orig"_s, u"show_bg"_s}));
    QSignalSpy ended(&batch, &Batch::runEnded);
    batch.batchExec();
    QVERIFY(ended.wait(5000));
    QCOMPARE(window.executed, (QStringList {u"show_orig"_s, u"show_bg"_s}));
}

void TestBatch::includesAndLatin1()
{
    // INCLUDE reads another file at its place, its name relative to the working folder; a file that
    // is no valid UTF-8 is Latin-1.
    Batch batch;
    FakeWindow window(batch);
    QVERIFY(run(batch, writeBytes(u"empty.bat"_s, {})));
    QVERIFY(window.executed.isEmpty());

    const QString previous = QDir::currentPath();
    QVERIFY(QDir::setCurrent(dir_.path()));
    writeBytes(u"inner.bat"_s, "auto_save_data_path /data/caf\xe9 # Latin-1\n");
    writeBytes(u"middle.bat"_s, "show_bg\nInclude inner.bat\n");
    const QString outer = writeBytes(u"outer.bat"_s, "show_orig\nINCLUDE middle.bat\ncalc_exec\n");
    const bool ran = run(batch, outer);
    QDir::setCurrent(previous);
    QVERIFY(ran);
    QCOMPARE(window.executed,
        (QStringList {
            u"show_orig"_s, u"show_bg"_s, u"auto_save_data_path|/data/caf\u00e9"_s, u"calc_exec"_s}));
}

void TestBatch::endlessFlowLoopStops()
{
    // Flow lines alone jumping back to their label would run for ever: the run stops, failed. A loop
    // with a command in it goes on as long as it is asked to.
    QLoggingCategory::setFilterRules(u"qv.automation.info=false"_s);
    Batch batch;
    FakeWindow window(batch, {u"show_i0:3"_s});
    QSignalSpy failed(&batch, &Batch::lineFailed);
    QTest::ignoreMessage(QtCriticalMsg,
        QRegularExpression(u"jumped to the label \"spin\" 100000 times without a command between"_s));
    const bool ended = run(batch,
        write(u"loops.bat"_s,
            {u"top"_s, u"show_i0"_s, u":ifok :goto top"_s, u"spin"_s, u":echo"_s, u":goto spin"_s,
                u"show_bg"_s}));
    QLoggingCategory::setFilterRules(QString());
    QVERIFY(ended);
    QCOMPARE(failed.count(), 1);
    QVERIFY(!batch.lastOk());
    QCOMPARE(window.executed, (QStringList {u"show_i0"_s, u"show_i0"_s, u"show_i0"_s}));
}

void TestBatch::longFlowChainsRun()
{
    // Flow lines follow each other without the window; a long chain must neither exhaust the
    // stack nor keep a stop from being seen.
    const QtMessageHandler previous
        = qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    QStringList lines(30000, u":echo x"_s);
    lines << u"show_orig"_s;
    Batch batch;
    FakeWindow window(batch);
    const bool ended = run(batch, write(u"long.bat"_s, lines));
    qInstallMessageHandler(previous);
    QVERIFY(ended);
    QCOMPARE(window.executed, QStringList {u"show_orig"_s});
}

void TestBatch::aRunOfTwoSetsAndAnAbortedOne()
{
    XafsBatch driver;
    QSignalSpy stages(&driver, &XafsBatch::stage);
    QSignalSpy first(&driver, &XafsBatch::setFirstImageSet);
    QSignalSpy next(&driver, &XafsBatch::setNextImageSet);
    QSignalSpy calc(&driver, &XafsBatch::execCalculation);
    QSignalSpy finished(&driver, &XafsBatch::finished);
    QSignalSpy starting(&driver, &XafsBatch::starting);

    driver.start();
    QVERIFY(driver.isRunning());
    QCOMPARE(starting.size(), 1);
    QCOMPARE(first.size(), 1);
    driver.loadedDataSet();
    QCOMPARE(calc.size(), 1);
    QTest::qWait(120); // a stage that takes time shows it
    driver.calcFinished();
    QCOMPARE(next.size(), 1);
    driver.loadedDataSet();
    driver.calcFinished();
    QCOMPARE(next.size(), 2);
    driver.noMoreSets();
    QVERIFY(!driver.isRunning());
    QCOMPARE(finished.size(), 1);
    QCOMPARE(messages(stages),
        QStringList({u"Data Loading"_s, u"Loading first Data Set"_s, u"Calculating"_s, u"Finished Calc."_s,
            u"Loading next Data Set"_s, u"Calculating"_s, u"Finished Calc."_s, u"Loading next Data Set"_s,
            u"Finished"_s}));
    // Each stage carries the time since the one before; together they make the run's time.
    qlonglong sum = 0;
    for (const QList<QVariant> &s : stages) {
        QVERIFY(s.at(1).toLongLong() >= 0);
        sum += s.at(1).toLongLong();
    }
    QCOMPARE(stages.at(0).at(1).toLongLong(), 0);
    QVERIFY(stages.at(3).at(1).toLongLong() >= 100); // "Finished Calc." after the wait
    QVERIFY(sum >= 100);

    // A run ended early says why, then "Finished"; idle, an abort says nothing, a finish is still
    // reported.
    driver.start();
    driver.abort(u"Data set 2 (Fe 7112_5eV) loaded no image"_s);
    QVERIFY(!driver.isRunning());
    driver.abort(u"nothing runs"_s);
    driver.finish();
    QCOMPARE(finished.size(), 3);
    QCOMPARE(messages(stages).mid(11),
        QStringList({u"Data set 2 (Fe 7112_5eV) loaded no image"_s, u"Finished"_s, u"Finished"_s}));
}

void TestBatch::completionsOutOfTurnAreIgnored_data()
{
    QTest::addColumn<bool>("started");
    QTest::addColumn<QString>("completion");
    QTest::newRow("idle: a load") << false << u"load"_s;
    QTest::newRow("idle: a calculation") << false << u"calc"_s;
    QTest::newRow("idle: no more sets") << false << u"none"_s;
    QTest::newRow("loading: a calculation") << true << u"calc"_s;
}

void TestBatch::completionsOutOfTurnAreIgnored()
{
    QFETCH(bool, started);
    QFETCH(QString, completion);
    XafsBatch driver;
    if (started)
        driver.start();
    const XafsBatch::Phase phase = driver.phase();
    QSignalSpy stages(&driver, &XafsBatch::stage);
    QSignalSpy calc(&driver, &XafsBatch::execCalculation);
    QSignalSpy next(&driver, &XafsBatch::setNextImageSet);
    QSignalSpy finished(&driver, &XafsBatch::finished);
    if (completion == u"load"_s)
        driver.loadedDataSet();
    else if (completion == u"calc"_s)
        driver.calcFinished();
    else
        driver.noMoreSets();
    QCOMPARE(stages.size(), 0);
    QCOMPARE(calc.size() + next.size() + finished.size(), 0);
    QCOMPARE(driver.phase(), phase);

    // While it calculates, a second load is not its own either, and a second start ends the run.
    if (started) {
        driver.loadedDataSet();
        QCOMPARE(calc.size(), 1);
        driver.loadedDataSet();
        driver.noMoreSets(); // an operator's "Set" on no set does not end the calculation
        QCOMPARE(calc.size(), 1);
        QCOMPARE(driver.phase(), XafsBatch::Phase::Calculating);

        driver.start(); // the operator stops it during the calculation
        QVERIFY(!driver.isRunning());
        QCOMPARE(finished.size(), 1);
        QCOMPARE(stages.last().at(0).toString(), u"Finished"_s);
        driver.calcFinished(); // the calculation ends later: ignored
        QCOMPARE(next.size(), 0);
    }
}

QTEST_GUILESS_MAIN(TestBatch)
#include "tst_batch.moc"

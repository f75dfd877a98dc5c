// Qt
#include <QTemporaryDir>
#include <QTest>

// Local
#include "config/configstore.h"
#include "config/linetokenizer.h"
#include "config/startupoptions.h"
#include "tests/common/debuglog.h"
#include <sys/stat.h>

using namespace Qt::StringLiterals;

namespace {

void writeFile(const QString &path, const QByteArray &text)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(text);
}

} // namespace

/// Config files and the command line: the items of a line, reading files, start-up options.
class TestConfigStore : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void takeItem_data();
    void takeItem();
    void stripComment_data();
    void stripComment();
    void isBlankLine_data();
    void isBlankLine();
    void arguments_data();
    void arguments();
    void readsQuotedValuesAndComments();
    void includesInAnyCaseWithoutCycles();
    void startupOptions();
    void unusableFilesAreRefused_data();
    void unusableFilesAreRefused();

private:
    QTemporaryDir dir_;
};

void TestConfigStore::init()
{
    ConfigStore::instance().clear();
    setDataRoot(QStringLiteral("/builtin"));
    setSinogramImageVariant(2);
}

void TestConfigStore::takeItem_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("item");
    QTest::addColumn<QString>("rest");
    QTest::addColumn<QString>("message"); // regular expression of the expected debug message, or empty

    const QString notEnded = QStringLiteral("item is started from quote but not ended by quote");
    const QString notStarted = QStringLiteral("item is started from not quote but ended by quote");
    QTest::newRow("two items") << u"  abc  def"_s << u"abc"_s << u"  def"_s << QString();
    QTest::newRow("quoted, glued rest") << u"\"a b\"c d"_s << u"a b"_s << u"c d"_s << QString();
    QTest::newRow("unclosed quote") << u"\"abc"_s << u"abc"_s << QString() << notEnded;
    QTest::newRow("empty quoted") << u"\"\" x"_s << QString() << u" x"_s << QString();
    QTest::newRow("empty") << QString() << QString() << QString() << QString();
    QTest::newRow("blanks only") << u" \t "_s << QString() << QString() << QString();
    QTest::newRow("last item") << u" abc"_s << u"abc"_s << QString() << QString();
    QTest::newRow("quote inside unquoted item") << u"a\"b c"_s << u"a\"b"_s << u" c"_s << QString();
    QTest::newRow("unquoted item ending in quote") << u"ab\" c"_s << u"ab\""_s << u" c"_s << notStarted;
    QTest::newRow("last unquoted item ending in quote") << u"ab\""_s << u"ab\""_s << QString() << notStarted;
    QTest::newRow("quoted comma and hash")
        << u"\"C:/a, b # c\" 5"_s << u"C:/a, b # c"_s << u" 5"_s << QString();
    QTest::newRow("negative number") << u"-3 -x"_s << u"-3"_s << u" -x"_s << QString();
    QTest::newRow("unicode space separates") << u"a\u3000b"_s << u"a"_s << u"\u3000b"_s << QString();
}

void TestConfigStore::takeItem()
{
    QFETCH(QString, text);
    QFETCH(QString, item);
    QFETCH(QString, rest);
    QFETCH(QString, message);
    if (!message.isEmpty())
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QRegularExpression::escape(message)));
    QString got = QStringLiteral("stale");
    QCOMPARE(::takeItem(text, got), rest);
    QCOMPARE(got, item);
}

void TestConfigStore::stripComment_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("stripped");
    QTest::newRow("no comment") << u"DataRoot /data"_s << u"DataRoot /data"_s;
    QTest::newRow("comment") << u"key value # note"_s << u"key value "_s;
    QTest::newRow("hash in double quotes") << u"DataRoot \"/a # b\" # c"_s << u"DataRoot \"/a # b\" "_s;
    QTest::newRow("hash in apostrophes") << u"k 'x#y' #z"_s << u"k 'x#y' "_s;
    // Only the character that opened a quoted span closes it.
    QTest::newRow("apostrophe in double quotes") << u"k \"it's\" # c"_s << u"k \"it's\" "_s;
    QTest::newRow("hash after an apostrophe in double quotes")
        << u"p \"/data/bob's run#3\""_s << u"p \"/data/bob's run#3\""_s;
    QTest::newRow("double quote in apostrophes") << u"k 'a\"b' # c"_s << u"k 'a\"b' "_s;
    QTest::newRow("whole line") << u"# only a comment"_s << QString();
}

void TestConfigStore::stripComment()
{
    QFETCH(QString, line);
    QFETCH(QString, stripped);
    QCOMPARE(::stripComment(line), stripped);
}

void TestConfigStore::isBlankLine_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<bool>("blank");
    QTest::newRow("empty") << QString() << true;
    QTest::newRow("blanks and comment") << u"   \t # nothing here"_s << true;
    QTest::newRow("item") << u"  x"_s << false;
    QTest::newRow("quoted hash") << u"\"#\""_s << false;
}

void TestConfigStore::isBlankLine()
{
    QFETCH(QString, line);
    QFETCH(bool, blank);
    QCOMPARE(::isBlankLine(line), blank);
}

void TestConfigStore::arguments_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QStringList>("keys");
    QTest::addColumn<QStringList>("values");
    QTest::addColumn<QString>("configFile"); // the config file the arguments choose

    const QString byDefault = u"config.cfg"_s;
    QTest::newRow("negative number is a value and an option of its own")
        << QStringList {u"prog"_s, u"-s"_s, u"-3"_s} << QStringList {u"-s"_s, u"-3"_s}
        << QStringList {u"-3"_s, QString()} << byDefault;
    QTest::newRow("option after option has no value")
        << QStringList {u"prog"_s, u"-s"_s, u"-x"_s} << QStringList {u"-s"_s, u"-x"_s}
        << QStringList {QString(), QString()} << byDefault;
    QTest::newRow("second plain argument is consumed")
        << QStringList {u"prog"_s, u"-c"_s, u"a.cfg"_s, u"b.cfg"_s, u"-e"_s} << QStringList {u"-c"_s, u"-e"_s}
        << QStringList {u"a.cfg"_s, QString()} << u"a.cfg"_s;
    QTest::newRow("decimal negative") << QStringList {u"prog"_s, u"-v"_s, u"-.5"_s} << QStringList {u"-v"_s}
                                      << QStringList {u"-.5"_s} << byDefault;
    QTest::newRow("last option") << QStringList {u"prog"_s, u"-b"_s} << QStringList {u"-b"_s}
                                 << QStringList {QString()} << byDefault;
    QTest::newRow("-config wins") << QStringList {u"prog"_s, u"-config"_s, u"b.cfg"_s, u"-c"_s, u"a.cfg"_s}
                                  << QStringList {u"-config"_s, u"-c"_s}
                                  << QStringList {u"b.cfg"_s, u"a.cfg"_s} << u"b.cfg"_s;
    QTest::newRow("-c without value")
        << QStringList {u"prog"_s, u"-c"_s, u"-e"_s} << QStringList {u"-c"_s, u"-e"_s}
        << QStringList {QString(), QString()} << QString();
}

void TestConfigStore::arguments()
{
    QFETCH(QStringList, args);
    QFETCH(QStringList, keys);
    QFETCH(QStringList, values);
    ConfigStore store;
    store.parseArguments(args);
    QCOMPARE(store.args(), args);
    for (qsizetype i = 0; i < keys.size(); ++i) {
        QVERIFY2(store.contains(keys[i]), qPrintable(keys[i]));
        QCOMPARE(store.configValue(keys[i], u"default"_s), values[i]);
    }
    QVERIFY(!store.contains(u"b.cfg"_s));
    QVERIFY(!store.contains(u"prog"_s));
    QTEST(configFileName(store), "configFile");
}

void TestConfigStore::readsQuotedValuesAndComments()
{
    const QString path = dir_.filePath(u"quoted.cfg"_s);
    writeFile(path,
        "DataRoot \"/beam time/2026 #3\" # where the data are\n"
        "   # a comment line\n"
        "\n"
        "show_all_ct2_images 0\n"
        "show_all_ct2_images 1\n"
        "native_dialog\n");
    ConfigStore store;
    QVERIFY(store.readConfigFile(path));
    QCOMPARE(store.configValue(u"DataRoot"_s, QString()), u"/beam time/2026 #3"_s);
    QCOMPARE(store.configValue(u"show_all_ct2_images"_s, QString()), u"1"_s);
    QCOMPARE(store.lines(),
        QStringList({u"DataRoot \"/beam time/2026 #3\" "_s, u"show_all_ct2_images 0"_s,
            u"show_all_ct2_images 1"_s, u"native_dialog"_s}));
    QCOMPARE(store.fileName(), path);
    // A key without a value is there, with the empty value rather than the default.
    QVERIFY(store.contains(u"native_dialog"_s));
    QCOMPARE(store.configValue(u"native_dialog"_s, u"0"_s), QString());
    QCOMPARE(store.configValue(u"absent"_s, u"0"_s), u"0"_s);
}

void TestConfigStore::includesInAnyCaseWithoutCycles()
{
    const QString a = dir_.filePath(u"a.cfg"_s);
    const QString b = dir_.filePath(u"b.cfg"_s);
    writeFile(a, "InClUdE " + b.toUtf8() + "\nkey_a 1\n"); // the word in any case
    writeFile(b, "INCLUDE " + a.toUtf8() + "\nINCLUDE " + b.toUtf8() + "\nkey_b 2\n");
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"INCLUDE cycle.*a.cfg"_s));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"INCLUDE cycle.*b.cfg"_s));
    ConfigStore store;
    QVERIFY(store.readConfigFile(a));
    QCOMPARE(store.configValue(u"key_a"_s, QString()), u"1"_s);
    QCOMPARE(store.configValue(u"key_b"_s, QString()), u"2"_s);
    // The included lines follow the INCLUDE line, the outer file goes on after them.
    QCOMPARE(store.lines(),
        QStringList({u"InClUdE "_s + b, u"INCLUDE "_s + a, u"INCLUDE "_s + b, u"key_b 2"_s, u"key_a 1"_s}));
    // A file read twice in a row (not nested) is fine.
    QVERIFY(store.readConfigFile(b));
}

void TestConfigStore::startupOptions()
{
    const QString path = dir_.filePath(u"root.cfg"_s);
    writeFile(path, "DataRoot /from/config\n");
    ConfigStore &store = ConfigStore::instance();
    store.parseArguments(
        {u"prog"_s, u"-d"_s, u"/from/option"_s, u"-s"_s, u"-3"_s, u"-e"_s, u"-b"_s, u"-x"_s, u"-nw"_s});
    QVERIFY(store.readConfigFile(path));
    const StartupOptions options = applyStartupOptions(store);
    QCOMPARE(dataRoot(), u"/from/option"_s);
    QCOMPARE(sinogramImageVariant(), -3);
    QVERIFY(options.noTranslation);
    QVERIFY(options.loadBatch);
    QCOMPARE(options.batchFile, QString()); // "-b" followed by an option has the empty value
    QVERIFY(options.execBatch);
    QVERIFY(options.noWindow);

    store.clear();
    QVERIFY(store.readConfigFile(path));
    const StartupOptions none = applyStartupOptions(store);
    QCOMPARE(dataRoot(), u"/from/config"_s);
    QCOMPARE(sinogramImageVariant(), 2);
    QVERIFY(!none.noTranslation && !none.loadBatch && !none.execBatch && !none.noWindow);
}

void TestConfigStore::unusableFilesAreRefused_data()
{
    // What stands under the name: "fifo" (opening it would block start-up), "sparse" (zero bytes
    // past the size bound: one endless line), "dir", nothing, or a path of the system (/dev/null).
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("message");
    QTest::newRow("missing") << u"missing"_s << u"^Can't open config file : "_s;
    QTest::newRow("FIFO") << u"fifo"_s << u"^Config file is not a regular file, not read : "_s;
    QTest::newRow("16 MiB and one byte of zeros")
        << u"sparse"_s << u"^Config file is larger than 16777216 bytes, not read : "_s;
    QTest::newRow("directory") << u"dir"_s << u"^Config file is not a regular file, not read : "_s;
    QTest::newRow("character device")
        << u"/dev/null"_s << u"^Config file is not a regular file, not read : "_s;
}

void TestConfigStore::unusableFilesAreRefused()
{
    QFETCH(QString, kind);
    QFETCH(QString, message);
    QTemporaryDir dir;
    QString target = kind;
    if (kind == u"fifo"_s) {
        target = dir.filePath(u"pipe.cfg"_s);
        QCOMPARE(::mkfifo(QFile::encodeName(target).constData(), 0600), 0);
    } else if (kind == u"sparse"_s) {
        target = dir.filePath(u"huge.cfg"_s);
        QFile f(target);
        QVERIFY(f.open(QIODevice::WriteOnly));
        QVERIFY(f.resize((qint64(16) << 20) + 1));
    } else if (kind == u"dir"_s) {
        target = dir.filePath(u"folder.cfg"_s);
        QVERIFY(QDir().mkpath(target));
    } else if (kind == u"missing"_s) {
        target = dir.filePath(u"missing.cfg"_s);
    }

    // Read directly: refused with the message, nothing stored, what was there kept.
    {
        DebugLog log;
        ConfigStore store;
        store.setEntry(u"k"_s, u"v"_s);
        QVERIFY(!store.readConfigFile(target));
        QCOMPARE(store.fileName(), QString());
        QCOMPARE(store.configValue(u"k"_s, QString()), u"v"_s);
        QVERIFY(store.lines().isEmpty());
        QCOMPARE(log.messages().size(), 1);
        QVERIFY2(QRegularExpression(message + QRegularExpression::escape(target) + u'$')
                     .match(log.messages().constFirst())
                     .hasMatch(),
            qPrintable(log.messages().constFirst()));
    }
    // Included: the outer file goes on around it.
    const QString outer = dir.filePath(u"outer.cfg"_s);
    writeFile(outer, "before 1\nINCLUDE \"" + target.toUtf8() + "\"\nafter 2\n");
    DebugLog log;
    ConfigStore store;
    QVERIFY(store.readConfigFile(outer));
    QCOMPARE(store.configValue(u"before"_s, QString()), u"1"_s);
    QCOMPARE(store.configValue(u"after"_s, QString()), u"2"_s);
    QCOMPARE(store.lines().size(), 3);
    QCOMPARE(log.messages().size(), 1);
}

QTEST_APPLESS_MAIN(TestConfigStore)
#include "tst_configstore.moc"

// Qt
#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

// Local
#include "app/recon/reconoptions.h"
#include "app/recon/reconrun.h"
#include "tools/phantom/phantom.h"

using namespace Qt::StringLiterals;

/// The program run unattended: no display, a batch file, "app_quit".
class TestHeadless : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void batchRunMatchesTheCommand();
    void endings_data();
    void endings();

private:
    // Runs the program without any display; false when it does not end in time.
    bool runProgram(const QStringList &args, int &status, QString &log);
    QString writeBatch(const QString &name, const QByteArray &text);
    QTemporaryDir dir_;
    QString proj_, i0_, bg_;
};

void TestHeadless::initTestCase()
{
    // The demo data set: 180 projections of 256 × 256, vertical axis at x = 130.
    ScanSetup setup;
    proj_ = dir_.filePath(u"projections"_s);
    i0_ = dir_.filePath(u"i0.img"_s);
    bg_ = dir_.filePath(u"bg.img"_s);
    QVERIFY(writeScan(demoPhantom(setup.width), setup, proj_, u"ct_"_s, i0_, bg_));
}

bool TestHeadless::runProgram(const QStringList &args, int &status, QString &log)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(QString::fromLatin1(name));
    p.setProcessEnvironment(env);
    p.setWorkingDirectory(dir_.path()); // no configuration file here
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(QStringLiteral(QUORVEL_PROGRAM), args);
    const bool ended = p.waitForFinished(120000);
    if (!ended)
        p.kill();
    log = QString::fromLocal8Bit(p.readAll());
    status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    return ended;
}

QString TestHeadless::writeBatch(const QString &name, const QByteArray &text)
{
    QFile f(dir_.filePath(name));
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(text) != text.size())
        return {};
    return f.fileName();
}

void TestHeadless::batchRunMatchesTheCommand()
{
    QTemporaryDir fromBatch, fromCommand;
    const QByteArray batch = QStringLiteral("# the demo's main job\n"
                                            "ct_rot_ax_is_v 1\n"
                                            "images_load %1 *.img\n"
                                            "i0_load %2\n"
                                            "bg_load %3\n"
                                            "ct_guess_cor\n"
                                            "ct_auto_exec 1\n"
                                            "ct_slice_from 100\n"
                                            "ct_slice_to 140\n"
                                            "ct_slice_step 20\n"
                                            "auto_save_in_sub_folders 0\n"
                                            "auto_save_data 1\n"
                                            "auto_save_data_path %4\n"
                                            "auto_save_data_name demo\n"
                                            "auto_save_data_tag E0\n"
                                            "auto_save_image 1\n"
                                            "auto_save_image_path %4\n"
                                            "auto_save_image_name demo\n"
                                            "auto_save_image_tag E0\n"
                                            "calc_exec\n"
                                            "app_quit\n")
                                 .arg(proj_, i0_, bg_, fromBatch.path())
                                 .toUtf8();
    int status = -1;
    QString log;
    QVERIFY(runProgram({u"-nw"_s, u"-e"_s, u"-b"_s, writeBatch(u"demo.bat"_s, batch), u"-x"_s}, status, log));
    QVERIFY2(status == 0, qPrintable(log));
    const QRegularExpressionMatch m
        = QRegularExpression(u"ct_guess_cor: centre of rotation (\\S+)"_s).match(log);
    QVERIFY2(m.hasMatch(), qPrintable(log));
    bool ok = false;
    const double cor = m.captured(1).toDouble(&ok);
    QVERIFY(ok && cor > 129 && cor < 132);

    // The same job through the reconstruction command (after loading, the window's regions are 0 … L − 1).
    ReconOptions options;
    QString error;
    QVERIFY2(
        parseReconOptions({proj_, u"--i0"_s, i0_, u"--bg"_s, bg_, u"--axis"_s, u"v"_s, u"--cor"_s,
                              m.captured(1), u"--slices"_s, u"100:140:20"_s, u"--region"_s, u"0,0,255,255"_s,
                              u"--name"_s, u"demo"_s, u"--tag"_s, u"E0"_s, u"--out"_s, fromCommand.path()},
            options, error),
        qPrintable(error));
    QString text;
    QTextStream sink(&text);
    QCOMPARE(ReconRun(options, sink, sink).exec(), 0);

    const QStringList expected {u"demo-E0-00100.dat"_s, u"demo-E0-00100.png"_s, u"demo-E0-00120.dat"_s,
        u"demo-E0-00120.png"_s, u"demo-E0-00140.dat"_s, u"demo-E0-00140.png"_s};
    QCOMPARE(QDir(fromBatch.path()).entryList(QDir::Files), expected);
    QCOMPARE(QDir(fromCommand.path()).entryList(QDir::Files), expected);
    for (const QString &name : expected) {
        QFile a(fromBatch.filePath(name)), b(fromCommand.filePath(name));
        QVERIFY(a.open(QIODevice::ReadOnly) && b.open(QIODevice::ReadOnly));
        QVERIFY2(a.readAll() == b.readAll(), qPrintable(name));
    }
}

void TestHeadless::endings_data()
{
    QTest::addColumn<QByteArray>("batch"); // empty: no batch file at all
    QTest::addColumn<int>("status");
    QTest::newRow("malformed lines, then app_quit") << QByteArray("ct_set_calc_region nan 1e308 -1e308 inf\n"
                                                                  "ct_set_disp_region 1e300\n"
                                                                  "images_seek 99999999999\n"
                                                                  "show_tab 999\nshow_ct2 -4\n"
                                                                  "ct_cor\n"
                                                                  "\"unclosed quote\n"
                                                                  "calc_exec\n" // nothing loaded
                                                                  ":goto nowhere\n"
                                                                  "seq_exec_next\n"
                                                                  ":ifng app_quit\n")
                                                    << 0;
    static const char binary[] = "\x7f"
                                 "ELF\x02\x01\x01\0\0\0\0\x03\0>\0\xff\xfe\n\n\x01\x02"
                                 ":goto\0\xff\n\"\x80\x81";
    QTest::newRow("binary file, ended by its own end") << QByteArray(binary, sizeof(binary) - 1) << 0;
    QTest::newRow("empty file") << QByteArray("") << 0;
    QTest::newRow("a result that cannot be written")
        << QByteArray("ct_rot_ax_is_v 1\nimages_load @PROJ@ *.img\nct_cor 130\ncalc_ct2 1\nauto_save_data 1\n"
                      "auto_save_data_path /dev/null/nowhere\ncalc_exec\napp_quit\n")
        << 1;
    QTest::newRow("no batch file") << QByteArray() << 1;
}

void TestHeadless::endings()
{
    QFETCH(QByteArray, batch);
    QFETCH(int, status);
    QString file = dir_.filePath(u"missing.bat"_s);
    if (!batch.isNull())
        file = writeBatch(u"ending.bat"_s, QByteArray(batch).replace("@PROJ@", proj_.toUtf8()));
    int got = -1;
    QString log;
    QVERIFY2(runProgram({u"-nw"_s, u"-e"_s, u"-b"_s, file, u"-x"_s}, got, log), qPrintable(log));
    QVERIFY2(got == status, qPrintable(log));
}

QTEST_GUILESS_MAIN(TestHeadless)
#include "tst_headless.moc"

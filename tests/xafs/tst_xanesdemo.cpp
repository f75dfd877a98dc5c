// Qt
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTextStream>

// Local
#include "xafs/xanesrun.h"
#include <algorithm>
#include <hdf5.h>

/// The whole road on the demo series: quorvel-demo --xanes writes the projections of two iron
/// inserts in known shares of two species at 37 energies while the sample drifts, quorvel-recon
/// reconstructs them as float TIFF, and quorvel-xanes aligns them and makes the maps: each insert's
/// fractions are the shares the demo wrote, and its edge jump twice the attenuation per pixel the
/// demo gave the iron.
class TestXanesDemo : public QObject
{
    Q_OBJECT
private slots:
    void mapsGiveTheShares();
};

namespace {

bool runProgram(const QString &program, const QStringList &args)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    p.setStandardOutputFile(QProcess::nullDevice());
    p.start(program, args);
    return p.waitForFinished(120000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

std::vector<float> readMap(const QString &file, const char *path, std::vector<hsize_t> &dims)
{
    std::vector<float> values;
    const hid_t f = H5Fopen(QFile::encodeName(file).constData(), H5F_ACC_RDONLY, H5P_DEFAULT);
    const hid_t d = f >= 0 ? H5Dopen2(f, path, H5P_DEFAULT) : -1;
    if (d >= 0) {
        const hid_t space = H5Dget_space(d);
        dims.assign(3, 0);
        H5Sget_simple_extent_dims(space, dims.data(), nullptr);
        values.resize(std::size_t(H5Sget_simple_extent_npoints(space)));
        H5Dread(d, H5T_NATIVE_FLOAT, H5S_ALL, H5S_ALL, H5P_DEFAULT, values.data());
        H5Sclose(space);
        H5Dclose(d);
    }
    if (f >= 0)
        H5Fclose(f);
    return values;
}

double median(std::vector<double> v)
{
    if (v.empty())
        return std::nan("");
    std::nth_element(v.begin(), v.begin() + std::ptrdiff_t(v.size() / 2), v.end());
    return v[v.size() / 2];
}

} // namespace

void TestXanesDemo::mapsGiveTheShares()
{
    // A small demo: 80 pixels wide, 40 projections, the 16 slices about the inserts.
    QTemporaryDir dir;
    const QString demo = dir.filePath(QStringLiteral("xanes")),
                  slices = dir.filePath(QStringLiteral("slices"));
    QVERIFY(runProgram(QStringLiteral(QUORVEL_DEMO),
        {QStringLiteral("--xanes"), demo, QStringLiteral("--size"), QStringLiteral("80"),
            QStringLiteral("--projections"), QStringLiteral("40")}));
    QVERIFY(runProgram(QStringLiteral(QUORVEL_RECON),
        {QStringLiteral("--series"), demo + QStringLiteral("/projections"), QStringLiteral("--i0-files"),
            demo + QStringLiteral("/i0"), QStringLiteral("--bg"), demo + QStringLiteral("/bg.img"),
            QStringLiteral("--axis"), QStringLiteral("v"), QStringLiteral("--cor"), QStringLiteral("40.6"),
            QStringLiteral("--slices"), QStringLiteral("12:27"), QStringLiteral("--sub-folders"),
            QStringLiteral("energy"), QStringLiteral("--tiff"), QStringLiteral("--no-png"),
            QStringLiteral("--no-data"), QStringLiteral("--name"), QStringLiteral("demo"),
            QStringLiteral("--out"), slices}));
    XanesOptions options;
    QString error;
    QVERIFY(parseXanesOptions(
        {slices, QStringLiteral("--out"), slices, QStringLiteral("--edge"), QStringLiteral("7112"),
            QStringLiteral("--pre=-72:-10"), QStringLiteral("--threads"), QStringLiteral("2"),
            QStringLiteral("--standards"),
            QStringLiteral("metal=%1/standards/metal.txt,oxide=%1/standards/oxide.txt").arg(demo)},
        options, error));
    QString text;
    QTextStream out(&text);
    QCOMPARE(runXanes(options, out, out, QStringLiteral("quorvel-xanes")), 0);

    // The shares the demo wrote: insert, x (columns from the axis), …, metal, oxide.
    QFile composition(demo + QStringLiteral("/composition.tsv"));
    QVERIFY(composition.open(QIODevice::ReadOnly));
    std::vector<QStringList> inserts;
    for (const QString &line : QString::fromUtf8(composition.readAll()).split(u'\n', Qt::SkipEmptyParts))
        if (!line.startsWith(u'#'))
            inserts.push_back(line.split(u'\t'));
    QCOMPARE(inserts.size(), std::size_t(2));
    QVERIFY(inserts[0][1].toDouble() < 0 && inserts[1][1].toDouble() > 0); // A left of the axis, B right

    // The inserts' insides: where the jump is near its largest; A in the left half, B in the right.
    const QString maps = slices + QStringLiteral("/maps.h5");
    std::vector<hsize_t> dims;
    const std::vector<float> jump = readMap(maps, "/entry/maps/edge_jump", dims);
    const std::vector<float> metal = readMap(maps, "/entry/maps/fraction-metal", dims);
    const std::vector<float> oxide = readMap(maps, "/entry/maps/fraction-oxide", dims);
    QVERIFY(!jump.empty() && metal.size() == jump.size() && dims.size() == 3);
    std::vector<double> finite;
    for (float j : jump)
        if (std::isfinite(j))
            finite.push_back(j);
    std::sort(finite.begin(), finite.end());
    const double high = 0.7 * finite[finite.size() - 1 - finite.size() / 1000];
    std::vector<double> f[2][3];
    for (std::size_t v = 0; v < jump.size(); ++v)
        if (jump[v] > high) {
            const int side = (v % dims[2]) < dims[2] / 2 ? 0 : 1;
            f[side][0].push_back(metal[v]);
            f[side][1].push_back(oxide[v]);
            f[side][2].push_back(jump[v]);
        }
    for (int i = 0; i < 2; ++i) {
        QVERIFY2(f[i][0].size() > 30, qPrintable(text));
        const double m = median(f[i][0]), o = median(f[i][1]), j = median(f[i][2]);
        const QString what = QStringLiteral("insert %1: metal %2, oxide %3, jump %4")
                                 .arg(inserts[std::size_t(i)][0])
                                 .arg(m)
                                 .arg(o)
                                 .arg(j);
        QVERIFY2(std::abs(m - inserts[std::size_t(i)][5].toDouble()) < 0.03, qPrintable(what));
        QVERIFY2(std::abs(o - inserts[std::size_t(i)][6].toDouble()) < 0.03, qPrintable(what));
        QVERIFY2(std::abs(j / (2 * 0.03) - 1.0) < 0.1,
            qPrintable(what)); // the demo's iron: a jump of 0.03 per pixel
    }
}

QTEST_GUILESS_MAIN(TestXanesDemo)
#include "tst_xanesdemo.moc"

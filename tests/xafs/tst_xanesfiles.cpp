// Qt
#include <QImage>
#include <QTemporaryDir>
#include <QTest>
#include <QTextStream>

// Local
#include "tests/xafs/xafsseries.h"
#include "tests/xafs/xanesseries.h"
#include "xafs/alignedfile.h"
#include "xafs/mappicture.h"
#include "xafs/mapwriter.h"
#include "xafs/xanesplan.h"
#include "xafs/xanesrun.h"
#include <hdf5.h>
#include <map>
#include <tiffio.h>

using namespace xanestest;

/// The maps as files, by the command's code: a series folder taken as it is and the same series as
/// aligned.h5 give the same maps; the stacks of float TIFF, maps.h5 and the pictures read back; a
/// voxel's spectrum printed; standards files read; options and series that do not fit refused.
class TestXanesFiles : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void folderAndAlignedFileGiveTheMaps();
    void slabsMakeTheSameFiles();
    void spectrumLines();
    void standardsFiles_data();
    void standardsFiles();
    void refusals_data();
    void refusals();
    void badOptions_data();
    void badOptions();

private:
    int run(const QStringList &args, QString *messages = nullptr);
    QTemporaryDir dir_;
    QString series_, aligned_, standards_;
    const VolumeShape shape_ {4, 24, 24};
};

namespace {

// The shares of species A: 0.7 in columns 0 … 11, 0.2 beyond; rows 20 … 23 hold no element.
double shareA(int x)
{
    return x < 12 ? 0.7 : 0.2;
}
double jumpAt(int y)
{
    return y < 20 ? 0.05 + 0.05 * y / 19.0 : 0.0;
}

struct Stack
{
    int pages = 0, width = 0, height = 0;
    std::vector<float> values;
    QStringList descriptions;
};

Stack readStack(const QString &path)
{
    Stack s;
    TIFF *tif = TIFFOpen(QFile::encodeName(path).constData(), "r");
    if (!tif)
        return s;
    do {
        uint32_t w = 0, h = 0;
        uint16_t bits = 0, format = 0;
        char *text = nullptr;
        TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &w);
        TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &h);
        TIFFGetField(tif, TIFFTAG_BITSPERSAMPLE, &bits);
        TIFFGetField(tif, TIFFTAG_SAMPLEFORMAT, &format);
        if (TIFFGetField(tif, TIFFTAG_IMAGEDESCRIPTION, &text))
            s.descriptions << QString::fromUtf8(text);
        if (bits != 32 || format != SAMPLEFORMAT_IEEEFP)
            break;
        s.width = int(w);
        s.height = int(h);
        std::vector<float> row(w);
        for (uint32_t y = 0; y < h; ++y) {
            TIFFReadScanline(tif, row.data(), y);
            s.values.insert(s.values.end(), row.begin(), row.end());
        }
        ++s.pages;
    } while (TIFFReadDirectory(tif));
    TIFFClose(tif);
    return s;
}

std::vector<float> readMap(const QString &file, const char *path, QString *units = nullptr)
{
    std::vector<float> values;
    const hid_t f = H5Fopen(QFile::encodeName(file).constData(), H5F_ACC_RDONLY, H5P_DEFAULT);
    const hid_t d = f >= 0 ? H5Dopen2(f, path, H5P_DEFAULT) : -1;
    if (d >= 0) {
        const hid_t space = H5Dget_space(d);
        values.resize(std::size_t(H5Sget_simple_extent_npoints(space)));
        H5Dread(d, H5T_NATIVE_FLOAT, H5S_ALL, H5S_ALL, H5P_DEFAULT, values.data());
        H5Sclose(space);
        if (units && H5Aexists(d, "units") > 0) {
            const hid_t a = H5Aopen(d, "units", H5P_DEFAULT);
            const hid_t type = H5Aget_type(a);
            QByteArray text(int(H5Tget_size(type)) + 1, '\0');
            H5Aread(a, type, text.data());
            *units = QString::fromUtf8(text.constData());
            H5Tclose(type);
            H5Aclose(a);
        }
        H5Dclose(d);
    }
    if (f >= 0)
        H5Fclose(f);
    return values;
}

bool writeText(const QString &path, const QByteArray &text)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(text) == text.size();
}

} // namespace

int TestXanesFiles::run(const QStringList &args, QString *messages)
{
    XanesOptions options;
    QString error;
    if (!parseXanesOptions(args, options, error)) {
        if (messages)
            *messages = error;
        return -1;
    }
    options.align.threads = 2;
    QString text;
    QTextStream out(&text);
    const int status = runXanes(options, out, out, QStringLiteral("quorvel-xanes"));
    out.flush();
    if (messages)
        *messages = text;
    return status;
}

void TestXanesFiles::initTestCase()
{
    // The series as float TIFF slices of one folder per energy, and the same volumes as aligned.h5.
    series_ = dir_.filePath(QStringLiteral("series"));
    aligned_ = dir_.filePath(QStringLiteral("aligned.h5"));
    const std::vector<double> e = energies();
    AlignedFileWriter writer;
    AlignedMetadata meta;
    QString error;
    QVERIFY(writer.create(aligned_, shape_, defaultAlignedChunk(shape_), &error));
    for (double energy : e) {
        Volume v;
        v.shape = shape_;
        v.values.resize(shape_.voxels());
        for (int z = 0; z < shape_.nz; ++z)
            for (int y = 0; y < shape_.ny; ++y)
                for (int x = 0; x < shape_.nx; ++x)
                    v.values[(std::size_t(z) * shape_.ny + y) * shape_.nx + x]
                        = float(mu(energy, shareA(x), jumpAt(y)));
        QVERIFY(writeEnergy(series_, QString::number(energy) + QStringLiteral("eV"), v));
        QVERIFY(writer.append(v, &error));
        meta.energies.push_back(energy);
        meta.shifts.push_back({});
        meta.peaks.push_back(1.0);
        meta.outside.push_back(0);
    }
    meta.slices = {10, 12, 14, 16};
    QVERIFY(writer.finish(meta, &error));
    // The standards as two-column text, A in keV.
    standards_ = QStringLiteral("a=%1,b=%2")
                     .arg(dir_.filePath(QStringLiteral("a.txt")), dir_.filePath(QStringLiteral("b.txt")));
    QByteArray a = "# species A, keV\n", b = "# species B\n# energy_eV absorption\n";
    for (double v = 7000.0; v <= 7300.0; v += 0.25) {
        a += QByteArray::number(v / 1000.0, 'f', 5) + ' ' + QByteArray::number(speciesA(v), 'g', 10) + '\n';
        b += QByteArray::number(v, 'f', 2) + '\t' + QByteArray::number(speciesB(v), 'g', 10) + '\n';
    }
    QVERIFY(writeText(dir_.filePath(QStringLiteral("a.txt")), a));
    QVERIFY(writeText(dir_.filePath(QStringLiteral("b.txt")), b));
    QVERIFY(writeText(dir_.filePath(QStringLiteral("short.txt")), "7100 0\n7150 1\n"));
}

void TestXanesFiles::folderAndAlignedFileGiveTheMaps()
{
    const QString fromFolder = dir_.filePath(QStringLiteral("folder")),
                  fromFile = dir_.filePath(QStringLiteral("file"));
    QString messages;
    QCOMPARE(run({series_, QStringLiteral("--no-align"), QStringLiteral("--edge"), QStringLiteral("7112"),
                     QStringLiteral("--standards"), standards_, QStringLiteral("--min-jump"),
                     QStringLiteral("0.01"), QStringLiteral("--out"), fromFolder},
                 &messages),
        0);
    QVERIFY2(
        !QFileInfo::exists(QDir(fromFolder).filePath(QStringLiteral("aligned.h5"))), qPrintable(messages));
    QCOMPARE(
        run({aligned_, QStringLiteral("--edge"), QStringLiteral("7112"), QStringLiteral("--standards"),
                standards_, QStringLiteral("--min-jump"), QStringLiteral("100"),
                QStringLiteral("--pixel-size"), QStringLiteral("0.5"), QStringLiteral("--out"), fromFile},
            &messages),
        0);
    QVERIFY2(messages.contains(QLatin1String("1920 of 2304 voxels analysed")), qPrintable(messages));
    const QStringList names {QStringLiteral("edge_jump"), QStringLiteral("edge_energy"),
        QStringLiteral("white_line_energy"), QStringLiteral("white_line_height"),
        QStringLiteral("fraction-a"), QStringLiteral("fraction-b"), QStringLiteral("r_factor"),
        QStringLiteral("mask")};
    for (const QString &name : names) {
        const Stack folder = readStack(QDir(fromFolder).filePath(name + QStringLiteral(".tif")));
        const Stack file = readStack(QDir(fromFile).filePath(name + QStringLiteral(".tif")));
        QCOMPARE(folder.pages, shape_.nz);
        QCOMPARE(folder.width, shape_.nx);
        QCOMPARE(folder.height, shape_.ny);
        QVERIFY2(folder.descriptions.value(3).endsWith(QLatin1String("slice 16")),
            qPrintable(folder.descriptions.value(3)));
        // The same maps in maps.h5; the same from the folder and from the aligned file, but for the unit of
        // the jump.
        const std::vector<float> h5 = readMap(QDir(fromFolder).filePath(QStringLiteral("maps.h5")),
            QStringLiteral("/entry/maps/%1").arg(name).toUtf8().constData());
        QVERIFY(h5.size() == folder.values.size()
            && std::memcmp(h5.data(), folder.values.data(), h5.size() * sizeof(float)) == 0);
        for (std::size_t v = 0; v < folder.values.size(); ++v) {
            const double scale = name == QLatin1String("edge_jump") ? 1e4 : 1.0; // 1/(2 · 0.5 µm) in 1/cm
            QVERIFY(std::isnan(folder.values[v]) == std::isnan(file.values[v]));
            if (!std::isnan(folder.values[v]))
                QVERIFY(std::abs(file.values[v] - scale * folder.values[v])
                    <= 1e-6 * std::abs(scale * folder.values[v]));
        }
        QImage picture(QDir(fromFile).filePath(name + QStringLiteral(".png")));
        QVERIFY(picture.width() > 384 && picture.height() > 384);
    }
    // The fractions and the jump against the truth; the unit of the jump.
    const Stack a = readStack(QDir(fromFolder).filePath(QStringLiteral("fraction-a.tif")));
    const Stack jump = readStack(QDir(fromFolder).filePath(QStringLiteral("edge_jump.tif")));
    for (int z = 0; z < shape_.nz; ++z)
        for (int y = 0; y < shape_.ny; ++y)
            for (int x = 0; x < shape_.nx; ++x) {
                const std::size_t v = (std::size_t(z) * shape_.ny + y) * shape_.nx + x;
                QCOMPARE(std::isnan(a.values[v]), y >= 20);
                if (y < 20) {
                    QVERIFY(std::abs(a.values[v] - shareA(x)) < 1e-3);
                    QVERIFY(std::abs(jump.values[v] / jumpAt(y) - 1.0) < 1e-3);
                }
            }
    QString units;
    readMap(QDir(fromFolder).filePath(QStringLiteral("maps.h5")), "/entry/maps/edge_jump", &units);
    QCOMPARE(units, sliceUnit());
    readMap(QDir(fromFile).filePath(QStringLiteral("maps.h5")), "/entry/maps/edge_jump", &units);
    QCOMPARE(units, QStringLiteral("1/cm"));
    const std::vector<float> energy
        = readMap(QDir(fromFile).filePath(QStringLiteral("maps.h5")), "/entry/xanes/energy");
    QCOMPARE(energy.size(), energies().size());
    QCOMPARE(readMap(QDir(fromFile).filePath(QStringLiteral("maps.h5")), "/entry/maps/slice"),
        (std::vector<float> {10, 12, 14, 16}));
    QCOMPARE(readMap(QDir(fromFile).filePath(QStringLiteral("maps.h5")), "/entry/xanes/standards/a/energy")
                 .front(),
        7000.0f);
    // A fraction's picture spans 0 … 1: the shares 0.7 and 0.2 in their colours, the rows without
    // the element in the grey of the masked, and both ends of the colour bar.
    const QImage picture = QImage(QDir(fromFolder).filePath(QStringLiteral("fraction-a.png")))
                               .convertToFormat(QImage::Format_RGB32);
    std::map<QRgb, int> colours;
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x)
            ++colours[picture.pixel(x, y)];
    for (const double f : {0.7, 0.2})
        QVERIFY2(colours[mapColour(f)] > 10000, qPrintable(QString::number(colours[mapColour(f)])));
    QVERIFY(colours[qRgb(200, 200, 200)] > 4000);
    QVERIFY(colours[mapColour(0.0)] > 0 && colours[mapColour(1.0)] > 0);
}

void TestXanesFiles::slabsMakeTheSameFiles()
{
    // The maps handed on a slice at a time (blocks of one slice) make the files of one block.
    const QString whole = dir_.filePath(QStringLiteral("whole")),
                  slices = dir_.filePath(QStringLiteral("slices"));
    QCOMPARE(run({aligned_, QStringLiteral("--edge=7112"), QStringLiteral("--standards"), standards_,
                 QStringLiteral("--out"), whole}),
        0);
    QString error;
    std::unique_ptr<SlabSource> source = openAlignedFile(aligned_, error);
    QVERIFY2(source, qPrintable(error));
    std::vector<Standard> standards(2); // as the command reads them
    for (int k = 0; k < 2; ++k) {
        standards[std::size_t(k)].name = QString(QLatin1Char(char('a' + k)));
        standards[std::size_t(k)].file
            = dir_.filePath(standards[std::size_t(k)].name + QStringLiteral(".txt"));
        QVERIFY(readStandard(standards[std::size_t(k)], error));
    }
    XanesSettings settings;
    settings.edge = edge;
    const auto plan = XanesPlan::make(source->energies(), settings, standards, error);
    QVERIFY(plan);
    XanesAnalysis analysis(plan, *source, 2, shape_.plane() * energies().size() * sizeof(float));
    XanesMapWriter writer(plan, slices);
    QVERIFY(writer.begin(shape_, source->slices(), error));
    int calls = 0;
    QVERIFY(analysis.run([&](const XanesMapSlab &slab, QString &why) {
        ++calls;
        return writer.write(slab, why);
    }));
    QCOMPARE(calls, shape_.nz);
    QVERIFY(writer.finish(MapsRecord {}, error));
    for (const char *map : {"/entry/maps/fraction-a", "/entry/maps/edge_energy"}) {
        const std::vector<float> a = readMap(whole + QStringLiteral("/maps.h5"), map);
        const std::vector<float> b = readMap(slices + QStringLiteral("/maps.h5"), map);
        QVERIFY(!a.empty() && a.size() == b.size());
        QVERIFY(std::memcmp(a.data(), b.data(), a.size() * sizeof(float)) == 0);
    }
    const Stack a = readStack(whole + QStringLiteral("/fraction-b.tif")),
                b = readStack(slices + QStringLiteral("/fraction-b.tif"));
    QVERIFY(a.values.size() == b.values.size()
        && std::memcmp(a.values.data(), b.values.data(), a.values.size() * 4) == 0);
}

void TestXanesFiles::spectrumLines()
{
    QString text;
    QCOMPARE(run({aligned_, QStringLiteral("--edge"), QStringLiteral("7112"), QStringLiteral("--standards"),
                     standards_, QStringLiteral("--spectrum"), QStringLiteral("1,5,3,1")},
                 &text),
        0);
    const QStringList lines = text.split(u'\n', Qt::SkipEmptyParts);
    const int header = int(lines.indexOf(QStringLiteral("# energy_eV\tmu\tnormalised\tfit")));
    QVERIFY2(header > 0 && lines[header - 1].contains(QLatin1String("slice 12")), qPrintable(text));
    QVERIFY(lines[header - 1].contains(QLatin1String("the mean of 7 voxels within 1")));
    for (int i = 0; i < int(energies().size()); ++i) {
        const QStringList v = lines.value(header + 1 + i).split(u'\t');
        QCOMPARE(v.size(), 4);
        const double e = v[0].toDouble();
        QCOMPARE(e, energies()[std::size_t(i)]);
        QVERIFY(std::abs(v[2].toDouble() - (0.7 * speciesA(e) + 0.3 * speciesB(e))) < 1e-4);
    }
    QVERIFY(lines.contains(QStringLiteral("# maps")));
    const QStringList fraction = lines.filter(QStringLiteral("fraction-a\t"));
    QVERIFY(fraction.size() == 1 && std::abs(fraction.first().mid(11).toDouble() - 0.7) < 1e-3);
    QVERIFY(lines.contains(QStringLiteral("mask\t1")));
    QVERIFY(!QFileInfo::exists(QDir(dir_.path()).filePath(QStringLiteral("edge_jump.tif"))));
}

void TestXanesFiles::standardsFiles_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<double>("first"); // eV; 0: refused
    QTest::addColumn<double>("valueAt7110"); // the value interpolated there
    QTest::newRow("eV, comments, blanks, tabs")
        << QByteArray("# a\n\n7100\t0.1 # x\n7120  0.5\n") << 7100.0 << 0.3;
    QTest::newRow("keV, commas, CR LF") << QByteArray("7.100,0.1\r\n7.120,0.5\r\n") << 7100.0 << 0.3;
    QTest::newRow("keV at the molybdenum K edge")
        << QByteArray("7.100 0.1\n20.000 0.5\n") << 7100.0 << 0.1 + 0.4 * 10 / 12900.0;
    QTest::newRow("one value at 100 keeps eV") << QByteArray("99 0\n100 1\n") << 99.0 << 1.0;
    QTest::newRow("three numbers on a line") << QByteArray("7100 0.1 3\n7120 0.5\n") << 0.0 << 0.0;
    QTest::newRow("a word") << QByteArray("7100 0.1\nenergy absorption\n7120 0.5\n") << 0.0 << 0.0;
    QTest::newRow("not rising") << QByteArray("7100 0.1\n7100 0.5\n") << 0.0 << 0.0;
    QTest::newRow("not finite") << QByteArray("7100 nan\n7120 0.5\n") << 0.0 << 0.0;
    QTest::newRow("one point") << QByteArray("# only\n7100 0.1\n") << 0.0 << 0.0;
}

void TestXanesFiles::standardsFiles()
{
    QFETCH(QByteArray, text);
    QFETCH(double, first);
    QFETCH(double, valueAt7110);
    Standard s;
    QString error;
    QCOMPARE(parseStandard(text, s, error), first > 0);
    if (first > 0) {
        QCOMPARE(s.first(), first);
        QVERIFY(std::abs(s.at(7110.0) - valueAt7110) < 1e-12);
    } else {
        QVERIFY(error.contains(QLatin1String("line")) || error.contains(QLatin1String("point")));
    }
}

void TestXanesFiles::refusals_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("why");
    const QString edge = QStringLiteral("--edge=7112");
    QTest::newRow("a standard that is not there") << QStringList {edge, QStringLiteral("--standards"),
        QStringLiteral("a=/nowhere.txt")} << 2 << "no file";
    QTest::newRow("a standard short of the fit")
        << QStringList {edge, QStringLiteral("--standards"), QStringLiteral("a=DIR/a.txt,c=DIR/short.txt")}
        << 2 << "covers";
    QTest::newRow("an edge outside the energies")
        << QStringList {QStringLiteral("--edge=8333")} << 2 << "outside";
    QTest::newRow("a pre-edge line of one energy")
        << QStringList {edge, QStringLiteral("--pre=-62:-55")} << 2 << "pre-edge";
    QTest::newRow("a voxel outside the volume")
        << QStringList {edge, QStringLiteral("--spectrum=4,0,0")} << 2 << "outside";
    QTest::newRow("an output folder that is a file")
        << QStringList {edge, QStringLiteral("--out"), QStringLiteral("a.txt")} << 1 << "output folder";
}

void TestXanesFiles::refusals()
{
    QFETCH(QStringList, args);
    QFETCH(int, status);
    QFETCH(QString, why);
    args.replaceInStrings(QStringLiteral("DIR"), dir_.path());
    if (!args.join(u' ').contains(QLatin1String("--standards"))
        && !args.join(u' ').contains(QLatin1String("8333")))
        args << QStringLiteral("--standards") << standards_;
    if (const qsizetype out = args.indexOf(QStringLiteral("--out")); out >= 0)
        args[out + 1] = dir_.filePath(args[out + 1]);
    else
        args << QStringLiteral("--out") << dir_.filePath(QStringLiteral("refused"));
    QString messages;
    QCOMPARE(run(QStringList {series_, QStringLiteral("--no-align")} + args, &messages), status);
    QVERIFY2(messages.contains(why), qPrintable(messages));
    QVERIFY(!QFileInfo::exists(dir_.filePath(QStringLiteral("refused/edge_jump.tif"))));
}

void TestXanesFiles::badOptions_data()
{
    QTest::addColumn<QStringList>("args");
    const QString s = QStringLiteral("S"), out = QStringLiteral("--out=O"),
                  edge = QStringLiteral("--edge=7112");
    QTest::newRow("a map option without the edge") << QStringList {s, out, QStringLiteral("--pre=-30:-10")};
    QTest::newRow("a range without its colon") << QStringList {s, out, edge, QStringLiteral("--pre=-30")};
    QTest::newRow("a range upside down")
        << QStringList {s, out, edge, QStringLiteral("--fit=40:-20"), QStringLiteral("--standards=a=f")};
    QTest::newRow("a closed range left open") << QStringList {s, out, edge, QStringLiteral("--pre=-30:")};
    QTest::newRow("a standard's name with a slash")
        << QStringList {s, out, edge, QStringLiteral("--standards=a/b=f")};
    QTest::newRow("a standard named twice")
        << QStringList {s, out, edge, QStringLiteral("--standards=a=f,a=g")};
    QTest::newRow("a sum without standards") << QStringList {s, out, edge, QStringLiteral("--sum-to-one")};
    QTest::newRow("a negative jump") << QStringList {s, out, edge, QStringLiteral("--min-jump=-1")};
    QTest::newRow("no pixel size") << QStringList {s, out, edge, QStringLiteral("--pixel-size=0")};
    QTest::newRow("a spectrum of two numbers")
        << QStringList {s, out, edge, QStringLiteral("--spectrum=1,2")};
    QTest::newRow("a spectrum's radius too large")
        << QStringList {s, out, edge, QStringLiteral("--spectrum=1,2,3,21")};
    QTest::newRow("maps without a folder for them") << QStringList {s, edge};
    QTest::newRow("an edge that is no number") << QStringList {s, out, QStringLiteral("--edge=Fe")};
}

void TestXanesFiles::badOptions()
{
    QFETCH(QStringList, args);
    XanesOptions options;
    QString error;
    QVERIFY(!parseXanesOptions(args, options, error));
    QVERIFY(!error.isEmpty());
    // An aligned file is analysed only.
    QVERIFY(!parseXanesOptions(
        {aligned_, QStringLiteral("--out=O"), QStringLiteral("--edge=7112"), QStringLiteral("--chain")},
        options, error));
    QVERIFY(!parseXanesOptions({aligned_, QStringLiteral("--out=O")}, options, error));
    QVERIFY(parseXanesOptions(
        {aligned_, QStringLiteral("--edge=7112"), QStringLiteral("--spectrum=1,2,3")}, options, error));
}

QTEST_GUILESS_MAIN(TestXanesFiles)
#include "tst_xanesfiles.moc"

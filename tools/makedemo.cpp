// Writes the demo CT data set (projections of an analytic phantom with an I0 and a BG image) and a
// small CT-XAFS series of the same object across an absorption edge.

// Qt
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QTextStream>
#include <QThread>

// Local
#include "tools/phantom/phantom.h"
#include "tools/phantom/xanesdemo.h"
#include "tools/scanfile/scanfilewriter.h"

namespace {

// The files of `dir` matching `pattern`, in name order, with their paths.
QStringList imageFiles(const QString &dir, const QString &pattern)
{
    QStringList files;
    for (const QString &name : QDir(dir).entryList({pattern}, QDir::Files, QDir::Name))
        files << QDir(dir).filePath(name);
    return files;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("quorvel-demo"));
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Writes a small CT data set of ITEX files: DIR/projections/ct_NNNN.img, DIR/i0.img and DIR/bg.img "
        "(with --tiff TIFF files: ct_NNNN.tif, i0.tif and bg.tif); and a CT-XAFS series across the iron K "
        "edge: DIR/xafs/projections/demo-ENERGY-NNNN.img (one data set per energy, ENERGY like 7102_5eV), "
        "DIR/xafs/i0/I0-ENERGY-0001.img and DIR/xafs/bg.img."));
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("DIR"), QStringLiteral("output folder"));
    const QCommandLineOption size(QStringLiteral("size"), QStringLiteral("detector width and height (256)"),
        QStringLiteral("N"), QStringLiteral("256"));
    const QCommandLineOption projections(QStringLiteral("projections"),
        QStringLiteral("number of projections (180)"), QStringLiteral("P"), QStringLiteral("180"));
    const QCommandLineOption cor(QStringLiteral("cor"),
        QStringLiteral("detector position of the rotation axis "
                       "(default: size · 130/256)"),
        QStringLiteral("C"));
    const QCommandLineOption axis(QStringLiteral("axis"), QStringLiteral("rotation axis v (default) or h"),
        QStringLiteral("v|h"), QStringLiteral("v"));
    const QCommandLineOption bpp(QStringLiteral("bytes-per-pixel"), QStringLiteral("2 (default) or 4"),
        QStringLiteral("B"), QStringLiteral("2"));
    const QCommandLineOption tiff(
        QStringLiteral("tiff"), QStringLiteral("write TIFF files (16- or 32-bit unsigned) instead of ITEX"));
    const QCommandLineOption energies(QStringLiteral("energies"),
        QStringLiteral("energies of the series, 7090 … 7140 eV (5)"), QStringLiteral("E"),
        QStringLiteral("5"));
    const QCommandLineOption seriesOnly(QStringLiteral("series-only"),
        QStringLiteral(
            "write only the series; --size and --projections then apply to it (default 128 and 90)"));
    const QCommandLineOption noSeries(QStringLiteral("no-series"), QStringLiteral("write no series"));
    const QCommandLineOption nxs(QStringLiteral("nxs"),
        QStringLiteral(
            "also write each data set as one HDF5 scan file (NXtomo: the projections with their "
            "angles, a dark and two flats): DIR/scan.nxs and DIR/xafs/scans/demo-ENERGY-0001.nxs"));
    const QCommandLineOption stripes(QStringLiteral("stripes"),
        QStringLiteral("record the data set with a faulty detector: every column's gain off by 0.5 … 3 %, two "
                       "groups of columns off together, three dead columns and a band off in a third of the "
                       "projections (rings to take out with ring removal)"));
    const QCommandLineOption offsetAxis(QStringLiteral("offset-axis"),
        QStringLiteral("record the data set over 360 degrees with the rotation axis near the right edge of the "
                       "detector, the two halves overlapping by OVERLAP columns, of an object nearly twice as "
                       "wide as the detector (a half-acquisition scan; --cor is then not used)"),
        QStringLiteral("OVERLAP"));
    const QCommandLineOption xanes(QStringLiteral("xanes"),
        QStringLiteral(
            "write only a CT-XAFS series for the alignment and the chemical-state maps into XDIR: 37 "
            "energies across the iron K edge, two iron species in two inserts in known shares "
            "(composition.tsv), the sample drifting up to 2 pixels (drift.tsv), the species' spectra "
            "as standards (standards/metal.txt, standards/oxide.txt); --size (the detector's width, "
            "half of it its height) and --projections apply (default 128 and 72)"),
        QStringLiteral("XDIR"));
    parser.addOptions(
        {size, projections, cor, axis, bpp, tiff, energies, seriesOnly, noSeries, nxs, stripes, xanes,
         offsetAxis});
    parser.process(app);

    if (parser.isSet(xanes)) {
        XanesDemoSetup demo;
        // Half as many detector rows as columns: the inserts lie near the middle, and the sample still
        // runs through every slice.
        demo.scan.width = parser.isSet(size) ? parser.value(size).toInt() : 128;
        demo.scan.height = demo.scan.width / 2;
        demo.scan.projections = parser.isSet(projections) ? parser.value(projections).toInt() : 72;
        demo.scan.cor = demo.scan.width * 130.0 / 256.0;
        QTextStream err(stderr);
        if (demo.scan.width < 32 || demo.scan.width > 2048 || demo.scan.projections < 8
            || demo.scan.projections > 3600) {
            err << "quorvel-demo: with --xanes the size must be 32 … 2048 and the projections 8 … 3600\n";
            return 2;
        }
        QString error;
        if (!writeXanesDemo(demo, parser.value(xanes), QThread::idealThreadCount(), &error)) {
            err << "quorvel-demo: " << error << '\n';
            return 1;
        }
        QTextStream(stdout) << "demo XANES series: " << QDir(parser.value(xanes)).absolutePath() << " ("
                            << xanesDemoEnergies().size() << " energies of " << demo.scan.projections
                            << " projections of " << demo.scan.width << " x " << demo.scan.height
                            << ", rotation axis vertical at " << demo.scan.cor << ")\n";
        return 0;
    }

    QTextStream err(stderr);
    if (parser.positionalArguments().size() != 1) {
        err << "quorvel-demo: give one output folder\n";
        return 2;
    }
    const QDir dir(parser.positionalArguments().constFirst());
    ScanSetup setup;
    setup.width = setup.height = parser.value(size).toInt();
    setup.projections = parser.value(projections).toInt();
    setup.cor = parser.isSet(cor) ? parser.value(cor).toDouble() : setup.width * 130.0 / 256.0;
    setup.axisVertical = parser.value(axis) != QLatin1String("h");
    setup.bytesPerPixel = parser.value(bpp).toInt() == 4 ? 4 : 2;
    setup.tiff = parser.isSet(tiff);
    const QString extension = setup.tiff ? QStringLiteral(".tif") : QStringLiteral(".img");
    const int energyCount = parser.value(energies).toInt();
    if (setup.width < 8 || setup.width > 8192 || setup.projections < 1 || setup.projections > 10000
        || energyCount < 1 || energyCount > 50) {
        err << "quorvel-demo: size must be 8 … 8192, projections 1 … 10000 and energies 1 … 50\n";
        return 2;
    }
    if (!(setup.cor >= 0.0 && setup.cor <= setup.width)) { // also NaN
        err << "quorvel-demo: the rotation axis must lie on the detector, 0 … " << setup.width << '\n';
        return 2;
    }
    // An offset axis: the near edge overlap / 2 columns from the axis, the object reaching nine
    // tenths of the way to the stitched slice's edge, far wider than the detector.
    Phantom phantom = demoPhantom(setup.width);
    if (parser.isSet(offsetAxis)) {
        bool ok = false;
        const int overlap = parser.value(offsetAxis).toInt(&ok);
        if (!ok || overlap < 4 || overlap > setup.width - 4) {
            err << "quorvel-demo: the overlap must be 4 … " << setup.width - 4 << " columns\n";
            return 2;
        }
        setup.cor = setup.width - 1 - overlap / 2.0;
        setup.rangeDeg = 360.0;
        if (!parser.isSet(projections))
            setup.projections *= 2;
        phantom = demoPhantomReaching(0.9 * setup.cor);
    }
    QString error;
    QTextStream out(stdout);
    if (parser.isSet(stripes))
        setup.faults
            = typicalFaults(setup.axisVertical ? setup.width : setup.height, setup.projections, setup.seed + 6);
    if (!parser.isSet(seriesOnly)) {
        if (!writeScan(phantom, setup, dir.filePath(QStringLiteral("projections")),
                QStringLiteral("ct_"), dir.filePath(QStringLiteral("i0") + extension),
                dir.filePath(QStringLiteral("bg") + extension), &error)) {
            err << "quorvel-demo: " << error << '\n';
            return 1;
        }
        if (parser.isSet(nxs)
            && !writeScanOfImages(dir.filePath(QStringLiteral("scan.nxs")),
                imageFiles(dir.filePath(QStringLiteral("projections")), QStringLiteral("ct_*") + extension),
                dir.filePath(QStringLiteral("i0") + extension),
                dir.filePath(QStringLiteral("bg") + extension), setup.rangeDeg / setup.projections, &error)) {
            err << "quorvel-demo: " << error << '\n';
            return 1;
        }
        out << "demo data: " << dir.absolutePath() << " (" << setup.projections << " projections of "
            << setup.width << " x " << setup.height << ", rotation axis "
            << (setup.axisVertical ? "vertical" : "horizontal") << " at " << setup.cor
            << (parser.isSet(offsetAxis) ? QStringLiteral(", 360 degrees, overlap %1").arg(parser.value(offsetAxis))
                                         : QString())
            << ")\n";
    }
    if (parser.isSet(noSeries))
        return 0;
    // The series is smaller unless asked otherwise: one data set per energy.
    XafsSeriesSetup series;
    series.scan = setup;
    series.scan.tiff = false; // the series is written as ITEX files
    series.scan.faults = {}; // and with a sound detector
    series.energies = energyCount;
    const bool own = parser.isSet(seriesOnly); // the geometry options are the series'
    if (!own || !parser.isSet(size))
        series.scan.width = series.scan.height = 128;
    series.scan.cor = own && parser.isSet(cor) ? setup.cor : series.scan.width * 130.0 / 256.0;
    if (!own || !parser.isSet(projections))
        series.scan.projections = 90;
    const QDir xafs(dir.filePath(QStringLiteral("xafs")));
    if (!writeXafsSeries(series, xafs.filePath(QStringLiteral("projections")),
            xafs.filePath(QStringLiteral("i0")), xafs.filePath(QStringLiteral("bg.img")), &error)) {
        err << "quorvel-demo: " << error << '\n';
        return 1;
    }
    for (double energy : xafsSeriesEnergies(parser.isSet(nxs) ? series.energies : 0)) {
        const QString field = energyFieldText(energy);
        if (!writeScanOfImages(xafs.filePath(QStringLiteral("scans/demo-%1-0001.nxs").arg(field)),
                imageFiles(
                    xafs.filePath(QStringLiteral("projections")), QStringLiteral("demo-%1-*.img").arg(field)),
                xafs.filePath(QStringLiteral("i0/I0-%1-0001.img").arg(field)),
                xafs.filePath(QStringLiteral("bg.img")), series.scan.rangeDeg / series.scan.projections,
                &error)) {
            err << "quorvel-demo: " << error << '\n';
            return 1;
        }
    }
    out << "demo series: " << xafs.absolutePath() << " (" << series.energies << " energies of "
        << series.scan.projections << " projections of " << series.scan.width << " x " << series.scan.height
        << ", rotation axis " << (series.scan.axisVertical ? "vertical" : "horizontal") << " at "
        << series.scan.cor << ")\n";
    return 0;
}

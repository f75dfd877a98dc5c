#include "xafs/alignoptions.h"

// Qt
#include <QCommandLineParser>
#include <QThread>

// Local
#include <cmath>

namespace {

constexpr int maxThreads = 1024;

struct Parser
{
    QCommandLineParser p;
    QCommandLineOption out {QStringLiteral("out"),
        QStringLiteral("folder of shifts.tsv, aligned.h5 and alignment.png (made if missing)"),
        QStringLiteral("DIR")};
    QCommandLineOption reference {QStringLiteral("reference-energy"),
        QStringLiteral("the energy every other is registered to, within 0.05 eV of one of the series (the "
                       "highest)"),
        QStringLiteral("E")};
    QCommandLineOption box {QStringLiteral("box"),
        QStringLiteral(
            "register on these voxels of the reference volume only, inclusive: Z slice (counted "
            "from the first slice of the series, in slice steps), Y image row, X image column (the "
            "whole volume)"),
        QStringLiteral("Z0,Y0,X0,Z1,Y1,X1")};
    QCommandLineOption chain {QStringLiteral("chain"),
        QStringLiteral("register each energy to its neighbour towards the reference and add the shifts up, "
                       "for series whose ends look too different; warns when the chain's end and its direct "
                       "registration differ by more than 0.2 voxel")};
    QCommandLineOption noAlign {
        QStringLiteral("no-align"), QStringLiteral("take the volumes as they are (every shift 0)")};
    QCommandLineOption threads {QStringLiteral("threads"),
        QStringLiteral("energies aligned at once (all hardware threads)"), QStringLiteral("N")};

    Parser()
    {
        p.setApplicationDescription(QStringLiteral(
            "Aligns the volumes of a CT-XAFS series across energies and writes them as one file. SERIES_DIR "
            "holds one folder per energy, named by its energy (7112_5eV, 8342eV, 7_12keV), each with the "
            "slices NAME-TAG-00012.tif (32-bit float TIFF, quorvel-recon --tiff) or, without them, the CT "
            "image data files NAME-TAG-00012.dat: what a series run writes with --sub-folders energy or "
            "both. Every energy is registered to the reference by 3D phase correlation refined to a "
            "fraction of a voxel, moved by its shift with cubic B-splines (NaN where data came from "
            "outside the volume) and written into DIR/aligned.h5 (NeXus); the shifts go into "
            "DIR/shifts.tsv and a picture of the middle slice before and after into DIR/alignment.png. "
            "Exit status 0 when every energy is aligned, 1 when an energy cannot be read or correlates "
            "less than 0.3 with the reference (named), or the series is refused, 2 for bad arguments."));
        p.addPositionalArgument(
            QStringLiteral("SERIES_DIR"), QStringLiteral("the series: a folder per energy"));
        p.addOptions({out, reference, box, chain, noAlign, threads});
        p.addHelpOption();
    }
};

} // namespace

QString alignUsage()
{
    Parser parser;
    return parser.p.helpText();
}

bool parseAlignOptions(const QStringList &arguments, AlignOptions &o, QString &error)
{
    Parser parser;
    QCommandLineParser &p = parser.p;
    if (!p.parse(QStringList {QStringLiteral("quorvel-xanes")} + arguments)) {
        error = p.errorText();
        return false;
    }
    const auto fail = [&error](const QString &why) {
        error = why;
        return false;
    };
    const QStringList positional = p.positionalArguments();
    if (positional.size() != 1)
        return fail(QStringLiteral("give one series folder"));
    o.series = positional.first();
    if (!p.isSet(parser.out) || p.value(parser.out).isEmpty())
        return fail(QStringLiteral("give the output folder with --out DIR"));
    o.out = p.value(parser.out);
    o.chain = p.isSet(parser.chain);
    o.noAlign = p.isSet(parser.noAlign);
    if (o.noAlign && (o.chain || p.isSet(parser.box)))
        return fail(QStringLiteral("--no-align registers nothing: give no --chain or --box"));
    if (p.isSet(parser.reference)) {
        bool ok = false;
        const double e = p.value(parser.reference).toDouble(&ok);
        if (!ok || !std::isfinite(e) || e <= 0.0)
            return fail(QStringLiteral("--reference-energy takes an energy in eV, not %1")
                            .arg(p.value(parser.reference)));
        o.referenceEnergy = e;
    }
    if (p.isSet(parser.box)) {
        const QStringList parts = p.value(parser.box).split(QLatin1Char(','));
        std::array<int, 6> b {};
        bool ok = parts.size() == 6;
        for (int i = 0; ok && i < 6; ++i)
            b[std::size_t(i)] = parts[i].trimmed().toInt(&ok);
        for (int a = 0; ok && a < 3; ++a)
            ok = b[std::size_t(a)] >= 0 && b[std::size_t(a + 3)] >= b[std::size_t(a)];
        if (!ok)
            return fail(
                QStringLiteral("--box takes Z0,Y0,X0,Z1,Y1,X1, whole numbers from 0 with Z0 ≤ Z1, Y0 ≤ "
                               "Y1 and X0 ≤ X1, not %1")
                    .arg(p.value(parser.box)));
        o.box = b;
    }
    o.threads = std::max(1, QThread::idealThreadCount());
    if (p.isSet(parser.threads)) {
        bool ok = false;
        o.threads = p.value(parser.threads).toInt(&ok);
        if (!ok || o.threads < 1 || o.threads > maxThreads)
            return fail(QStringLiteral("--threads takes a whole number from 1 to %1").arg(maxThreads));
    }
    return true;
}

#include "xafs/xanesoptions.h"

// Qt
#include <QCommandLineParser>
#include <QFileInfo>
#include <QRegularExpression>
#include <QThread>

// Local
#include "xafs/voxelspectrum.h"
#include <cmath>

namespace {

constexpr int maxThreads = 1024;

struct Parser
{
    QCommandLineParser p;
    QCommandLineOption out {QStringLiteral("out"),
        QStringLiteral(
            "folder of the files written (made if missing): shifts.tsv, aligned.h5 and alignment.png, "
            "and with --edge the maps"),
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
    QCommandLineOption noAlign {QStringLiteral("no-align"),
        QStringLiteral("take the volumes as they are (every shift 0); with --edge the maps are made from the "
                       "slices straight away, without aligned.h5")};
    QCommandLineOption threads {
        QStringLiteral("threads"), QStringLiteral("threads (all hardware threads)"), QStringLiteral("N")};
    QCommandLineOption edge {QStringLiteral("edge"),
        QStringLiteral(
            "the edge energy in eV: makes the chemical-state maps (without it, only the alignment)"),
        QStringLiteral("E")};
    QCommandLineOption pre {QStringLiteral("pre"),
        QStringLiteral("the pre-edge line's energies, eV from the edge (-30:-10; write --pre=-30:-10)"),
        QStringLiteral("A:B")};
    QCommandLineOption post {QStringLiteral("post"),
        QStringLiteral("the post-edge line's energies, eV from the edge; A: up to the last energy (30:)"),
        QStringLiteral("A:B")};
    QCommandLineOption window {QStringLiteral("edge-window"),
        QStringLiteral("E0 and the white line are searched within W eV of the edge (20)"),
        QStringLiteral("W")};
    QCommandLineOption standards {QStringLiteral("standards"),
        QStringLiteral(
            "reference spectra for the linear-combination fit: two-column text files (energy in eV, or "
            "keV when every energy is below 100; normalised absorption; # comments); NAME is a word "
            "of letters, digits, _ . -"),
        QStringLiteral("NAME=FILE[,NAME=FILE...]")};
    QCommandLineOption fit {QStringLiteral("fit"),
        QStringLiteral("the fit's energies, eV from the edge (-20:40; write --fit=-20:40)"),
        QStringLiteral("A:B")};
    QCommandLineOption sumToOne {
        QStringLiteral("sum-to-one"), QStringLiteral("the fractions of the standards sum to 1")};
    QCommandLineOption minJump {QStringLiteral("min-jump"),
        QStringLiteral("voxels whose edge jump (in the unit of edge_jump.tif) is below V are masked (5 x the "
                       "median over all voxels of the standard deviation of their pre-edge residual)"),
        QStringLiteral("V")};
    QCommandLineOption pixelSize {QStringLiteral("pixel-size"),
        QStringLiteral("the slices' pixel size in micrometres: the edge jump as the change of attenuation in "
                       "1/cm (without it, in the slices' unit: twice the attenuation per pixel)"),
        QStringLiteral("UM")};
    QCommandLineOption spectrum {QStringLiteral("spectrum"),
        QStringLiteral(
            "print the spectrum of voxel Z,Y,X (slice counted from the first, row, column), or the "
            "mean over the voxels within R of it, and its values of the maps, instead of writing the "
            "maps"),
        QStringLiteral("Z,Y,X[,R]")};

    Parser()
    {
        p.setApplicationDescription(QStringLiteral(
            "Aligns the volumes of a CT-XAFS series across energies and writes them as one file; with --edge "
            "it also makes the chemical-state maps. SERIES_DIR holds one folder per energy, named by its "
            "energy (7112_5eV, 8342eV, 7_12keV), each with the slices NAME-TAG-00012.tif (32-bit float TIFF, "
            "quorvel-recon --tiff) or, without them, the CT image data files NAME-TAG-00012.dat: what a "
            "series run writes with --sub-folders energy or both. Every energy is registered to the "
            "reference "
            "by 3D phase correlation refined to a fraction of a voxel, moved by its shift with cubic "
            "B-splines "
            "(NaN where data came from outside the volume) and written into DIR/aligned.h5 (NeXus); the "
            "shifts "
            "go into DIR/shifts.tsv and a picture of the middle slice before and after into "
            "DIR/alignment.png. Given an aligned.h5 instead of SERIES_DIR, only the maps are made. The maps "
            "(each voxel's spectrum normalised by its pre- and post-edge lines; the edge jump, E0 at half "
            "height, the white line and, with --standards, the fractions of a non-negative "
            "linear-combination "
            "fit and its R-factor; the mask) go into DIR as multi-page 32-bit float TIFF (one page per "
            "slice), maps.h5 and a picture of the middle slice each. Exit status 0 when everything asked is "
            "done, 1 when an energy cannot be read or correlates less than 0.3 with the reference (named), "
            "the series is refused or a file is not written, 2 for bad arguments (and options that do not "
            "fit "
            "the series' energies)."));
        p.addPositionalArgument(QStringLiteral("SERIES_DIR"),
            QStringLiteral("the series: a folder per energy; or an aligned.h5 to make the maps from"));
        p.addOptions({out, reference, box, chain, noAlign, threads, edge, pre, post, window, standards, fit,
            sumToOne, minJump, pixelSize, spectrum});
        p.addHelpOption();
    }
};

// "A:B" (or "A:" when `open`) of finite numbers with A < B.
bool parseRange(const QString &text, bool open, EdgeRange &range)
{
    const QStringList parts = text.split(QLatin1Char(':'));
    if (parts.size() != 2)
        return false;
    bool ok = false;
    range.from = parts[0].trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(range.from))
        return false;
    if (parts[1].trimmed().isEmpty()) {
        range.to.reset();
        return open;
    }
    const double to = parts[1].trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(to) || !(to > range.from))
        return false;
    range.to = to;
    return true;
}

bool parseNumber(const QString &text, double &value)
{
    bool ok = false;
    value = text.trimmed().toDouble(&ok);
    return ok && std::isfinite(value);
}

} // namespace

QString xanesUsage()
{
    Parser parser;
    return parser.p.helpText();
}

bool parseXanesOptions(const QStringList &arguments, XanesOptions &options, QString &error)
{
    options = XanesOptions {};
    AlignOptions &o = options.align;
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
        return fail(QStringLiteral("give one series folder (or one aligned file)"));
    o.series = positional.first();
    options.alignedInput = QFileInfo(o.series).isFile();
    o.out = p.value(parser.out);
    o.chain = p.isSet(parser.chain);
    o.noAlign = p.isSet(parser.noAlign);
    if (o.noAlign && (o.chain || p.isSet(parser.box)))
        return fail(QStringLiteral("--no-align registers nothing: give no --chain or --box"));
    if (options.alignedInput
        && (o.noAlign || o.chain || p.isSet(parser.box) || p.isSet(parser.reference)
            || !p.isSet(parser.edge)))
        return fail(
            QStringLiteral("%1 is a file, taken as an aligned series: it is only analysed (give --edge, "
                           "and no --reference-energy, --box, --chain or --no-align)")
                .arg(o.series));
    if (p.isSet(parser.reference)) {
        double e = 0.0;
        if (!parseNumber(p.value(parser.reference), e) || e <= 0.0)
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

    // The maps.
    const QList<const QCommandLineOption *> mapOptions {&parser.pre, &parser.post, &parser.window,
        &parser.standards, &parser.fit, &parser.sumToOne, &parser.minJump, &parser.pixelSize,
        &parser.spectrum};
    if (!p.isSet(parser.edge)) {
        for (const QCommandLineOption *m : mapOptions)
            if (p.isSet(*m))
                return fail(QStringLiteral("--%1 belongs to the maps: give the edge energy with --edge E")
                                .arg(m->names().first()));
    } else {
        XanesSettings s;
        if (!parseNumber(p.value(parser.edge), s.edge) || s.edge <= 0.0)
            return fail(
                QStringLiteral("--edge takes the edge energy in eV, not %1").arg(p.value(parser.edge)));
        if (p.isSet(parser.pre) && !parseRange(p.value(parser.pre), false, s.pre))
            return fail(QStringLiteral("--pre takes A:B, eV from the edge with A < B (--pre=-30:-10), not %1")
                            .arg(p.value(parser.pre)));
        if (p.isSet(parser.post) && !parseRange(p.value(parser.post), true, s.post))
            return fail(QStringLiteral("--post takes A:B or A:, eV from the edge with A < B, not %1")
                            .arg(p.value(parser.post)));
        if (p.isSet(parser.fit) && !parseRange(p.value(parser.fit), false, s.fit))
            return fail(QStringLiteral("--fit takes A:B, eV from the edge with A < B (--fit=-20:40), not %1")
                            .arg(p.value(parser.fit)));
        if (p.isSet(parser.window)
            && (!parseNumber(p.value(parser.window), s.edgeWindow) || s.edgeWindow <= 0.0))
            return fail(QStringLiteral("--edge-window takes a width in eV above 0, not %1")
                            .arg(p.value(parser.window)));
        if (p.isSet(parser.minJump)) {
            double v = 0.0;
            if (!parseNumber(p.value(parser.minJump), v) || v < 0.0)
                return fail(QStringLiteral("--min-jump takes a jump of 0 or more, not %1")
                                .arg(p.value(parser.minJump)));
            s.minJump = v;
        }
        if (p.isSet(parser.pixelSize)) {
            double v = 0.0;
            if (!parseNumber(p.value(parser.pixelSize), v) || v <= 0.0)
                return fail(QStringLiteral("--pixel-size takes micrometres above 0, not %1")
                                .arg(p.value(parser.pixelSize)));
            s.pixelSizeUm = v;
        }
        if (p.isSet(parser.standards)) {
            static const QRegularExpression word(QStringLiteral("^[A-Za-z0-9_.-]+$"));
            for (const QString &item : p.value(parser.standards).split(QLatin1Char(','))) {
                const qsizetype eq = item.indexOf(QLatin1Char('='));
                const QString name = item.left(eq).trimmed(), file = item.mid(eq + 1).trimmed();
                if (eq < 0 || !word.match(name).hasMatch() || name.startsWith(QLatin1Char('.'))
                    || file.isEmpty())
                    return fail(
                        QStringLiteral("--standards takes NAME=FILE[,NAME=FILE...], NAME of letters, digits, "
                                       "_ . -, not %1")
                            .arg(item));
                for (const StandardChoice &other : s.standards)
                    if (other.name == name)
                        return fail(QStringLiteral("--standards names %1 twice").arg(name));
                s.standards.push_back({name, file});
            }
            if (int(s.standards.size()) > maxStandards)
                return fail(QStringLiteral("--standards takes at most %1 standards").arg(maxStandards));
        }
        if ((p.isSet(parser.fit) || p.isSet(parser.sumToOne)) && s.standards.empty())
            return fail(QStringLiteral("--fit and --sum-to-one belong to the fit: give --standards"));
        if (p.isSet(parser.spectrum)) {
            const QStringList parts = p.value(parser.spectrum).split(QLatin1Char(','));
            int v[4] = {0, 0, 0, 0};
            bool ok = parts.size() == 3 || parts.size() == 4;
            for (int i = 0; ok && i < int(parts.size()); ++i)
                v[i] = parts[i].trimmed().toInt(&ok);
            if (!ok || v[0] < 0 || v[1] < 0 || v[2] < 0 || v[3] < 0 || v[3] > maxSpectrumRadius)
                return fail(
                    QStringLiteral("--spectrum takes Z,Y,X or Z,Y,X,R, whole numbers from 0 (R up to %1), "
                                   "not %2")
                        .arg(maxSpectrumRadius)
                        .arg(p.value(parser.spectrum)));
            options.spectrum = SpectrumRequest {v[0], v[1], v[2], v[3]};
        }
        options.maps = s;
    }
    // Files are written unless only a spectrum is printed from what needs no alignment.
    const bool writes = !options.spectrum || !(options.alignedInput || o.noAlign);
    if (writes && o.out.isEmpty())
        return fail(QStringLiteral("give the output folder with --out DIR"));
    return true;
}

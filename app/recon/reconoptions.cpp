#include "app/recon/reconoptions.h"

// Qt
#include <QCommandLineParser>
#include <QThread>

// Local
#include <cstdlib>

namespace {

// "a,b,c" (or a:b:c with `sep`) as numbers; false when a part is not a number or the count is off.
bool numbers(const QString &text, QChar sep, qsizetype minCount, qsizetype maxCount, QList<double> &out)
{
    const QStringList parts = text.split(sep);
    if (parts.size() < minCount || parts.size() > maxCount)
        return false;
    out.clear();
    for (const QString &p : parts) {
        bool ok = false;
        out << p.trimmed().toDouble(&ok);
        if (!ok)
            return false;
    }
    return true;
}

bool integer(const QString &text, int &out)
{
    bool ok = false;
    out = text.trimmed().toInt(&ok);
    return ok;
}

struct Parser
{
    QCommandLineParser p;
    QCommandLineOption i0 {QStringLiteral("i0"), QStringLiteral("I0 (flat) image"), QStringLiteral("FILE")};
    QCommandLineOption bg {QStringLiteral("bg"), QStringLiteral("BG (dark) image"), QStringLiteral("FILE")};
    QCommandLineOption axis {QStringLiteral("axis"),
        QStringLiteral("rotation axis h (default; slices are image columns) or v (rows)"),
        QStringLiteral("h|v"), QStringLiteral("h")};
    QCommandLineOption cor {QStringLiteral("cor"),
        QStringLiteral("centre of rotation, or \"guess\" (default: the "
                       "middle of the line)"),
        QStringLiteral("VALUE|guess")};
    QCommandLineOption slice {
        QStringLiteral("slice"), QStringLiteral("one slice (default: the middle one)"), QStringLiteral("N")};
    QCommandLineOption slices {QStringLiteral("slices"), QStringLiteral("a range of slices, descending too"),
        QStringLiteral("FROM:TO[:STEP]")};
    QCommandLineOption origin {QStringLiteral("angle-origin"), QStringLiteral("angle of the first image (0)"),
        QStringLiteral("DEG"), QStringLiteral("0")};
    QCommandLineOption range {QStringLiteral("range"), QStringLiteral("angle range of the data set (180)"),
        QStringLiteral("DEG"), QStringLiteral("180")};
    QCommandLineOption partial {QStringLiteral("partial"), QStringLiteral("use COUNT images from START on"),
        QStringLiteral("START:COUNT")};
    QCommandLineOption region {QStringLiteral("region"),
        QStringLiteral("calculation region (default 0,0,N,N)"), QStringLiteral("X0,Z0,X1,Z1")};
    QCommandLineOption upper {QStringLiteral("upper"), QStringLiteral("upper limit of data values (10)"),
        QStringLiteral("V"), QStringLiteral("10")};
    QCommandLineOption lower {QStringLiteral("lower"), QStringLiteral("lower limit of data values (-10)"),
        QStringLiteral("V"), QStringLiteral("-10")};
    QCommandLineOption offset {QStringLiteral("offset"), QStringLiteral("offset added to data values (10)"),
        QStringLiteral("V"), QStringLiteral("10")};
    QCommandLineOption out {QStringLiteral("out"), QStringLiteral("output folder (.)"), QStringLiteral("DIR"),
        QStringLiteral(".")};
    QCommandLineOption name {
        QStringLiteral("name"), QStringLiteral("file name part: NAME-TAG-00012.dat"), QStringLiteral("NAME")};
    QCommandLineOption tag {QStringLiteral("tag"),
        QStringLiteral("file tag: TAG-00012.dat without a name (ct)"), QStringLiteral("TAG"),
        QStringLiteral("ct")};
    QCommandLineOption subFolders {QStringLiteral("sub-folders"),
        QStringLiteral("none (default), slice, energy (named by the tag) or both"),
        QStringLiteral("none|slice|energy|both"), QStringLiteral("none")};
    QCommandLineOption png {QStringLiteral("png"), QStringLiteral("write PNG images (default)")};
    QCommandLineOption noPng {QStringLiteral("no-png"), QStringLiteral("write no PNG images")};
    QCommandLineOption noData {QStringLiteral("no-data"), QStringLiteral("write no data files")};
    QCommandLineOption tiff {QStringLiteral("tiff"),
        QStringLiteral(
            "also write each slice as a 32-bit float TIFF image (NAME-TAG-00012.tif) of the region, "
            "values as computed, without limits or offset")};
    QCommandLineOption colorRange {QStringLiteral("color-range"),
        QStringLiteral("fixed grey scale of the PNGs (default: each slice's range)"),
        QStringLiteral("MIN,MAX")};
    QCommandLineOption threads {QStringLiteral("threads"),
        QStringLiteral("worker threads (all hardware threads)"), QStringLiteral("N")};

    Parser()
    {
        p.setApplicationDescription(QStringLiteral(
            "Reconstructs CT slices by filtered back-projection from the ITEX projections in DIR (the files "
            "matching PATTERN, default *.img, in name order) and writes CT image data files and PNG "
            "images (and float TIFF images with --tiff)."));
        p.addHelpOption();
        p.addPositionalArgument(QStringLiteral("DIR"), QStringLiteral("folder of the projections"));
        p.addPositionalArgument(
            QStringLiteral("PATTERN"), QStringLiteral("file name patterns"), QStringLiteral("[PATTERN ...]"));
        p.addOptions({i0, bg, axis, cor, slice, slices, origin, range, partial, region, upper, lower, offset,
            out, name, tag, subFolders, png, noPng, noData, tiff, colorRange, threads});
    }
};

} // namespace

QString reconUsage()
{
    Parser parser;
    return parser.p.helpText();
}

QList<int> sliceList(int from, int to, int step)
{
    const int magnitude = std::max(1, std::abs(step));
    QList<int> list;
    if (to >= from) {
        for (long s = from; s <= to; s += magnitude)
            list << static_cast<int>(s);
    } else {
        for (long s = from; s >= to; s -= magnitude)
            list << static_cast<int>(s);
    }
    return list;
}

bool parseReconOptions(const QStringList &arguments, ReconOptions &o, QString &error)
{
    Parser parser;
    QCommandLineParser &p = parser.p;
    if (!p.parse(QStringList {QStringLiteral("quorvel-recon")} + arguments)) {
        error = p.errorText();
        return false;
    }
    auto fail = [&error](const QString &why) {
        error = why;
        return false;
    };
    const QStringList positional = p.positionalArguments();
    if (positional.isEmpty())
        return fail(QStringLiteral("give the folder of the projections"));
    o.dir = positional.first();
    if (positional.size() > 1)
        o.patterns = positional.mid(1);
    o.i0File = p.value(parser.i0);
    o.bgFile = p.value(parser.bg);

    const QString axis = p.value(parser.axis);
    if (axis != QLatin1String("h") && axis != QLatin1String("v"))
        return fail(QStringLiteral("--axis takes h or v, not %1").arg(axis));
    o.axisVertical = axis == QLatin1String("v");

    if (p.isSet(parser.cor)) {
        const QString cor = p.value(parser.cor);
        if (cor == QLatin1String("guess")) {
            o.guessCor = true;
        } else {
            bool ok = false;
            o.cor = cor.toDouble(&ok);
            if (!ok)
                return fail(QStringLiteral("--cor takes a number or \"guess\", not %1").arg(cor));
        }
    }
    if (p.isSet(parser.slice) && p.isSet(parser.slices))
        return fail(QStringLiteral("give either --slice or --slices"));
    if (p.isSet(parser.slice)) {
        int s = 0;
        if (!integer(p.value(parser.slice), s))
            return fail(QStringLiteral("--slice takes a whole number"));
        o.sliceFrom = o.sliceTo = s;
    }
    if (p.isSet(parser.slices)) {
        QList<double> v;
        if (!numbers(p.value(parser.slices), QLatin1Char(':'), 2, 3, v))
            return fail(QStringLiteral("--slices takes FROM:TO or FROM:TO:STEP"));
        o.sliceFrom = int(v[0]);
        o.sliceTo = int(v[1]);
        o.sliceStep = v.size() > 2 ? int(v[2]) : 1;
    }
    bool ok1 = false, ok2 = false;
    o.angleOriginDeg = p.value(parser.origin).toDouble(&ok1);
    o.rangeDeg = p.value(parser.range).toDouble(&ok2);
    if (!ok1 || !ok2 || o.rangeDeg == 0.0)
        return fail(QStringLiteral("--angle-origin and --range take numbers (a range other than 0)"));
    if (p.isSet(parser.partial)) {
        const QStringList parts = p.value(parser.partial).split(QLatin1Char(':'));
        if (parts.size() != 2 || !integer(parts[0], o.partialStart) || !integer(parts[1], o.partialImages))
            return fail(QStringLiteral("--partial takes START:COUNT"));
        o.partial = true;
    }
    if (p.isSet(parser.region)) {
        QList<double> v;
        if (!numbers(p.value(parser.region), QLatin1Char(','), 4, 4, v))
            return fail(QStringLiteral("--region takes X0,Z0,X1,Z1"));
        o.region = Region {v[0], v[1], v[2], v[3]};
    }
    bool okU = false, okL = false, okO = false;
    o.window = DataWindow {p.value(parser.upper).toDouble(&okU), p.value(parser.lower).toDouble(&okL),
        p.value(parser.offset).toDouble(&okO)};
    if (!okU || !okL || !okO)
        return fail(QStringLiteral("--upper, --lower and --offset take numbers"));
    o.outDir = p.value(parser.out);
    o.name = p.value(parser.name);
    o.tag = p.value(parser.tag);
    const QString sub = p.value(parser.subFolders);
    if (sub == QLatin1String("none"))
        o.subFolders = {false, false, true};
    else if (sub == QLatin1String("slice"))
        o.subFolders = {true, false, true};
    else if (sub == QLatin1String("energy"))
        o.subFolders = {true, true, false};
    else if (sub == QLatin1String("both"))
        o.subFolders = {true, true, true};
    else
        return fail(QStringLiteral("--sub-folders takes none, slice, energy or both, not %1").arg(sub));
    if (p.isSet(parser.png) && p.isSet(parser.noPng))
        return fail(QStringLiteral("give either --png or --no-png"));
    o.png = !p.isSet(parser.noPng);
    o.data = !p.isSet(parser.noData);
    o.tiff = p.isSet(parser.tiff);
    if (!o.png && !o.data && !o.tiff)
        return fail(QStringLiteral("--no-png with --no-data and without --tiff would write nothing"));
    if (p.isSet(parser.colorRange)) {
        QList<double> v;
        if (!numbers(p.value(parser.colorRange), QLatin1Char(','), 2, 2, v))
            return fail(QStringLiteral("--color-range takes MIN,MAX"));
        o.colorRange = std::pair {v[0], v[1]};
    }
    o.threads = std::max(1, QThread::idealThreadCount());
    if (p.isSet(parser.threads)) {
        if (!integer(p.value(parser.threads), o.threads) || o.threads < 1)
            return fail(QStringLiteral("--threads takes a whole number of at least 1"));
    }
    return true;
}

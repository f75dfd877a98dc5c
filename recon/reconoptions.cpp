#include "recon/reconoptions.h"

// Qt
#include <QCommandLineParser>
#include <QFileInfo>
#include <QRegularExpression>
#include <QThread>

// Local
#include "ct/corscan.h"
#include "imagedata/imgfiletype.h"
#include "recon/volumeoptions.h"
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>

namespace {

bool integer(const QString &text, int &out)
{
    bool ok = false;
    out = text.trimmed().toInt(&ok);
    return ok;
}

bool number(const QString &text, double &out)
{
    bool ok = false;
    out = text.trimmed().toDouble(&ok);
    return ok;
}

// "a,b,c" (or a:b:c with `sep`) as values that `parse` reads; false when a part is not one or the
// count is off.
template<typename T>
bool listOf(const QString &text, QChar sep, qsizetype minCount, qsizetype maxCount, QList<T> &out,
    bool (*parse)(const QString &, T &))
{
    const QStringList parts = text.split(sep);
    if (parts.size() < minCount || parts.size() > maxCount)
        return false;
    out.clear();
    for (const QString &p : parts) {
        T v {};
        if (!parse(p, v))
            return false;
        out << v;
    }
    return true;
}

bool numbers(const QString &text, QChar sep, qsizetype minCount, qsizetype maxCount, QList<double> &out)
{
    return listOf(text, sep, minCount, maxCount, out, &number);
}

// Whole numbers, each fitting in 32 bits.
bool integers(const QString &text, QChar sep, qsizetype minCount, qsizetype maxCount, QList<int> &out)
{
    return listOf(text, sep, minCount, maxCount, out, &integer);
}

bool allFinite(const QList<double> &values)
{
    return std::all_of(values.cbegin(), values.cend(), [](double v) { return std::isfinite(v); });
}

// More threads than this only cost memory and start-up time.
constexpr int maxThreads = 1024;

// Guesses along a range: each reads its slice's lines of 180 degrees of projections.
constexpr int maxLineGuesses = 1000;

// Region corners beyond this are refused: pixel indices are 32-bit further on.
constexpr double maxRegionCoordinate = 2147483647.0;

// Ten turns: an angle beyond this is a slip (a value in hundredths, or radians taken for degrees).
constexpr double maxAngleDeg = 3600.0;

struct Parser
{
    QCommandLineParser p;
    QCommandLineOption i0 {QStringLiteral("i0"), QStringLiteral("I0 (flat) image"), QStringLiteral("FILE")};
    QCommandLineOption bg {QStringLiteral("bg"), QStringLiteral("BG (dark) image"), QStringLiteral("FILE")};
    QCommandLineOption axis {QStringLiteral("axis"),
        QStringLiteral("rotation axis h (default; slices are image columns) or v (rows)"),
        QStringLiteral("h|v"), QStringLiteral("h")};
    QCommandLineOption cor {QStringLiteral("cor"),
        QStringLiteral("centre of rotation; \"guess\" (both searches, the --cor-method one used); "
                       "\"guess-line N\": guesses at N slices of the range and the line through them, each "
                       "slice at its centre on the line (default: the middle of the line)"),
        QStringLiteral("VALUE|guess|guess-line N")};
    QCommandLineOption corMethod {QStringLiteral("cor-method"),
        QStringLiteral("the search whose centre is used: mirror (default; the projection facing the first) "
                       "or fourier (the sinogram of 180 degrees, for short lines and truncated projections)"),
        QStringLiteral("mirror|fourier"), QStringLiteral("mirror")};
    QCommandLineOption corLine {QStringLiteral("cor-line"),
        QStringLiteral("a tilted axis: each slice at the centre interpolated linearly between centre C1 at "
                       "slice S1 and C2 at S2"),
        QStringLiteral("S1:C1,S2:C2")};
    QCommandLineOption corScan {QStringLiteral("cor-scan"),
        QStringLiteral("trial reconstructions of one slice at the centres FROM to TO by STEP, written as a "
                       "multi-page float TIFF, a PNG contact sheet and a table of scores (instead of a run)"),
        QStringLiteral("FROM:TO:STEP")};
    QCommandLineOption offsetAxis {QStringLiteral("offset-axis"),
        QStringLiteral(
            "a 360-degree scan with the axis near one edge: slices stitched from the projections "
            "facing each other, at the axis found in the data (auto) or given in recorded columns"),
        QStringLiteral("auto|VALUE")};
    QCommandLineOption slice {
        QStringLiteral("slice"), QStringLiteral("one slice (default: the middle one)"), QStringLiteral("N")};
    QCommandLineOption slices {QStringLiteral("slices"), QStringLiteral("a range of slices, descending too"),
        QStringLiteral("FROM:TO[:STEP]")};
    QCommandLineOption origin {QStringLiteral("angle-origin"),
        QStringLiteral("angle of the first image (the first angle a scan file records, else 0)"),
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
        QStringLiteral("file tag: TAG-00012.dat without a name (ct); in a series energy (the default: "
                       "7112_5eV) or name-energy (Fe-7112_5eV)"),
        QStringLiteral("TAG"), QStringLiteral("ct")};
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
    VolumeOptions volume;
    QCommandLineOption single {QStringLiteral("single"),
        QStringLiteral("filter and back-project in 32-bit floats: about twice as fast, within 1e-5 of "
                       "each slice's value range of the default double precision")};
    QCommandLineOption colorRange {QStringLiteral("color-range"),
        QStringLiteral("fixed grey scale of the PNGs (default: each slice's range)"),
        QStringLiteral("MIN,MAX")};
    QCommandLineOption threads {QStringLiteral("threads"),
        QStringLiteral("worker threads (all hardware threads)"), QStringLiteral("N")};
    QCommandLineOption block {QStringLiteral("block"),
        QStringLiteral("slices read and reconstructed together; only their lines are held in memory (64)"),
        QStringLiteral("N"), QStringLiteral("64")};
    QCommandLineOption scratch {QStringLiteral("scratch"),
        QStringLiteral("folder of the temporary file in which a compressed scan's decoded lines wait for "
                       "their block (the output folder)"),
        QStringLiteral("DIR")};
    QCommandLineOption rings {QStringLiteral("rings"),
        QStringLiteral(
            "ring removal: stripes taken out of each sinogram before filtering; off (default), all "
            "(recommended), sort, large or dead, with parameters snr (1 … 100), large and small "
            "(odd windows of 3 … 501 columns), e.g. all:snr=3,large=31,small=21"),
        QStringLiteral("METHOD[:PARAMS]")};
    QCommandLineOption series {QStringLiteral("series"),
        QStringLiteral("a CT-XAFS series: the data sets in DIR, one per energy, each tagged with its energy"),
        QStringLiteral("DIR")};
    QCommandLineOption layout {QStringLiteral("layout"),
        QStringLiteral("series layout: ormel (default; all files in DIR, sample-energy-number.img) or "
                       "subdirs (one sub-folder per set)"),
        QStringLiteral("ormel|subdirs"), QStringLiteral("ormel")};
    QCommandLineOption pattern {QStringLiteral("pattern"),
        QStringLiteral("file pattern of the series (*.img)"), QStringLiteral("PATTERN"),
        QStringLiteral("*.img")};
    QCommandLineOption i0Files {QStringLiteral("i0-files"),
        QStringLiteral("folder of the I0 images of all energies: each set takes the nearest in energy"),
        QStringLiteral("DIR")};
    QCommandLineOption i0Pattern {QStringLiteral("i0-pattern"),
        QStringLiteral("file patterns of the I0 images in --i0-files (*.img)"), QStringLiteral("PATTERN"),
        QStringLiteral("*.img")};
    QCommandLineOption sets {QStringLiteral("sets"),
        QStringLiteral("data sets FROM to TO of the series, counted from 1 (all)"),
        QStringLiteral("FROM:TO")};
    QCommandLineOption listSets {QStringLiteral("list-sets"),
        QStringLiteral("print the data sets of the series, their I0 and what is wrong with them, and exit")};
    QCommandLineOption allowUneven {QStringLiteral("allow-uneven-sets"),
        QStringLiteral("the sets of the series may differ in image count and numbering (else such a set "
                       "fails: it misses projections)")};
    QCommandLineOption allowFarI0 {QStringLiteral("allow-far-i0"),
        QStringLiteral("run sets whose I0 lies more than half the energy spacing from them, or whose name "
                       "gives no energy (else the series is refused)")};
    QCommandLineOption resume {QStringLiteral("resume"),
        QStringLiteral("skip the sets (or tasks) whose files the output folder's manifests show complete")};
    QCommandLineOption align {QStringLiteral("align"),
        QStringLiteral(
            "when every set is done, align the energies as quorvel-xanes does: shifts.tsv, aligned.h5 "
            "and alignment.png in --out (read back from the folder per energy of --sub-folders energy or "
            "both; float TIFF slices with --tiff read fastest)")};
    QCommandLineOption task {QStringLiteral("task"),
        QStringLiteral(
            "do only task K (from 0) of the (data set, block of slices) pairs: one job-array task"),
        QStringLiteral("K")};
    QCommandLineOption tasksOf {QStringLiteral("tasks-of"),
        QStringLiteral("the number of tasks the job array was made for (checked against the data)"),
        QStringLiteral("N")};
    QCommandLineOption fingerprint {QStringLiteral("fingerprint"),
        QStringLiteral(
            "the fingerprint of the set list the job array was made for (checked against the data)"),
        QStringLiteral("HEX")};
    QCommandLineOption listTasks {QStringLiteral("list-tasks"),
        QStringLiteral("print the tasks (with --resume the unfinished ones), one line each, and exit")};

    Parser()
    {
        p.setApplicationDescription(QStringLiteral(
            "Reconstructs CT slices by filtered back-projection from the ITEX or TIFF projections in DIR "
            "(the "
            "files matching PATTERN, default *.img, in name order), or from the projection frames of an HDF5 "
            "scan file given instead of DIR, and writes CT image data files and PNG "
            "images (and float TIFF images with --tiff). With --series DIR instead of DIR, reconstructs "
            "every "
            "data set of a CT-XAFS series with the I0 image nearest in energy, tagging each set's files with "
            "its energy. Projections are read a block of slices at a time: only those lines are held in "
            "memory."));
        p.addHelpOption();
        p.addPositionalArgument(QStringLiteral("DIR"),
            QStringLiteral(
                "folder of the projections, or an HDF5 scan file (NXtomo or Data Exchange) holding "
                "them with their flats, darks and angles"));
        p.addPositionalArgument(
            QStringLiteral("PATTERN"), QStringLiteral("file name patterns"), QStringLiteral("[PATTERN ...]"));
        p.addOptions({i0, bg, axis, cor, corMethod, corLine, corScan, offsetAxis, slice, slices, origin,
            range, partial, region, upper, lower, offset, out, name, tag, subFolders, png, noPng, noData,
            tiff, volume.file, volume.compress, single, colorRange, threads, block, scratch, rings, series,
            layout, pattern, i0Files, i0Pattern, sets, listSets, allowUneven, allowFarI0, resume, align, task,
            tasksOf, fingerprint, listTasks});
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
    const qint64 magnitude = std::max<qint64>(1, std::abs(qint64(step)));
    QList<int> list;
    if (to >= from) {
        for (qint64 s = from; s <= to; s += magnitude)
            list << static_cast<int>(s);
    } else {
        for (qint64 s = from; s >= to; s -= magnitude)
            list << static_cast<int>(s);
    }
    return list;
}

bool checkedSliceList(int from, int to, int step, int extent, QList<int> &slices, QString &error)
{
    for (int s : {from, to}) {
        if (s < 0 || s >= extent) {
            error = QStringLiteral("slice %1 is outside 0 … %2").arg(s).arg(extent - 1);
            return false;
        }
    }
    slices = sliceList(from, to, step);
    return true;
}

bool checkPartial(const ReconOptions &o, int images, QString &error)
{
    if (!o.partial)
        return true;
    if (o.partialStart < 0 || o.partialStart >= images) {
        error = QStringLiteral("--partial: image %1 is outside 0 … %2").arg(o.partialStart).arg(images - 1);
        return false;
    }
    if (o.partialImages == 0 || o.partialImages == std::numeric_limits<int>::min()
        || std::abs(o.partialImages) > images) {
        error = QStringLiteral("--partial: %1 images of the %2 loaded").arg(o.partialImages).arg(images);
        return false;
    }
    return true;
}

bool parseReconOptions(const QStringList &arguments, ReconOptions &o, QString &error)
{
    Parser parser;
    QCommandLineParser &p = parser.p;
    // "--cor guess-line N" as a shell splits it: the count is taken back into the option's value.
    QStringList args = arguments;
    for (qsizetype i = 0; i + 1 < args.size(); ++i) {
        const bool apart = args[i] == QLatin1String("--cor") && i + 2 < args.size()
            && args[i + 1] == QLatin1String("guess-line");
        const bool joined = args[i] == QLatin1String("--cor=guess-line");
        const qsizetype count = apart ? i + 2 : i + 1;
        int n = 0;
        if ((apart || joined) && integer(args[count], n)) {
            args[count - 1] += u' ' + args[count];
            args.removeAt(count);
        }
    }
    if (!p.parse(QStringList {QStringLiteral("quorvel-recon")} + args)) {
        error = p.errorText();
        return false;
    }
    auto fail = [&error](const QString &why) {
        error = why;
        return false;
    };
    const QStringList positional = p.positionalArguments();
    o.series = p.isSet(parser.series);
    if (o.series) {
        if (!positional.isEmpty())
            return fail(QStringLiteral(
                "--series takes the folder of the series; give its file pattern with --pattern"));
        o.dir = p.value(parser.series);
    } else {
        if (positional.isEmpty())
            return fail(QStringLiteral("give the folder of the projections"));
        o.dir = positional.first();
        if (positional.size() > 1)
            o.patterns = positional.mid(1);
        // A pattern the shell expanded gives file names instead: the first as DIR, the rest ignored.
        const QFileInfo dir(o.dir);
        if (dir.exists() && !dir.isDir() && !(dir.isFile() && checkFileType(o.dir) == ImgFileType::HDF5))
            return fail(
                QStringLiteral("%1 is neither a folder nor a scan file; to give a file pattern, quote "
                               "the pattern: '*.img'")
                    .arg(o.dir));
        for (const QString &pattern : std::as_const(o.patterns)) {
            static const QRegularExpression wildcard(QStringLiteral("[*?[]"));
            if (!pattern.contains(wildcard))
                return fail(QStringLiteral("%1 is no file pattern (a pattern holds *, ? or [): the shell may "
                                           "have expanded one; quote the pattern: '*.img'")
                                .arg(pattern));
        }
        for (const QCommandLineOption *only :
            {&parser.layout, &parser.pattern, &parser.i0Files, &parser.i0Pattern, &parser.sets,
                &parser.listSets, &parser.allowUneven, &parser.allowFarI0, &parser.resume, &parser.align}) {
            if (p.isSet(*only))
                return fail(QStringLiteral("--%1 belongs to a --series run").arg(only->names().constFirst()));
        }
    }
    const QString layout = p.value(parser.layout);
    if (layout != QLatin1String("ormel") && layout != QLatin1String("subdirs"))
        return fail(QStringLiteral("--layout takes ormel or subdirs, not %1").arg(layout));
    o.layout = layout == QLatin1String("ormel") ? SeriesLayout::OrmelStd : SeriesLayout::SubDirs;
    o.setPattern = p.value(parser.pattern);
    o.i0FilesDir = p.value(parser.i0Files);
    o.i0Pattern = p.value(parser.i0Pattern);
    if (p.isSet(parser.i0Files) && p.isSet(parser.i0))
        return fail(QStringLiteral("give either --i0 or --i0-files"));
    if (p.isSet(parser.sets)) {
        const QStringList parts = p.value(parser.sets).split(QLatin1Char(':'));
        int from = 0, to = 0;
        if (parts.size() != 2 || !integer(parts[0], from) || !integer(parts[1], to) || from < 1 || to < 1)
            return fail(QStringLiteral("--sets takes FROM:TO, both counted from 1"));
        o.setsFrom = from;
        o.setsTo = to;
    }
    o.listSets = p.isSet(parser.listSets);
    o.allowUnevenSets = p.isSet(parser.allowUneven);
    o.allowFarI0 = p.isSet(parser.allowFarI0);
    o.resume = p.isSet(parser.resume);
    o.align = p.isSet(parser.align);
    if (!integer(p.value(parser.block), o.block) || o.block < 1)
        return fail(QStringLiteral("--block takes a whole number of at least 1"));
    if (p.isSet(parser.task)) {
        int k = 0;
        if (!integer(p.value(parser.task), k) || k < 0)
            return fail(QStringLiteral("--task takes a task number from 0 on"));
        o.task = k;
    }
    if (p.isSet(parser.tasksOf)) {
        int n = 0;
        if (!integer(p.value(parser.tasksOf), n) || n < 1)
            return fail(QStringLiteral("--tasks-of takes a number of tasks of at least 1"));
        if (!o.task)
            return fail(QStringLiteral("--tasks-of goes with --task"));
        o.tasksOf = n;
    }
    if (p.isSet(parser.fingerprint)) {
        if (!o.task)
            return fail(QStringLiteral("--fingerprint goes with --task"));
        o.fingerprint = p.value(parser.fingerprint);
    }
    o.listTasks = p.isSet(parser.listTasks);
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
        } else if (cor.startsWith(QLatin1String("guess-line"))) {
            int n = 0;
            QString count = cor.mid(10).trimmed(); // "guess-line N", "guess-line:N" or "guess-line=N"
            if (count.startsWith(u':') || count.startsWith(u'='))
                count = count.mid(1);
            if (!integer(count, n) || n < 2 || n > maxLineGuesses)
                return fail(
                    QStringLiteral("--cor guess-line takes a number of slices from 2 to %1, not \"%2\"")
                        .arg(maxLineGuesses)
                        .arg(count));
            o.guessLine = n;
        } else {
            bool ok = false;
            o.cor = cor.toDouble(&ok);
            if (!ok || !std::isfinite(*o.cor))
                return fail(QStringLiteral("--cor takes a finite number or \"guess\", not %1").arg(cor));
        }
    }
    if (const std::optional<CorMethod> m = corMethodFromName(p.value(parser.corMethod)))
        o.corMethod = *m;
    else
        return fail(
            QStringLiteral("--cor-method takes mirror or fourier, not %1").arg(p.value(parser.corMethod)));
    if (p.isSet(parser.corLine)) {
        if (p.isSet(parser.cor))
            return fail(QStringLiteral("give either --cor or --cor-line"));
        const QStringList records = p.value(parser.corLine).split(QLatin1Char(','));
        QList<double> a, b;
        if (records.size() != 2 || !numbers(records[0], QLatin1Char(':'), 2, 2, a)
            || !numbers(records[1], QLatin1Char(':'), 2, 2, b) || !allFinite(a) || !allFinite(b))
            return fail(QStringLiteral("--cor-line takes S1:C1,S2:C2, two slices and their centres"));
        const auto slice = [](double v) { return v >= 0.0 && v <= 2147483647.0 && v == std::floor(v); };
        if (!slice(a[0]) || !slice(b[0]) || a[0] == b[0])
            return fail(QStringLiteral("--cor-line takes two different slices, whole numbers of at least 0"));
        o.corLine = CorLine {int(a[0]), a[1], int(b[0]), b[1]};
    }
    if (p.isSet(parser.corScan)) {
        QList<double> v;
        if (!numbers(p.value(parser.corScan), QLatin1Char(':'), 3, 3, v) || !allFinite(v)
            || corScanCentres(v[0], v[1], v[2]).empty())
            return fail(
                QStringLiteral("--cor-scan takes FROM:TO:STEP, finite numbers with a step other than 0, "
                               "for at most %1 centres")
                    .arg(corScanMaxTrials));
        if (p.isSet(parser.cor) || p.isSet(parser.corLine))
            return fail(QStringLiteral("--cor-scan chooses the centres itself: give no --cor or --cor-line"));
        if (p.isSet(parser.slices))
            return fail(QStringLiteral("--cor-scan reconstructs one slice: give it with --slice"));
        if (o.series || p.isSet(parser.task) || p.isSet(parser.listTasks))
            return fail(QStringLiteral("--cor-scan belongs to a run of one data set"));
        o.corScan = ReconOptions::CorScan {v[0], v[1], v[2]};
    }
    if (p.isSet(parser.offsetAxis)) {
        const QString v = p.value(parser.offsetAxis);
        bool ok = false;
        o.offsetAxis = ReconOptions::OffsetAxis {v == QLatin1String("auto"), v.toDouble(&ok)};
        if (!o.offsetAxis->automatic && !(ok && std::isfinite(o.offsetAxis->cor)))
            return fail(QStringLiteral("--offset-axis takes auto or a finite number, not %1").arg(v));
        if (p.isSet(parser.cor) || p.isSet(parser.corLine))
            return fail(QStringLiteral("--offset-axis places the axis itself: give no --cor or --cor-line"));
        if (p.isSet(parser.partial))
            return fail(QStringLiteral("--offset-axis pairs every projection with the one facing it: no "
                                       "--partial"));
    }
    if (p.isSet(parser.slice) && p.isSet(parser.slices))
        return fail(QStringLiteral("give either --slice or --slices"));
    if (p.isSet(parser.slice)) {
        int s = 0;
        if (!integer(p.value(parser.slice), s) || s < 0)
            return fail(QStringLiteral("--slice takes a whole number of at least 0"));
        o.sliceFrom = o.sliceTo = s;
    }
    if (p.isSet(parser.slices)) {
        QList<int> v;
        if (!integers(p.value(parser.slices), QLatin1Char(':'), 2, 3, v) || v[0] < 0 || v[1] < 0)
            return fail(QStringLiteral("--slices takes FROM:TO or FROM:TO:STEP, whole numbers (FROM and TO "
                                       "at least 0)"));
        o.sliceFrom = v[0];
        o.sliceTo = v[1];
        o.sliceStep = v.size() > 2 ? v[2] : 1;
    }
    bool ok1 = false, ok2 = false;
    o.angleOriginDeg = p.value(parser.origin).toDouble(&ok1);
    o.angleOriginGiven = p.isSet(parser.origin);
    o.rangeDeg = p.value(parser.range).toDouble(&ok2);
    if (o.offsetAxis && !p.isSet(parser.range)) // an offset-axis scan turns a full circle
        o.rangeDeg = 360.0;
    if (!ok1 || !ok2 || !(std::abs(o.angleOriginDeg) <= maxAngleDeg) || !(std::abs(o.rangeDeg) <= maxAngleDeg)
        || o.rangeDeg == 0.0)
        return fail(
            QStringLiteral("--angle-origin and --range take degrees within ±%1 (a range other than 0)")
                .arg(maxAngleDeg));
    if (p.isSet(parser.partial)) {
        QList<int> v;
        if (!integers(p.value(parser.partial), QLatin1Char(':'), 2, 2, v) || v[0] < 0 || v[1] == 0
            || v[1] == std::numeric_limits<int>::min())
            return fail(QStringLiteral("--partial takes START:COUNT, whole numbers (START at least 0, COUNT "
                                       "not 0)"));
        o.partialStart = v[0];
        o.partialImages = v[1];
        o.partial = true;
    }
    if (p.isSet(parser.region)) {
        QList<double> v;
        if (!numbers(p.value(parser.region), QLatin1Char(','), 4, 4, v) || !allFinite(v)
            || std::any_of(v.cbegin(), v.cend(), [](double c) { return std::abs(c) > maxRegionCoordinate; })
            || !(v[0] < v[2]) || !(v[1] < v[3]))
            return fail(QStringLiteral("--region takes X0,Z0,X1,Z1 with X0 < X1 and Z0 < Z1, each within "
                                       "±%1")
                            .arg(maxRegionCoordinate, 0, 'f', 0));
        o.region = Region {v[0], v[1], v[2], v[3]};
    }
    bool okU = false, okL = false, okO = false;
    o.window = DataWindow {p.value(parser.upper).toDouble(&okU), p.value(parser.lower).toDouble(&okL),
        p.value(parser.offset).toDouble(&okO)};
    // An infinite limit leaves that side open; an offset must be a finite number.
    if (!okU || !okL || !okO || std::isnan(o.window.upper) || std::isnan(o.window.lower)
        || !std::isfinite(o.window.offset))
        return fail(QStringLiteral("--upper and --lower take numbers, --offset a finite number"));
    if (!(o.window.lower < o.window.upper))
        return fail(
            QStringLiteral("--upper %1 is not above --lower %2: every value would be written as the offset")
                .arg(o.window.upper)
                .arg(o.window.lower));
    o.outDir = p.value(parser.out);
    o.scratchDir = p.value(parser.scratch);
    if (p.isSet(parser.scratch) && o.scratchDir.isEmpty())
        return fail(QStringLiteral("--scratch takes a folder"));
    o.name = p.value(parser.name);
    o.tag = p.value(parser.tag);
    if (o.series && p.isSet(parser.tag)) {
        // Each set is tagged by the series; the option says only how.
        if (o.tag == QLatin1String("name-energy"))
            o.tagRule = SetTagRule::NameEnergy;
        else if (o.tag != QLatin1String("energy"))
            return fail(QStringLiteral("--tag in a series takes energy or name-energy, not %1").arg(o.tag));
        o.tag = QStringLiteral("ct");
    }
    if (const QString why = saveNameProblem(o.name, o.tag); !why.isEmpty())
        return fail(QStringLiteral("--name and --tag name files inside --out: %1").arg(why));
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
    o.single = p.isSet(parser.single);
    // The volume file, and what is written at all.
    if (!parser.volume.read(p, o, error))
        return false;
    if (o.align) {
        if (!o.subFolders.ofEnergy)
            return fail(
                QStringLiteral("--align reads the series back from a folder per energy: give --sub-folders "
                               "energy or both"));
        if (o.task)
            return fail(
                QStringLiteral("--align aligns a whole series, not a task's share: a last job after the "
                               "arrays does it (tools/slurm/submit-series.sh)"));
        if (o.guessOnly)
            return fail(QStringLiteral("--align needs the slices written: give --tiff"));
    }
    if (p.isSet(parser.colorRange)) {
        QList<double> v;
        if (!numbers(p.value(parser.colorRange), QLatin1Char(','), 2, 2, v) || !allFinite(v))
            return fail(QStringLiteral("--color-range takes MIN,MAX, finite numbers"));
        o.colorRange = std::pair {v[0], v[1]};
    }
    if (p.isSet(parser.rings)) {
        QString why;
        if (!parseStripeOption(p.value(parser.rings), o.rings, why))
            return fail(QStringLiteral("--rings: %1").arg(why));
    }
    o.threads = std::max(1, QThread::idealThreadCount());
    if (p.isSet(parser.threads)) {
        if (!integer(p.value(parser.threads), o.threads) || o.threads < 1 || o.threads > maxThreads)
            return fail(QStringLiteral("--threads takes a whole number from 1 to %1").arg(maxThreads));
    }
    return true;
}

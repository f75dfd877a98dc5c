// Qt
#include <QTest>

// Local
#include "view3d/slicespacing.h"

using Source = SlicePlacement::Source;
using Unnumbered = SlicePlacement::Unnumbered;

namespace {

/// Slice numbers with −1 for a name without one.
std::vector<std::optional<long long>> numbered(const QList<qint64> &list)
{
    std::vector<std::optional<long long>> numbers;
    for (qint64 n : list)
        numbers.push_back(n < 0 ? std::nullopt : std::optional<long long>(n));
    return numbers;
}

} // namespace

class TestSliceSpacing : public QObject
{
    Q_OBJECT
private slots:
    void numberOfName_data();
    void numberOfName();
    void placement_data();
    void placement();
    void planes_data();
    void planes();
    void planesAreBoundedForFarNumbers();
};

void TestSliceSpacing::numberOfName_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<qint64>("number"); // −1: none
    QTest::newRow("name-tag-slice") << "/d/00080/tooth-ct2-00080.dat" << qint64(80);
    QTest::newRow("tag-slice") << "ct2-00200.tif" << qint64(200);
    QTest::newRow("digits only") << "00060.png" << qint64(60);
    QTest::newRow("no number") << "/d/tooth-ct2.dat" << qint64(-1);
}

void TestSliceSpacing::numberOfName()
{
    QFETCH(QString, path);
    QFETCH(qint64, number);
    const std::optional<long long> n = sliceNumberOfName(path);
    QCOMPARE(n.has_value(), number >= 0);
    if (n)
        QCOMPARE(*n, number);
}

void TestSliceSpacing::placement_data()
{
    QTest::addColumn<QList<qint64>>("numbers");
    QTest::addColumn<double>("typed");
    QTest::addColumn<QList<double>>("offsets");
    QTest::addColumn<double>("step");
    QTest::addColumn<double>("depth");
    QTest::addColumn<int>("source");
    QTest::addColumn<bool>("uneven");
    QTest::addColumn<int>("unnumbered");
    const int numbers = int(Source::Numbers), unit = int(Source::Unit), typed = int(Source::Typed);
    const int no = int(Unnumbered::No), noNumber = int(Unnumbered::NameWithoutNumber),
              repeated = int(Unnumbered::RepeatedNumber);

    QList<qint64> run;
    QList<double> runOffsets;
    for (int s = 60; s <= 200; s += 10) {
        run << s;
        runOffsets << s - 60.0;
    }
    QTest::newRow("60 … 200 step 10") << run << 0.0 << runOffsets << 10.0 << 150.0 << numbers << false << no;
    QTest::newRow("uneven: a slice missing")
        << QList<qint64> {60, 70, 90, 100} << 0.0 << QList<double> {0, 10, 30, 40} << 10.0 << 50.0 << numbers
        << true << no;
    QTest::newRow("unsorted") << QList<qint64> {80, 60, 70} << 0.0 << QList<double> {20, 0, 10} << 10.0
                              << 30.0 << numbers << false << no;
    QTest::newRow("repeated number") << QList<qint64> {60, 60, 70} << 0.0 << QList<double> {0, 1, 2} << 1.0
                                     << 3.0 << unit << false << repeated;
    QTest::newRow("one slice") << QList<qint64> {80} << 0.0 << QList<double> {0} << 1.0 << 1.0 << unit
                               << false << no;
    QTest::newRow("no slices") << QList<qint64> {} << 0.0 << QList<double> {} << 1.0 << 0.0 << unit << false
                               << no;
    QTest::newRow("a number missing") << QList<qint64> {60, -1, 80} << 0.0 << QList<double> {0, 1, 2} << 1.0
                                      << 3.0 << unit << false << noNumber;
    QTest::newRow("typed over numbers") << QList<qint64> {60, 70, 90} << 2.5 << QList<double> {0, 2.5, 5}
                                        << 2.5 << 7.5 << typed << false << no;
    QTest::newRow("typed 0 is auto") << QList<qint64> {0, 3} << 0.0 << QList<double> {0, 3} << 3.0 << 6.0
                                     << numbers << false << no;
}

void TestSliceSpacing::placement()
{
    QFETCH(QList<qint64>, numbers);
    QFETCH(double, typed);
    QFETCH(QList<double>, offsets);
    QFETCH(double, step);
    QFETCH(double, depth);
    QFETCH(int, source);
    QFETCH(bool, uneven);
    QFETCH(int, unnumbered);
    const auto n = numbered(numbers);
    const SlicePlacement p = placeSlices(n, typed);
    QCOMPARE(QList<double>(p.offsets.begin(), p.offsets.end()), offsets);
    QCOMPARE(p.step, step);
    QCOMPARE(p.depth, depth);
    QCOMPARE(int(p.source), source);
    QCOMPARE(p.uneven, uneven);
    QCOMPARE(int(p.unnumbered), unnumbered);
}

void TestSliceSpacing::planes_data()
{
    QTest::addColumn<QList<qint64>>("numbers");
    QTest::addColumn<double>("typed");
    QTest::addColumn<int>("maxPlanes");
    // Each plane as z and slice.
    QTest::addColumn<QList<double>>("z");
    QTest::addColumn<QList<int>>("slice");
    QTest::newRow("1 apart: one plane a slice at k - ns/2") << QList<qint64> {-1, -1,
        -1} << 0.0 << 100 << QList<double> {-1.5, -0.5, 0.5} << QList<int> {0, 1, 2};
    QTest::newRow("3 apart: each slice fills its slab")
        << QList<qint64> {10, 13} << 0.0 << 100 << QList<double> {-3, -2, -1, 0, 1, 2}
        << QList<int> {0, 0, 0, 1, 1, 1};
    QTest::newRow("uneven: a gap is filled from below")
        << QList<qint64> {0, 1, 3} << 0.0 << 100 << QList<double> {-2, -1, 0, 1} << QList<int> {0, 1, 1, 2};
    QTest::newRow("unsorted: by number, not by file")
        << QList<qint64> {4, 0, 2} << 0.0 << 100 << QList<double> {-3, -2, -1, 0, 1, 2}
        << QList<int> {1, 1, 2, 2, 0, 0};
    QTest::newRow("typed half: closer planes") << QList<qint64> {-1, -1, -1} << 0.5 << 100
                                               << QList<double> {-0.75, -0.25, 0.25} << QList<int> {0, 1, 2};
    QTest::newRow("deeper than allowed: planes further apart")
        << QList<qint64> {0, 4} << 0.0 << 4 << QList<double> {-4, -2, 0, 2} << QList<int> {0, 0, 1, 1};
}

void TestSliceSpacing::planes()
{
    QFETCH(QList<qint64>, numbers);
    QFETCH(double, typed);
    QFETCH(int, maxPlanes);
    QFETCH(QList<double>, z);
    QFETCH(QList<int>, slice);
    const auto n = numbered(numbers);
    const std::vector<VolumePlane> planes = volumePlanes(placeSlices(n, typed), maxPlanes);
    QList<double> gotZ;
    QList<int> gotSlice;
    for (const VolumePlane &p : planes) {
        gotZ << p.z;
        gotSlice << p.slice;
    }
    QCOMPARE(gotZ, z);
    QCOMPARE(gotSlice, slice);
}

void TestSliceSpacing::planesAreBoundedForFarNumbers()
{
    // A name with a date for its number must not make millions of planes.
    const auto n = numbered({1, 20261208000000LL});
    const SlicePlacement p = placeSlices(n);
    QCOMPARE(p.offsets.back(), 20261207999999.0);
    const std::vector<VolumePlane> planes = volumePlanes(p);
    QCOMPARE(int(planes.size()), 4096);
    // The second slice's slab, one step deep, is the far half of the box.
    QCOMPARE(planes[2047].slice, 0);
    QCOMPARE(planes[2048].slice, 1);
    QCOMPARE(planes.back().slice, 1);
}

QTEST_GUILESS_MAIN(TestSliceSpacing)
#include "tst_slicespacing.moc"

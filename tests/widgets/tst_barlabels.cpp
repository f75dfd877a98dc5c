// Qt
#include <QTest>

// Local
#include "display/barlabels.h"

namespace {

BarLabelSetup setupOf(double height, double lo, double hi, BarLabel::Kind grabbed)
{
    BarLabelSetup s;
    s.barHeight = height;
    s.fontHeight = 15.0;
    s.scale.minV = 0.001234; // "0.001234": 48 pixels along the bar
    s.scale.maxV = 123.456; // "123.456": 42 pixels
    s.scale.lo = lo;
    s.scale.hi = hi;
    s.grabbed = grabbed;
    s.textLength = [](const QString &text) { return 6.0 * text.size(); };
    return s;
}

QString kindsOf(const std::vector<BarLabel> &labels)
{
    static const char *names[] = {"max", "min", "grabbed", "hi", "lo"};
    QStringList kinds;
    for (const BarLabel &l : labels)
        kinds << QLatin1StringView(names[int(l.kind)]);
    return kinds.join(u',');
}

} // namespace

class TestBarLabels : public QObject
{
    Q_OBJECT
private slots:
    void choice_data();
    void choice();
    void neverOverlap();
};

void TestBarLabels::choice_data()
{
    using Kind = BarLabel::Kind;
    QTest::addColumn<double>("height");
    QTest::addColumn<double>("lo");
    QTest::addColumn<double>("hi");
    QTest::addColumn<int>("grabbed");
    QTest::addColumn<QString>("kinds");
    const int none = int(Kind::Max), grabHi = int(Kind::Hi);
    QTest::newRow("tall bar: all") << 400.0 << 0.25 << 0.75 << none << "max,min,hi,lo";
    QTest::newRow("tall bar, dragging") << 400.0 << 0.25 << 0.75 << grabHi << "max,min,grabbed,hi,lo";
    QTest::newRow("whole window: no bounds") << 400.0 << 0.0 << 1.0 << none << "max,min";
    QTest::newRow("bounds on the ends' labels") << 400.0 << 0.01 << 0.99 << none << "max,min";
    QTest::newRow("short bar: the ends only") << 100.0 << 0.25 << 0.75 << none << "max,min";
    QTest::newRow("short bar, dragging") << 120.0 << 0.25 << 0.75 << grabHi << "max,min";
    QTest::newRow("shorter: the maximum") << 80.0 << 0.0 << 1.0 << none << "max";
    QTest::newRow("shorter than a label") << 30.0 << 0.0 << 1.0 << none << "";
    QTest::newRow("no bar") << 0.0 << 0.25 << 0.75 << none << "";
}

void TestBarLabels::choice()
{
    QFETCH(double, height);
    QFETCH(double, lo);
    QFETCH(double, hi);
    QFETCH(int, grabbed);
    QFETCH(QString, kinds);
    const std::vector<BarLabel> labels = barLabels(setupOf(height, lo, hi, BarLabel::Kind(grabbed)));
    QCOMPARE(kindsOf(labels), kinds);
    for (const BarLabel &l : labels) {
        if (l.kind == BarLabel::Kind::Max)
            QCOMPARE(l.text, QStringLiteral("123.456"));
        if (l.kind == BarLabel::Kind::Hi)
            QCOMPARE(l.value, 0.001234 + (123.456 - 0.001234) * hi);
    }
}

void TestBarLabels::neverOverlap()
{
    for (int h = 0; h <= 300; ++h) {
        for (double lo : {0.0, 0.1, 0.45}) {
            const auto labels = barLabels(setupOf(h, lo, 1.0 - lo, BarLabel::Kind::Lo));
            for (size_t a = 0; a < labels.size(); ++a) {
                QVERIFY2(labels[a].from >= 0 && labels[a].to <= h, qPrintable(QString::number(h)));
                for (size_t b = a + 1; b < labels.size(); ++b)
                    QVERIFY2(labels[a].to <= labels[b].from || labels[b].to <= labels[a].from,
                        qPrintable(QStringLiteral("bar %1: %2 and %3").arg(h).arg(a).arg(b)));
            }
        }
    }
}

QTEST_GUILESS_MAIN(TestBarLabels)
#include "tst_barlabels.moc"

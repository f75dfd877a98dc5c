// Qt
#include <QCheckBox>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>

// C++
#include <cmath>

// Local
#include "tests/widgets/mouseevents.h"
#include "widgets/colorbar.h"

using Handle = ColorBar::Handle;

class TestColorBar : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void rangeTextsAndFix_data();
    void rangeTextsAndFix();
    void editsAnnounceChange_data();
    void editsAnnounceChange();
    void handlesByMouse_data();
    void handlesByMouse();
    void equalHandlesCanBeSeparated();

private:
    QLineEdit *edit(const char *name) const { return bar_->findChild<QLineEdit *>(QLatin1String(name)); }
    /// The widget row of bar fraction f (1 top, 0 bottom).
    int rowOf(double f) const;
    /// Press at fraction `from`, drag to `to`, release; returns the handle that was held.
    Handle dragHandle(double from, double to);

    ColorBar *bar_ = nullptr;
};

void TestColorBar::init()
{
    bar_ = new ColorBar;
    bar_->resize(100, 400);
    bar_->show();
    QVERIFY(QTest::qWaitForWindowExposed(bar_));
    if (bar_->barRect().height() % 2) // an even height makes the exact midpoint reachable
        bar_->resize(100, 401);
    QCOMPARE(bar_->barRect().height() % 2, 0);
}

void TestColorBar::cleanup()
{
    delete bar_;
}

int TestColorBar::rowOf(double f) const
{
    const QRect r = bar_->barRect();
    return r.top() + static_cast<int>(std::lround(r.height() * (1.0 - f)));
}

Handle TestColorBar::dragHandle(double from, double to)
{
    const int x = bar_->barRect().center().x();
    QTest::mousePress(bar_, Qt::LeftButton, {}, QPoint(x, rowOf(from)));
    const Handle held = bar_->grabbed();
    moveTo(bar_, QPoint(x, rowOf(to)), Qt::LeftButton);
    QTest::mouseRelease(bar_, Qt::LeftButton, {}, QPoint(x, rowOf(to)));
    return held;
}

void TestColorBar::rangeTextsAndFix_data()
{
    QTest::addColumn<bool>("fixed");
    QTest::addColumn<double>("v");
    QTest::addColumn<QString>("text");
    QTest::newRow("free, six digits") << false << 1.23456789 << QStringLiteral("1.23457");
    QTest::newRow("free, small") << false << 1e-7 << QStringLiteral("1e-07");
    QTest::newRow("fixed keeps 0..1") << true << 1234.5 << QStringLiteral("1234.5");
}

void TestColorBar::rangeTextsAndFix()
{
    QFETCH(bool, fixed);
    QFETCH(double, v);
    QFETCH(QString, text);
    QCOMPARE(edit("CMaxLE")->text(), QStringLiteral("1"));
    QSignalSpy newBar(bar_, &ColorBar::newBar);
    bar_->setFixColorScale(fixed);
    QCOMPARE(bar_->greyScale().fixed, fixed);
    bar_->adoptRange(-v, v); // what an image generator does
    QCOMPARE(bar_->minV(), fixed ? 0.0 : -v);
    QCOMPARE(bar_->maxV(), fixed ? 1.0 : v);
    QCOMPARE(edit("CMaxLE")->text(), fixed ? QStringLiteral("1") : text);
    bar_->setMaxV(v); // the owner (setup files, batch) sets it regardless
    QCOMPARE(bar_->maxV(), v);
    QCOMPARE(edit("CMaxLE")->text(), text);
    QCOMPARE(newBar.count(), 0); // the caller regenerates itself; a signal would loop back
}

void TestColorBar::editsAnnounceChange_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<double>("value");
    QTest::addColumn<int>("announced");
    QTest::newRow("min") << QStringLiteral("CMinLE") << QStringLiteral("-2.5") << -2.5 << 1;
    QTest::newRow("max") << QStringLiteral("CMaxLE") << QStringLiteral("3e4") << 3e4 << 1;
    QTest::newRow("not a number reads 0") << QStringLiteral("CMinLE") << QStringLiteral("abc") << 0.0 << 1;
    QTest::newRow("same value: no signal") << QStringLiteral("CMaxLE") << QStringLiteral("7.0") << 7.0 << 0;
}

void TestColorBar::editsAnnounceChange()
{
    QFETCH(QString, name);
    QFETCH(QString, typed);
    QFETCH(double, value);
    QFETCH(int, announced);
    bar_->setMinV(-7.0);
    bar_->setMaxV(7.0);
    QSignalSpy newBar(bar_, &ColorBar::newBar);
    auto *le = bar_->findChild<QLineEdit *>(name);
    le->setFocus();
    le->selectAll();
    QTest::keyClicks(le, typed);
    QTest::keyClick(le, Qt::Key_Return);
    QCOMPARE(newBar.count(), announced);
    const bool isMin = name == QStringLiteral("CMinLE");
    QCOMPARE(isMin ? bar_->minV() : bar_->maxV(), value);
    QCOMPARE(isMin ? bar_->maxV() : bar_->minV(), isMin ? 7.0 : -7.0);
    QCOMPARE(le->text(), QString::number(value, 'g', 6));
}

void TestColorBar::handlesByMouse_data()
{
    QTest::addColumn<double>("hiBefore"); // hi is first dragged from 1 to here
    QTest::addColumn<double>("from");
    QTest::addColumn<double>("to");
    QTest::addColumn<int>("held");
    QTest::addColumn<double>("lo");
    QTest::addColumn<double>("hi");
    QTest::newRow("near hi grabs hi") << 1.0 << 0.9 << 0.6 << int(Handle::Hi) << 0.0 << 0.6;
    QTest::newRow("near lo grabs lo") << 1.0 << 0.2 << 0.3 << int(Handle::Lo) << 0.3 << 1.0;
    QTest::newRow("just above the middle: hi") << 1.0 << 0.505 << 0.75 << int(Handle::Hi) << 0.0 << 0.75;
    QTest::newRow("exactly between: nothing") << 1.0 << 0.5 << 0.75 << int(Handle::None) << 0.0 << 1.0;
    QTest::newRow("lo dragged past hi") << 0.4 << 0.1 << 0.8 << int(Handle::Lo) << 0.8 << 0.4;
    QTest::newRow("dragged off the bar stops at 0") << 0.5 << 0.45 << -0.5 << int(Handle::Hi) << 0.0 << 0.0;
}

void TestColorBar::handlesByMouse()
{
    QFETCH(double, hiBefore);
    QFETCH(double, from);
    QFETCH(double, to);
    QFETCH(int, held);
    QFETCH(double, lo);
    QFETCH(double, hi);
    if (hiBefore != 1.0)
        QCOMPARE(dragHandle(0.99, hiBefore), Handle::Hi);
    QSignalSpy newBar(bar_, &ColorBar::newBar);
    QCOMPARE(int(dragHandle(from, to)), held);
    QCOMPARE(bar_->grabbed(), Handle::None);
    QCOMPARE(newBar.count(), held == int(Handle::None) ? 0 : 1);
    // A handle lands on a whole pixel row: within half a row of the aimed fraction.
    const double halfRow = 0.5 / bar_->barRect().height();
    QVERIFY2(std::abs(bar_->lo() - lo) <= halfRow, qPrintable(QString::number(bar_->lo())));
    QVERIFY2(std::abs(bar_->hi() - hi) <= halfRow, qPrintable(QString::number(bar_->hi())));
    QCOMPARE(bar_->greyScale().hi, bar_->hi());
    // Moving after the release changes nothing.
    const double hiAfter = bar_->hi();
    moveTo(bar_, QPoint(bar_->barRect().center().x(), rowOf(0.5)), Qt::LeftButton);
    QCOMPARE(bar_->hi(), hiAfter);
}

void TestColorBar::equalHandlesCanBeSeparated()
{
    QCOMPARE(dragHandle(0.9, 0.5), Handle::Hi);
    QCOMPARE(dragHandle(0.1, 0.5), Handle::Lo);
    QCOMPARE(bar_->lo(), bar_->hi());
    // Every press is now equally far from both; the side pressed decides.
    QCOMPARE(dragHandle(0.7, 0.8), Handle::Hi);
    QCOMPARE(dragHandle(0.3, 0.2), Handle::Lo);
    QVERIFY(bar_->lo() < 0.21 && bar_->hi() > 0.79);
}

QTEST_MAIN(TestColorBar)
#include "tst_colorbar.moc"

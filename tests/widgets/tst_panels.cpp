// Qt
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <QVBoxLayout>

// C++
#include <cmath>
#include <limits>
#include <vector>

// Local
#include "config/configstore.h"
#include "display/greyscale.h"
#include "testsupport/mouseevents.h"
#include "widgets/chcoord.h"
#include "widgets/closablebase.h"
#include "widgets/colorbar.h"
#include "widgets/disabledlook.h"
#include "widgets/filedialogs.h"
#include "widgets/numberfield.h"
#include "widgets/popdockbase.h"
#include "widgets/seekctrl.h"

using namespace Qt::StringLiterals;
using Handle = ColorBar::Handle;

namespace {
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
} // namespace

/// The grey mapping and the colour bar that sets it; the composites: SeekCtrl, PopDockBase, the
/// disabled look and the number fields.
class TestPanels : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void level_data();
    void level();
    void crossedHandlesStayMonotonic();
    void imageOfData_data();
    void imageOfData();
    void valueRangePassesOverNaN_data();
    void valueRangePassesOverNaN();
    void rangeTextsAndFix_data();
    void rangeTextsAndFix();
    void editsAnnounceChange_data();
    void editsAnnounceChange();
    void handlesByMouse_data();
    void handlesByMouse();
    void equalHandlesCanBeSeparated();
    void seekStaysInRange_data();
    void seekStaysInRange();
    void popAndDockRoundTrip_data();
    void popAndDockRoundTrip();
    void disabledLooksDisabled_data();
    void disabledLooksDisabled();
    void numberFieldMarksWhatIsNotANumber_data();
    void numberFieldMarksWhatIsNotANumber();
    void dialogsStartInTheDataFolder_data();
    void dialogsStartInTheDataFolder();

private:
    QLineEdit *edit(const char *name) const { return bar_->findChild<QLineEdit *>(QLatin1String(name)); }
    /// The widget row of bar fraction f (1 top, 0 bottom).
    int rowOf(double f) const;
    /// Press at fraction `from`, drag to `to`, release; returns the handle that was held.
    Handle dragHandle(double from, double to);

    ColorBar *bar_ = nullptr; // shown for every test; the colour bar's tests use it
};

void TestPanels::level_data()
{
    QTest::addColumn<double>("minV");
    QTest::addColumn<double>("maxV");
    QTest::addColumn<double>("lo");
    QTest::addColumn<double>("hi");
    QTest::addColumn<double>("v");
    QTest::addColumn<int>("grey");
    QTest::newRow("middle") << 0.0 << 1.0 << 0.0 << 1.0 << 0.5 << 128;
    QTest::newRow("truncated, not rounded") << 0.0 << 1.0 << 0.0 << 1.0 << 0.4999 << 127;
    QTest::newRow("at maxV: 256 clamps") << 0.0 << 1.0 << 0.0 << 1.0 << 1.0 << 255;
    QTest::newRow("below minV") << 10.0 << 20.0 << 0.0 << 1.0 << -5.0 << 0;
    QTest::newRow("above maxV") << 10.0 << 20.0 << 0.0 << 1.0 << 1e9 << 255;
    QTest::newRow("offset range") << 10.0 << 20.0 << 0.0 << 1.0 << 12.5 << 64;
    QTest::newRow("window lo..hi") << 0.0 << 1.0 << 0.25 << 0.75 << 0.5 << 128;
    QTest::newRow("+inf") << 0.0 << 1.0 << 0.0 << 1.0 << kInf << 255;
    QTest::newRow("-inf") << 0.0 << 1.0 << 0.0 << 1.0 << -kInf << 0;
    QTest::newRow("NaN") << 0.0 << 1.0 << 0.0 << 1.0 << kNaN << 0;
    QTest::newRow("maxV == minV, above") << 3.0 << 3.0 << 0.0 << 1.0 << 4.0 << 255;
    QTest::newRow("maxV == minV, below") << 3.0 << 3.0 << 0.0 << 1.0 << 2.0 << 0;
    QTest::newRow("maxV == minV, on it (0/0)") << 3.0 << 3.0 << 0.0 << 1.0 << 3.0 << 0;
    QTest::newRow("hi == lo, above") << 0.0 << 1.0 << 0.5 << 0.5 << 0.6 << 255;
    QTest::newRow("hi == lo, on it (0/0)") << 0.0 << 1.0 << 0.5 << 0.5 << 0.5 << 0;
    QTest::newRow("crossed handles invert") << 0.0 << 1.0 << 0.75 << 0.25 << 0.375 << 192;
}

void TestPanels::level()
{
    QFETCH(double, minV);
    QFETCH(double, maxV);
    QFETCH(double, lo);
    QFETCH(double, hi);
    QFETCH(double, v);
    QFETCH(int, grey);
    const GreyScale s {minV, maxV, lo, hi, false};
    QCOMPARE(s.level(v), grey);
}

void TestPanels::crossedHandlesStayMonotonic()
{
    // A handle dragged past the other turns the ramp round: one-directional, clamped, no wrap.
    const GreyScale s {0.0, 1.0, 0.7, 0.3, false};
    int previous = 255;
    for (int i = -50; i <= 150; ++i) {
        const int g = s.levelOfFraction(i / 100.0);
        QVERIFY(g >= 0 && g <= previous);
        previous = g;
    }
    QCOMPARE(s.levelOfFraction(-0.5), 255);
    QCOMPARE(previous, 0);
}

void TestPanels::imageOfData_data()
{
    QTest::addColumn<bool>("fixed");
    QTest::addColumn<double>("minV");
    QTest::addColumn<double>("maxV");
    QTest::addColumn<QList<int>>("greys");
    QTest::newRow("free: takes the range") << false << 10.0 << 50.0 << QList<int> {0, 128, 255, 64};
    QTest::newRow("fixed: keeps 0..100") << true << 0.0 << 100.0 << QList<int> {25, 76, 128, 51};
}

void TestPanels::imageOfData()
{
    QFETCH(bool, fixed);
    QFETCH(double, minV);
    QFETCH(double, maxV);
    QFETCH(QList<int>, greys);
    GreyScale s {0.0, 100.0, 0.0, 1.0, fixed};
    // 2 × 2, rows first; the value past width × height must not count towards the range.
    const std::vector<double> v {10.0, 30.0, 50.0, 20.0, 1000.0};
    const QImage img = greyImageOfData(v, 2, 2, s);
    QCOMPARE(s.minV, minV);
    QCOMPARE(s.maxV, maxV);
    QCOMPARE(img.format(), QImage::Format_Grayscale8);
    auto at = [&img](int x, int y) { return int(img.constScanLine(y)[x]); };
    const QList<int> got {at(0, 0), at(1, 0), at(0, 1), at(1, 1)};
    QCOMPARE(got, greys);
    QVERIFY(greyImageOfData(std::span(v).first(3), 2, 2, s).isNull()); // too few values
}

void TestPanels::valueRangePassesOverNaN_data()
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    QTest::addColumn<QList<double>>("values");
    QTest::addColumn<double>("min");
    QTest::addColumn<double>("max");
    QTest::newRow("NaN between") << QList<double> {50.0, nan, 10.0} << 10.0 << 50.0;
    QTest::newRow("NaN first and last") << QList<double> {nan, -2.0, 7.0, nan} << -2.0 << 7.0;
    QTest::newRow("NaN only: 0 … 0") << QList<double> {nan, nan} << 0.0 << 0.0;
    QTest::newRow("nothing: 0 … 0") << QList<double> {} << 0.0 << 0.0;
}

void TestPanels::valueRangePassesOverNaN()
{
    QFETCH(QList<double>, values);
    QFETCH(double, min);
    QFETCH(double, max);
    double lo = -1, hi = -1;
    valueRange(std::span<const double>(values.constData(), values.size()), lo, hi);
    QCOMPARE(lo, min);
    QCOMPARE(hi, max);
}

void TestPanels::init()
{
    bar_ = new ColorBar;
    bar_->resize(100, 400);
    bar_->show();
    QVERIFY(QTest::qWaitForWindowExposed(bar_));
    if (bar_->barRect().height() % 2) // an even height makes the exact midpoint reachable
        bar_->resize(100, 401);
    QCOMPARE(bar_->barRect().height() % 2, 0);
}

void TestPanels::cleanup()
{
    delete bar_;
}

int TestPanels::rowOf(double f) const
{
    const QRect r = bar_->barRect();
    return r.top() + static_cast<int>(std::lround(r.height() * (1.0 - f)));
}

Handle TestPanels::dragHandle(double from, double to)
{
    const int x = bar_->barRect().center().x();
    QTest::mousePress(bar_, Qt::LeftButton, {}, QPoint(x, rowOf(from)));
    const Handle held = bar_->grabbed();
    moveTo(bar_, QPoint(x, rowOf(to)), Qt::LeftButton);
    QTest::mouseRelease(bar_, Qt::LeftButton, {}, QPoint(x, rowOf(to)));
    return held;
}

void TestPanels::rangeTextsAndFix_data()
{
    QTest::addColumn<bool>("fixed");
    QTest::addColumn<double>("v");
    QTest::addColumn<QString>("text");
    QTest::newRow("free, six digits") << false << 1.23456789 << QStringLiteral("1.23457");
    QTest::newRow("free, small") << false << 1e-7 << QStringLiteral("1e-07");
    QTest::newRow("fixed keeps 0..1") << true << 1234.5 << QStringLiteral("1234.5");
}

void TestPanels::rangeTextsAndFix()
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

void TestPanels::editsAnnounceChange_data()
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

void TestPanels::editsAnnounceChange()
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

void TestPanels::handlesByMouse_data()
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

void TestPanels::handlesByMouse()
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

void TestPanels::equalHandlesCanBeSeparated()
{
    QCOMPARE(dragHandle(0.9, 0.5), Handle::Hi);
    QCOMPARE(dragHandle(0.1, 0.5), Handle::Lo);
    QCOMPARE(bar_->lo(), bar_->hi());
    // Every press is now equally far from both; the side pressed decides.
    QCOMPARE(dragHandle(0.7, 0.8), Handle::Hi);
    QCOMPARE(dragHandle(0.3, 0.2), Handle::Lo);
    QVERIFY(bar_->lo() < 0.21 && bar_->hi() > 0.79);
}

void TestPanels::seekStaysInRange_data()
{
    QTest::addColumn<int>("start");
    QTest::addColumn<QString>("action"); // a button's name or a text typed into Index
    QTest::addColumn<int>("index");
    QTest::newRow("inc") << 4 << QStringLiteral("Inc") << 5;
    QTest::newRow("dec") << 4 << QStringLiteral("Dec") << 3;
    QTest::newRow("inc at the maximum") << 9 << QStringLiteral("Inc") << 9;
    QTest::newRow("dec at 0") << 0 << QStringLiteral("Dec") << 0;
    QTest::newRow("typed past the end") << 4 << QStringLiteral("25") << 9;
    QTest::newRow("typed negative") << 4 << QStringLiteral("-3") << 0;
    QTest::newRow("typed, not a number") << 4 << QStringLiteral("x") << 0;
}

void TestPanels::seekStaysInRange()
{
    QFETCH(int, start);
    QFETCH(QString, action);
    QFETCH(int, index);
    SeekCtrl seek;
    seek.setMaximum(9);
    seek.setValue(start);
    QSignalSpy newIndex(&seek, &SeekCtrl::newIndex);
    auto *field = seek.findChild<QLineEdit *>(QStringLiteral("Index"));
    if (auto *button = seek.findChild<QToolButton *>(action)) {
        QTest::mouseClick(button, Qt::LeftButton);
    } else {
        field->selectAll();
        QTest::keyClicks(field, action);
        QTest::keyClick(field, Qt::Key_Return);
    }
    QCOMPARE(seek.value(), index);
    QCOMPARE(seek.findChild<QSlider *>(QStringLiteral("Slider"))->value(), index);
    QCOMPARE(field->text(), QString::number(index));
    QCOMPARE(newIndex.count(), index == start ? 0 : 1);
    seek.setMaximum(2); // fewer images: the index follows, silently
    QCOMPARE(seek.value(), std::min(index, 2));
    QCOMPARE(newIndex.count(), index == start ? 0 : 1);
}

void TestPanels::popAndDockRoundTrip_data()
{
    QTest::addColumn<QString>("dockBy");
    QTest::newRow("Pop/Dock button") << QStringLiteral("button");
    QTest::newRow("closing the window") << QStringLiteral("close");
}

void TestPanels::popAndDockRoundTrip()
{
    QFETCH(QString, dockBy);
    QWidget mainWindow;
    auto *base = new PopDockBase;
    (new QVBoxLayout(&mainWindow))->addWidget(base);
    auto *panel = new QLabel(QStringLiteral("panel"));
    base->setPanel(panel);
    base->setPopTitle(QStringLiteral("Sinogram"));
    mainWindow.show();
    QVERIFY(QTest::qWaitForWindowExposed(&mainWindow));
    QSignalSpy popped(base, &PopDockBase::popped);
    ClosableBase *pop = base->popBase();

    QTest::mouseClick(base->popDockButton(), Qt::LeftButton);
    QVERIFY(pop->isWindow() && pop->isVisible());
    QCOMPARE(pop->windowTitle(), QStringLiteral("Sinogram"));
    QCOMPARE(panel->parentWidget(), pop);
    QVERIFY(pop->layout()->indexOf(panel) >= 0);
    QVERIFY(panel->isVisible());

    if (dockBy == QStringLiteral("button"))
        QTest::mouseClick(base->popDockButton(), Qt::LeftButton);
    else
        QVERIFY(pop->close()); // as the window's close button does
    QVERIFY(!pop->isVisible());
    QCOMPARE(panel->parentWidget(), base);
    QVERIFY(base->layout()->indexOf(panel) >= 0);
    QVERIFY(panel->isVisible());
    QCOMPARE(popped.count(), 2);
    QCOMPARE(popped.at(0).at(0).toBool(), true);
    QCOMPARE(popped.at(1).at(0).toBool(), false);
}

void TestPanels::disabledLooksDisabled_data()
{
    QTest::addColumn<QString>("sheet");
    QTest::addColumn<QString>("how"); // what disables the button
    QTest::addColumn<bool>("faded");
    const QString idle = QStringLiteral("background-color: rgb(213, 245, 255);");
    QTest::newRow("styled, disabled itself") << idle << QStringLiteral("self") << true;
    QTest::newRow("styled, its frame disabled") << idle << QStringLiteral("frame") << true;
    QTest::newRow("styled after it was disabled") << idle << QStringLiteral("sheet later") << true;
    QTest::newRow("plain: the style greys it") << QString() << QStringLiteral("self") << false;
}

void TestPanels::disabledLooksDisabled()
{
    QFETCH(QString, sheet);
    QFETCH(QString, how);
    QFETCH(bool, faded);
    QWidget window;
    auto *frame = new QFrame(&window);
    frame->setGeometry(0, 0, 200, 60);
    auto *button = new QPushButton(QStringLiteral("Seq. Calc."), frame);
    button->setGeometry(10, 10, 120, 40);
    // Its twin stays enabled: how the same style sheet looks on an active button.
    auto *twin = new QPushButton(QStringLiteral("Seq. Calc."), &window);
    twin->setGeometry(10, 70, 120, 40);
    if (how != QStringLiteral("sheet later"))
        button->setStyleSheet(sheet);
    twin->setStyleSheet(sheet);
    keepDisabledLook(&window);
    window.resize(200, 120);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    // The buttons' own colour, where no text is: their left ends.
    auto groundOf = [&window](const QPushButton *b) {
        return QColor(window.grab().toImage().pixel(b->geometry().left() + 6, b->geometry().center().y()));
    };

    (how == QStringLiteral("frame") ? static_cast<QWidget *>(frame) : button)->setEnabled(false);
    if (how == QStringLiteral("sheet later"))
        button->setStyleSheet(sheet);
    QCOMPARE(looksDisabled(button), faded);
    QCOMPARE(button->styleSheet(), sheet); // the state colour itself is left as it was set
    if (faded)
        QVERIFY2(groundOf(button) != groundOf(twin), qPrintable(groundOf(button).name()));

    frame->setEnabled(true);
    button->setEnabled(true);
    QVERIFY(!looksDisabled(button));
    QCOMPARE(groundOf(button), groundOf(twin));
}

void TestPanels::numberFieldMarksWhatIsNotANumber_data()
{
    QTest::addColumn<bool>("real");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("marked");
    QTest::newRow("real") << true << u" 130.5 "_s << false;
    QTest::newRow("real with exponent") << true << u"-1.5e2"_s << false;
    QTest::newRow("a typo") << true << u"13o.5"_s << true;
    QTest::newRow("a comma") << true << u"130,5"_s << true;
    QTest::newRow("nan") << true << u"nan"_s << true;
    QTest::newRow("inf") << true << u"inf"_s << true;
    QTest::newRow("empty") << true << QString() << false;
    QTest::newRow("whole") << false << u"42"_s << false;
    QTest::newRow("whole given a fraction") << false << u"4.5"_s << true;
    QTest::newRow("whole too large") << false << u"99999999999"_s << true;
}

void TestPanels::numberFieldMarksWhatIsNotANumber()
{
    QFETCH(bool, real);
    QFETCH(QString, text);
    QFETCH(bool, marked);
    QLineEdit edit;
    edit.setToolTip(u"Centre of rotation"_s);
    edit.setStyleSheet(u"color: blue;"_s);
    watchNumberField(&edit, real ? NumberKind::Real : NumberKind::Integer);
    edit.setText(text);
    QCOMPARE(edit.toolTip() != u"Centre of rotation"_s, marked);
    QCOMPARE(edit.styleSheet() != u"color: blue;"_s, marked);
    if (marked)
        QVERIFY(edit.toolTip().contains(u"read as 0"_s));
    // Corrected, the field is as it was.
    edit.setText(u"7"_s);
    QCOMPARE(edit.toolTip(), u"Centre of rotation"_s);
    QCOMPARE(edit.styleSheet(), u"color: blue;"_s);
}

void TestPanels::dialogsStartInTheDataFolder_data()
{
    QTest::addColumn<QString>("lastUsed"); // names below a temporary folder; "-" for none
    QTest::addColumn<QString>("data");
    QTest::addColumn<QString>("expected"); // "root" for the data root
    QTest::newRow("the folder used last") << u"last"_s << u"data"_s << u"last"_s;
    QTest::newRow("not used yet: the data's") << u"-"_s << u"data"_s << u"data"_s;
    QTest::newRow("the last one is gone") << u"gone"_s << u"data"_s << u"data"_s;
    QTest::newRow("a file is no folder") << u"file"_s << u"data"_s << u"data"_s;
    QTest::newRow("nothing loaded") << u"-"_s << u"-"_s << u"root"_s;
    QTest::newRow("the data's is gone") << u"gone"_s << u"gone"_s << u"root"_s;
}

void TestPanels::dialogsStartInTheDataFolder()
{
    QFETCH(QString, lastUsed);
    QFETCH(QString, data);
    QFETCH(QString, expected);
    QTemporaryDir tmp;
    QVERIFY(QDir(tmp.path()).mkpath(u"last"_s) && QDir(tmp.path()).mkpath(u"data"_s));
    QVERIFY(QFile(tmp.filePath(u"file"_s)).open(QIODevice::WriteOnly));
    const auto path = [&tmp](const QString &name) { return name == u"-"_s ? QString() : tmp.filePath(name); };
    const QString root = tmp.filePath(u"root"_s);
    QCOMPARE(dialogStartDir(path(lastUsed), path(data), root), expected == u"root"_s ? root : path(expected));
    // The window's data folder and data root stand in for the two.
    setDataFolder(path(data));
    QCOMPARE(dialogStartDir(path(lastUsed)), expected == u"root"_s ? dataRoot() : path(expected));
    setDataFolder(QString());
}

QTEST_MAIN(TestPanels)
#include "tst_panels.moc"

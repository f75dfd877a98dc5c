// Qt
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

// Local
#include "ct/ui/ctpanel.h"
#include "widgets/imgdisp.h"

using namespace Qt::StringLiterals;

namespace {

QList<double> corners(const Region &r)
{
    return {r.x0, r.z0, r.x1, r.z1};
}

// Types `texts` into `edits` as an operator does: select, type, and Return unless `enter` is false.
void typeInto(const QList<QLineEdit *> &edits, const QStringList &texts, bool enter = true)
{
    for (qsizetype i = 0; i < edits.size(); ++i) {
        edits[i]->setFocus();
        edits[i]->selectAll();
        QTest::keyClicks(edits[i], texts[i]);
        if (enter)
            QTest::keyClick(edits[i], Qt::Key_Return);
    }
}

} // namespace

/// The region fields of a CT panel: both regions take typing, and "Set To C. Region" gives the
/// calculation the region shown, never one the operator typed back to an older view.
class TestCtPanel : public QObject
{
    Q_OBJECT
private slots:
    void typedRegions_data();
    void typedRegions();
};

void TestCtPanel::typedRegions_data()
{
    QTest::addColumn<bool>("display"); // typed into the display region's fields, else the calculation's
    QTest::addColumn<QStringList>("typed");
    QTest::addColumn<bool>("enter"); // Return after each field, else the button is the next thing used
    QTest::addColumn<QList<double>>("calc"); // the calculation region after "Set To C. Region"
    QTest::addColumn<QList<double>>("shown"); // the display region then
    const QList<double> whole {0, 0, 639, 639};
    QTest::newRow("a display region typed")
        << true << QStringList {u"12"_s, u"34.5"_s, u"140"_s, u"150.2"_s} << true
        << QList<double> {12, 34, 140, 151} << QList<double> {12, 34.5, 140, 150.2};
    QTest::newRow("a display region typed, no Return")
        << true << QStringList {u"12"_s, u"34"_s, u"140"_s, u"150"_s} << false
        << QList<double> {12, 34, 140, 150} << QList<double> {12, 34, 140, 150};
    QTest::newRow("a whole calculation region typed over a corner shown")
        << false << QStringList {u"0"_s, u"0"_s, u"639"_s, u"639"_s} << true << whole << whole;
    QTest::newRow("a calculation region inside the one shown")
        << false << QStringList {u"100"_s, u"110"_s, u"200"_s, u"210"_s} << true
        << QList<double> {100, 110, 200, 210} << QList<double> {100, 110, 200, 210};
}

void TestCtPanel::typedRegions()
{
    QFETCH(bool, display);
    QFETCH(QStringList, typed);
    QFETCH(bool, enter);
    QFETCH(QList<double>, calc);
    QFETCH(QList<double>, shown);
    CtPanel panel;
    panel.show();
    QVERIFY(QTest::qWaitForWindowExposed(&panel));
    // A corner of 256 shown and calculated, as a set loaded before left it.
    panel.setDR(0, 0, 255, 255);
    panel.setCR(0, 0, 255, 255);
    QSignalSpy calcSent(&panel, &CtPanel::cRUpdated);
    QSignalSpy shownSent(&panel, &CtPanel::dRUpdated);
    Ui_CtCalc &ui = panel.ui();
    typeInto(display ? QList<QLineEdit *> {ui.Drx0, ui.Drz0, ui.Drx1, ui.Drz1}
                     : QList<QLineEdit *> {ui.Crx0, ui.Crz0, ui.Crx1, ui.Crz1},
        typed, enter);
    ui.SetCRegion->click();
    QCOMPARE(corners(panel.calcRegion()), calc);
    QCOMPARE(corners(panel.dispRegion()), shown);
    // The view shows the display region, and the other panels heard of both regions.
    const QRectF view = ui.DispCt->view();
    QCOMPARE(QList<double>({view.left(), view.top(), view.right(), view.bottom()}), shown);
    QVERIFY(!calcSent.isEmpty() && !shownSent.isEmpty());
    QCOMPARE(calcSent.last(), QVariantList({calc[0], calc[1], calc[2], calc[3]}));
    QCOMPARE(shownSent.last(), QVariantList({shown[0], shown[1], shown[2], shown[3]}));
}

QTEST_MAIN(TestCtPanel)
#include "tst_ctpanel.moc"

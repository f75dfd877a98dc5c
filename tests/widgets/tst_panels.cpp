// Qt
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QTest>
#include <QToolButton>
#include <QVBoxLayout>

// Local
#include "tests/widgets/mouseevents.h"
#include "widgets/chcoord.h"
#include "widgets/closablebase.h"
#include "widgets/colorbar.h"
#include "widgets/disabledlook.h"
#include "widgets/numberfield.h"
#include "widgets/popdockbase.h"
#include "widgets/seekctrl.h"

/// The composites: the image display with readout, the raw display, SeekCtrl and PopDockBase.
using namespace Qt::StringLiterals;

class TestPanels : public QObject
{
    Q_OBJECT

private slots:
    void seekStaysInRange_data();
    void seekStaysInRange();
    void popAndDockRoundTrip_data();
    void popAndDockRoundTrip();
    void disabledLooksDisabled_data();
    void disabledLooksDisabled();
    void numberFieldMarksWhatIsNotANumber_data();
    void numberFieldMarksWhatIsNotANumber();
};

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

QTEST_MAIN(TestPanels)
#include "tst_panels.moc"

// Qt
#include <QListWidget>
#include <QScrollBar>
#include <QTest>

// Local
#include "ct/ui/corscanpanel.h"

class TestCorScanPanel : public QObject
{
    Q_OBJECT
private slots:
    void bestLabelInView_data();
    void bestLabelInView();
};

void TestCorScanPanel::bestLabelInView_data()
{
    QTest::addColumn<int>("pointSize");
    QTest::addColumn<int>("best");
    QTest::newRow("small font, best first") << 8 << 0;
    QTest::newRow("small font, best last") << 8 << 11;
    QTest::newRow("large font, best in the middle") << 16 << 6;
}

void TestCorScanPanel::bestLabelInView()
{
    QFETCH(int, pointSize);
    QFETCH(int, best);
    CorScanPanel panel;
    QFont font = panel.font();
    font.setPointSize(pointSize);
    panel.setFont(font); // after the strip was sized: it follows
    panel.resize(700, 600); // a laptop's page: far fewer thumbnails than trials fit
    panel.show();
    QVERIFY(QTest::qWaitForWindowExposed(&panel));
    std::vector<double> centres;
    for (int i = 0; i < 12; ++i)
        centres.push_back(290.0 + 0.5 * i);
    panel.begin(centres, CorScoreSetup {});
    for (int i = 0; i < 12; ++i) {
        CorTrial t;
        t.cor = centres[size_t(i)];
        t.reconstructed = true;
        t.score = 0.1 * i;
        panel.addTrial(i, t);
    }
    panel.finish(best);
    QCoreApplication::processEvents();

    QListWidget *list = panel.ui().Trials;
    QVERIFY(list->horizontalScrollBar()->isVisible());
    const QRect item = list->visualItemRect(list->item(best));
    // The item, thumbnail and label, lies whole in the strip above its scroll bar.
    QVERIFY2(list->viewport()->rect().contains(item),
        qPrintable(QStringLiteral("item %1,%2 %3x%4 in a view of %5x%6")
                       .arg(item.x())
                       .arg(item.y())
                       .arg(item.width())
                       .arg(item.height())
                       .arg(list->viewport()->width())
                       .arg(list->viewport()->height())));
    // And the item holds the thumbnail and the label's two bold lines.
    QFont bold = list->font();
    bold.setBold(true);
    const QString label = list->item(best)->text();
    QCOMPARE(label.count(u'\n'), 1);
    const QRect text = QFontMetrics(bold).boundingRect(
        QRect(0, 0, item.width(), 1000), Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap, label);
    QVERIFY2(list->iconSize().height() + text.height() <= item.height(),
        qPrintable(QStringLiteral("%1 + %2 > %3")
                       .arg(list->iconSize().height())
                       .arg(text.height())
                       .arg(item.height())));
}

QTEST_MAIN(TestCorScanPanel)
#include "tst_corscanpanel.moc"

// Qt
#include <QTest>

// Local
#include "ct/ui/ctdisp.h"
#include "widgets/imgdisp.h"
#include "widgets/seekctrl.h"

using namespace Qt::StringLiterals;

/// The CT images of a run, kept in slice order to step through.
class TestCtDisp : public QObject
{
    Q_OBJECT
private slots:
    void keepsSliceOrder_data();
    void keepsSliceOrder();
    void clearingEmptiesAll();
};

namespace {

// A 2 × 2 picture whose grey level tells which addition it came from.
QImage picture(int grey)
{
    QImage image(2, 2, QImage::Format_Grayscale8);
    image.fill(QColor(grey, grey, grey));
    return image;
}

} // namespace

void TestCtDisp::keepsSliceOrder_data()
{
    QTest::addColumn<QList<int>>("added"); // slices in the order their images arrive
    QTest::addColumn<QList<int>>("slices"); // the order kept
    QTest::addColumn<QList<int>>("arrival"); // which addition each kept entry is
    QTest::newRow("in order") << QList<int> {1, 2, 3} << QList<int> {1, 2, 3} << QList<int> {0, 1, 2};
    QTest::newRow("finishing order of workers")
        << QList<int> {15, 10, 20} << QList<int> {10, 15, 20} << QList<int> {1, 0, 2};
    QTest::newRow("descending range") << QList<int> {9, 6, 3} << QList<int> {3, 6, 9} << QList<int> {2, 1, 0};
    // A slice shown twice (two runs without clearing) keeps both, the later after the earlier.
    QTest::newRow("duplicates") << QList<int> {4, 2, 4, 2} << QList<int> {2, 2, 4, 4}
                                << QList<int> {1, 3, 0, 2};
}

void TestCtDisp::keepsSliceOrder()
{
    QFETCH(QList<int>, added);
    QFETCH(QList<int>, slices);
    QFETCH(QList<int>, arrival);
    CtDisp disp;
    for (qsizetype i = 0; i < added.size(); ++i) {
        QImage image = picture(int(10 * (i + 1)));
        disp.addImg(added[i], image);
        image.fill(Qt::white); // the panel keeps its own copy
        // The last entry of the list is shown after every addition.
        QCOMPARE(disp.ui().seeker_->value(), disp.count() - 1);
        QCOMPARE(disp.ui().SliceOfImage->text(), QString::number(disp.sliceAt(disp.count() - 1)));
    }
    QCOMPARE(disp.count(), slices.size());
    QCOMPARE(disp.ui().seeker_->maximum(), slices.size() - 1);
    const QList<QImage> images = disp.getQImages();
    for (int i = 0; i < disp.count(); ++i) {
        QCOMPARE(disp.sliceAt(i), slices[i]);
        QCOMPARE(qGray(images[i].pixel(1, 1)), 10 * (arrival[i] + 1));
    }
    disp.showImg(1);
    QCOMPARE(disp.ui().SliceOfImage->text(), QString::number(slices[1]));
    QCOMPARE(qGray(disp.ui().dispA_->image().pixel(0, 0)), 10 * (arrival[1] + 1));
    disp.showImg(disp.count()); // outside: nothing changes
    QCOMPARE(disp.ui().SliceOfImage->text(), QString::number(slices[1]));
}

void TestCtDisp::clearingEmptiesAll()
{
    CtDisp disp;
    disp.addImg(3, picture(30));
    disp.addImg(1, picture(10));
    disp.clear();
    QCOMPARE(disp.count(), 0);
    QVERIFY(disp.getQImages().isEmpty());
    QCOMPARE(disp.ui().seeker_->maximum(), 0);
    QCOMPARE(disp.ui().seeker_->value(), 0);
    QVERIFY(disp.ui().SliceOfImage->text().isEmpty());
    disp.addImg(7, picture(70)); // a new run starts from nothing
    QCOMPARE(disp.count(), 1);
    QCOMPARE(disp.sliceAt(0), 7);
    QCOMPARE(disp.ui().SliceOfImage->text(), u"7"_s);
}

QTEST_MAIN(TestCtDisp)
#include "tst_ctdisp.moc"

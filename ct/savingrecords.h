#pragma once

// Qt
#include <QByteArray>
#include <QImage>
#include <QMetaType>
#include <QString>

/// A data file on its way from a worker to the saver: created by the worker, deleted by the saver
/// after writing.
struct SavingData
{
    QString dir;
    QString name;
    QString tag;
    QString sliceText; // "%05d"
    QByteArray contents;
    QString extension = QStringLiteral("dat"); // "tif" for a float TIFF slice
};

/// An image on its way from a worker to the saver.
struct SavingImg
{
    QString dir;
    QString name;
    QString tag;
    QString sliceText;
    QImage image;
};

Q_DECLARE_METATYPE(SavingData *)
Q_DECLARE_METATYPE(SavingImg *)

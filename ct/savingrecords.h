#pragma once

// Qt
#include <QByteArray>
#include <QImage>
#include <QMetaType>
#include <QString>

/// A data file on its way to the saver, by value: what the file holds and where it goes.
struct SavingData
{
    QString dir;
    QString name;
    QString tag;
    QString sliceText; // "%05d"
    QByteArray contents;
    QString extension = QStringLiteral("dat"); // "tif" for a float TIFF slice
};

/// An image on its way to the saver, by value.
struct SavingImg
{
    QString dir;
    QString name;
    QString tag;
    QString sliceText;
    QImage image;
};

Q_DECLARE_METATYPE(SavingData)
Q_DECLARE_METATYPE(SavingImg)

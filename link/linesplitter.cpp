#include "link/linesplitter.h"
#include "link/linklog.h"

// Qt
#include <QDebug>

#include <algorithm>
#include <utility>

LineSplitter::LineSplitter(qsizetype limit)
    : limit_(std::max<qsizetype>(limit, 1))
{
}

QList<QByteArray> LineSplitter::feed(QByteArrayView bytes)
{
    QList<QByteArray> lines;
    qsizetype from = 0;
    while (from < bytes.size()) {
        const qsizetype lf = bytes.indexOf('\n', from);
        const qsizetype end = lf < 0 ? bytes.size() : lf;
        const QByteArrayView piece = bytes.sliced(from, end - from);
        if (skipping_)
            dropped_ += piece.size();
        else if (buffer_.size() + piece.size() > limit_)
            dropPartial(piece.size());
        else
            buffer_.append(piece);
        if (lf < 0)
            break;
        if (skipping_)
            skipping_ = false; // the overlong line ends here; the next one is read normally
        else
            lines.append(std::exchange(buffer_, QByteArray()));
        from = lf + 1;
    }
    return lines;
}

void LineSplitter::dropPartial(qsizetype more)
{
    qCWarning(lcLink).noquote() << QStringLiteral(
        "A received line is longer than %1 bytes: it is dropped up to its line feed")
                                .arg(limit_);
    dropped_ += buffer_.size() + more;
    buffer_.clear();
    buffer_.squeeze();
    skipping_ = true;
}

void LineSplitter::clear()
{
    buffer_.clear();
    skipping_ = false;
}

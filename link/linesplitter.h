#pragma once

// Qt
#include <QByteArray>
#include <QByteArrayView>
#include <QList>

/// Cuts a received byte stream into lines at each line feed. Nothing else is removed or decoded:
/// a line ending in CR LF keeps its CR. Bytes after the last line feed wait for the next delivery.
/// A line may grow to `limit` bytes; a longer one is dropped whole, up to and with its line feed,
/// so that a peer that never ends its line cannot exhaust memory.
/// \test tst_zelmaplink.cpp
class LineSplitter
{
public:
    static constexpr qsizetype defaultLimit = qsizetype(1) << 20;

    explicit LineSplitter(qsizetype limit = defaultLimit);

    /// Appends `bytes` and returns the lines they complete, in order, without their line feeds.
    /// Empty lines are returned too.
    QList<QByteArray> feed(QByteArrayView bytes);
    /// Forgets the partial line (a new connection starts a new stream).
    void clear();

    /// Bytes of the partial line waiting for its line feed.
    qsizetype pending() const { return buffer_.size(); }
    /// True while the rest of an overlong line is being skipped.
    bool isSkipping() const { return skipping_; }
    /// Bytes of overlong lines dropped so far.
    qint64 droppedBytes() const { return dropped_; }
    qsizetype limit() const { return limit_; }

private:
    void dropPartial(qsizetype more);

    qsizetype limit_;
    QByteArray buffer_;
    bool skipping_ = false;
    qint64 dropped_ = 0;
};

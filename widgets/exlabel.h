#pragma once

// Qt
#include <QLabel>

class MouseC;
class QPainter;

/// A label that, like a painting area, lets its owner draw over it (`drawImage1`, after the
/// label's own text) and hear its mouse, entering and leaving included.
class ExLabel : public QLabel
{
    Q_OBJECT

public:
    explicit ExLabel(QWidget *parent = nullptr);

    MouseC *mouse() const { return mouse_; }

signals:
    void drawImage1(QPainter *p);
    void mouseMoved0();
    void mousePressed0();
    void mouseReleased0();
    void mouseDoubleClicked0();
    void entered0();
    void left0();

protected:
    void paintEvent(QPaintEvent *e) override;
    void mouseMoveEvent(QMouseEvent *e) override;
    void mousePressEvent(QMouseEvent *e) override;
    void mouseReleaseEvent(QMouseEvent *e) override;
    void mouseDoubleClickEvent(QMouseEvent *e) override;
    void enterEvent(QEnterEvent *e) override;
    void leaveEvent(QEvent *e) override;

private:
    MouseC *mouse_;
};

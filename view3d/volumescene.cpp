#include "view3d/volumescene.h"

// Qt
#include <QPainter>

void paintVolumeScene(QPainter &p, const ViewFrame &frame, int pw, int ph, const std::vector<SceneSet> &sets)
{
    if (pw < 1 || ph < 1)
        return;
    p.fillRect(QRect(0, 0, pw, ph), Qt::white);
    for (const SceneSet &set : sets) {
        if (!set.stack || set.stack->nx < 1 || set.stack->ny < 1)
            continue;
        const SliceStack &stack = *set.stack;
        const double depth = set.look.depth > 0.0 ? set.look.depth : stack.count();
        if (set.showFrame)
            paintVolumeFrame(p, frame, pw, ph, depth, stack.nx, stack.ny, false, set.look.volumeColor);
        if (set.showVolume)
            p.drawImage(0, 0, renderVolume(stack, set.look, frame, pw, ph));
        if (set.showFrame)
            paintVolumeFrame(p, frame, pw, ph, depth, stack.nx, stack.ny, true, set.look.volumeColor);
    }
}

#pragma once

#include <QEvent>
#include <QObject>

// Counts the paint events of the widgets it is installed on.
class PaintCounter : public QObject {
public:
    int paints = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            ++paints;
        return false;
    }
};

#pragma once

#include "app/model/Control.h"
#include "app/model/Event.h"

#include <QListWidget>

namespace mugrove {

// A single-selection list. A user selection raises SelectionChanged, also a
// click on the item that is already selected. Only the left button selects,
// and nothing the user does takes the selection away again.
class ListBox : public QListWidget, public Control {
    Q_OBJECT
public:
    explicit ListBox(QWidget* parent);

    // Index of the selected item, -1 when none (a focused but unselected
    // row does not count).
    int CurrentIndex() const;
    // Selects the item (none for -1) without raising SelectionChanged.
    void SetCurrentIndex(int index);
    void SetItems(const QStringList& items);

    Event<> SelectionChanged;

protected:
    QItemSelectionModel::SelectionFlags selectionCommand(const QModelIndex& index,
                                                         const QEvent* event) const override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    bool pressing_ = false; // a press is being handled: it raises at most once
    bool raisedDuringPress_ = false;
};

} // namespace mugrove

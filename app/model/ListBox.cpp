#include "app/model/ListBox.h"

#include <QMouseEvent>
#include <QStyledItemDelegate>

namespace mugrove {
namespace {

// Each row is five pixels taller than the font's own row.
class TallerRows : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        QSize s = QStyledItemDelegate::sizeHint(option, index);
        s.setHeight(option.fontMetrics.height() + 5);
        return s;
    }
};

} // namespace

ListBox::ListBox(QWidget* parent) : QListWidget(parent), Control(this)
{
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSortingEnabled(false);
    setItemDelegate(new TallerRows(this));
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    connect(this, &QListWidget::itemSelectionChanged, this, [this] {
        if (pressing_)
            raisedDuringPress_ = true;
        SelectionChanged.Raise();
    });
}

int ListBox::CurrentIndex() const
{
    const QModelIndexList selected = selectionModel()->selectedIndexes();
    return selected.isEmpty() ? -1 : selected.front().row();
}

void ListBox::SetCurrentIndex(int index)
{
    const QSignalBlocker quiet(this);
    if (index < 0 || index >= count()) {
        setCurrentRow(-1);
        clearSelection();
        return;
    }
    setCurrentRow(index);
}

void ListBox::SetItems(const QStringList& items)
{
    const QSignalBlocker quiet(this);
    clear();
    addItems(items);
    setCurrentRow(-1);
    clearSelection();
}

QItemSelectionModel::SelectionFlags ListBox::selectionCommand(const QModelIndex& index,
                                                              const QEvent* event) const
{
    const QItemSelectionModel::SelectionFlags command =
        QListWidget::selectionCommand(index, event);
    // Ctrl+click and Ctrl+Space would toggle the selected item off; a
    // single-selection list keeps it.
    if (command & QItemSelectionModel::Deselect)
        return QItemSelectionModel::NoUpdate;
    return command;
}

void ListBox::mousePressEvent(QMouseEvent* event)
{
    // The right and middle buttons neither select nor move the focus row.
    if (event->button() != Qt::LeftButton) {
        event->accept();
        return;
    }
    const bool onItem = itemAt(event->position().toPoint()) != nullptr;
    pressing_ = true;
    raisedDuringPress_ = false;
    QListWidget::mousePressEvent(event);
    pressing_ = false;
    // Picking the selected item again is a selection too: it brings a
    // template back after a dropped photo replaced it.
    if (onItem && !raisedDuringPress_)
        SelectionChanged.Raise();
}

void ListBox::mouseMoveEvent(QMouseEvent* event)
{
    // Dragging with another button held does not sweep the selection along.
    if (event->buttons() != Qt::NoButton && !(event->buttons() & Qt::LeftButton)) {
        event->accept();
        return;
    }
    QListWidget::mouseMoveEvent(event);
}

void ListBox::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        event->accept();
        return;
    }
    QListWidget::mouseReleaseEvent(event);
}

} // namespace mugrove

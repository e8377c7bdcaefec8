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

void ListBox::SetItems(const QStringList& items)
{
    const QSignalBlocker quiet(this);
    clear();
    addItems(items);
    setCurrentRow(-1);
    clearSelection();
}

void ListBox::mousePressEvent(QMouseEvent* event)
{
    const bool onItem = itemAt(event->position().toPoint()) != nullptr;
    pressing_ = true;
    raisedDuringPress_ = false;
    QListWidget::mousePressEvent(event);
    pressing_ = false;
    // Picking the selected item again is a selection too: it brings a
    // template back after a dropped photo replaced it.
    if (onItem && !raisedDuringPress_ && event->button() == Qt::LeftButton)
        SelectionChanged.Raise();
}

} // namespace mugrove

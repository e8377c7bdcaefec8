#include "app/program/SizeLimitMenu.h"
#include "app/program/DialogButtons.h"

#include <QAction>
#include <QActionGroup>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QMenu>
#include <QPushButton>
#include <QSpinBox>

#include <algorithm>
#include <iterator>

namespace mugrove {

namespace {

constexpr ByteLimit kMB = 1000000;
constexpr ByteLimit kKB = 1000;

struct Entry {
    const char* text;
    ByteLimit limit;
};

constexpr Entry kEntries[] = {
    {"不限大小(&N)", 0},
    {"1 MB 以内（微信表情）(&W)", 1 * kMB},
    {"5 MB 以内(&5)", 5 * kMB},
    {"10 MB 以内（Discord）(&D)", 10 * kMB},
};

struct FormatEntry {
    const char* text;
    const char* name; // in the tooltip
    MovingFormat format;
};

constexpr FormatEntry kFormats[] = {
    {"GIF 动图(&G)", "GIF", MovingFormat::Gif},
    {"MP4 视频(&M)", "MP4", MovingFormat::Mp4},
};

} // namespace

SizeLimitMenu::SizeLimitMenu(QPushButton& button)
    : QObject(&button), button_(button), menu_(new QMenu(&button)), group_(new QActionGroup(menu_))
{
    menu_->setObjectName(QStringLiteral("sizeLimitMenu"));
    group_->setExclusive(true);
    for (const Entry& entry : kEntries) {
        QAction* action = menu_->addAction(QString::fromUtf8(entry.text));
        action->setCheckable(true);
        action->setChecked(entry.limit == 0);
        group_->addAction(action);
        const ByteLimit limit = entry.limit;
        connect(action, &QAction::triggered, this, [this, limit] { Choose(limit); });
    }
    QAction* custom = menu_->addAction(QStringLiteral("自定义大小(&C)..."));
    custom->setCheckable(true);
    group_->addAction(custom);
    connect(custom, &QAction::triggered, this, [this] {
        // Checked only once a limit is given; until then the old one stays.
        Choose(limit_);
        AskCustomLimit();
    });

    menu_->addSeparator();
    auto* formats = new QActionGroup(menu_);
    formats->setExclusive(true);
    for (const FormatEntry& entry : kFormats) {
        QAction* action = menu_->addAction(QString::fromUtf8(entry.text));
        action->setCheckable(true);
        action->setChecked(entry.format == format_);
        formats->addAction(action);
        const MovingFormat format = entry.format;
        connect(action, &QAction::triggered, this, [this, format] { ChooseFormat(format); });
    }

    button.setContextMenuPolicy(Qt::CustomContextMenu);
    connect(&button, &QWidget::customContextMenuRequested, menu_,
            [this](const QPoint& at) { menu_->popup(button_.mapToGlobal(at)); });
    Choose(0);
}

void SizeLimitMenu::AskCustomLimit()
{
    auto* dialog = new QDialog(&button_);
    dialog->setObjectName(QStringLiteral("sizeLimitDialog"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowTitle(QStringLiteral("自定义大小"));
    auto* field = new QSpinBox(dialog);
    field->setRange(1, 2000000000); // up to 2 TB, beyond any file a save makes
    field->setValue(int(limit_ != 0 ? std::max<ByteLimit>(1, limit_ / kKB) : kMB / kKB));
    auto* buttons = OkCancelButtons(dialog);
    auto* layout = new QFormLayout(dialog);
    layout->addRow(QStringLiteral("大小上限（KB）"), field);
    layout->addRow(buttons);
    connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    connect(dialog, &QDialog::accepted, this, [this, field] { Choose(ByteLimit(field->value()) * kKB); });
    // Focused before the dialog shows, so it has the focus once it is active.
    field->setFocus();
    field->selectAll();
    dialog->open();
}

void SizeLimitMenu::Choose(ByteLimit limit)
{
    limit_ = limit;
    const QList<QAction*> actions = group_->actions();
    QAction* checked = actions.back(); // a limit no fixed entry names is a custom one
    for (std::size_t i = 0; i < std::size(kEntries); ++i)
        if (kEntries[i].limit == limit)
            checked = actions[qsizetype(i)];
    checked->setChecked(true);
    ShowTip();
}

void SizeLimitMenu::ChooseFormat(MovingFormat format)
{
    format_ = format;
    ShowTip();
}

void SizeLimitMenu::ShowTip()
{
    const char* format = "";
    for (const FormatEntry& entry : kFormats)
        if (entry.format == format_)
            format = entry.name;
    button_.setToolTip(QStringLiteral("大小上限：") + LimitText(limit_) + QStringLiteral("；格式：")
                       + QString::fromUtf8(format));
}

} // namespace mugrove

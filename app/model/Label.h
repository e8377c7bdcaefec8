#pragma once

#include "app/model/Control.h"

#include <QLabel>

namespace mugrove {

// A static text. Its caption is shown as plain text, left-aligned and
// vertically centred; CR LF pairs in it break lines, which are set
// kGuiLineSpacing apart.
class Label : public QLabel, public Control {
    Q_OBJECT
public:
    explicit Label(QWidget* parent);

    QString Caption() const { return caption_; }
    void SetCaption(const QString& caption);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString caption_;
    QStringList lines_;
};

} // namespace mugrove

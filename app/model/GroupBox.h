#pragma once

#include "app/model/Control.h"

#include <QGroupBox>

#include <cstdint>

namespace mugrove {

// A framed group with a left-aligned caption; its background fills the
// whole box in the given 0x00BBGGRR colour.
class GroupBox : public QGroupBox, public Control {
    Q_OBJECT
public:
    explicit GroupBox(QWidget* parent);

    QString Caption() const { return title(); }
    void SetCaption(const QString& caption) { setTitle(caption); }
    void SetBackgroundColour(std::uint32_t colour);
};

} // namespace mugrove

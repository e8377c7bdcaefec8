#pragma once

#include "controls/ColorPopupLayout.h"

#include <QString>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <optional>

namespace mugrove {

// The palette that drops down under a colour picker. It is a Qt::Popup, so it
// receives every mouse event while it is open, wherever the pointer is.
// It ends exactly once, by confirm or cancel, and reports the result through
// `Finished`; the owner deletes it afterwards.
class ColorPopup : public QWidget {
    Q_OBJECT
public:
    // confirmed: the user chose `colour`; otherwise `colour` is the initial one.
    using FinishedHandler = std::function<void(bool confirmed, std::uint32_t colour)>;

    // transparentText empty: no "透明" box.
    ColorPopup(std::uint32_t initialColour, const QString& transparentText,
               const QString& otherColoursText, QWidget* owner);
    ~ColorPopup() override;

    void SetFinishedHandler(FinishedHandler handler) { finished_ = std::move(handler); }

    // Places the pop-up with its top-left at `wanted` (global), kept on `screen`.
    void PlaceAt(QPoint wanted, const QRect& screen);

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void SetHot(int item);
    void End(bool confirmed);
    void DrawItemFrame(class QPainter& painter, int item, const QRect& rect) const;
    void DrawBox(class QPainter& painter, int item, const QString& text) const;

    std::uint32_t initial_;
    QString transparentText_;
    QString otherColoursText_;
    ColorPopupLayout layout_;
    int hot_ = kNoItem;
    int current_ = kNoItem;
    bool pressed_ = false;
    bool ended_ = false;
    FinishedHandler finished_;
};

} // namespace mugrove

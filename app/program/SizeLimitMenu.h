#pragma once

#include "output/SizeLimit.h"

#include <QObject>

class QActionGroup;
class QMenu;
class QPushButton;

namespace mugrove {

// What a moving picture is saved as; a still is a JPEG whichever it is.
enum class MovingFormat { Gif, Mp4 };

// The save button's right-click menu: the size limits, then the format of
// moving pictures; one entry of each group checked, the choice kept while
// the program runs (nothing is stored), the limit and format in force named
// in the button's tooltip. The last limit entry asks for a limit in KB.
class SizeLimitMenu : public QObject {
    Q_OBJECT
public:
    explicit SizeLimitMenu(QPushButton& button);

    ByteLimit Limit() const { return limit_; }
    MovingFormat Format() const { return format_; }
    QMenu& Menu() { return *menu_; }

    // Opens the dialog that asks for a limit in KB (not waiting for it).
    void AskCustomLimit();

private:
    void Choose(ByteLimit limit);
    void ChooseFormat(MovingFormat format);
    void ShowTip();

    QPushButton& button_;
    QMenu* menu_;
    QActionGroup* group_;
    ByteLimit limit_ = 0;
    MovingFormat format_ = MovingFormat::Gif;
};

} // namespace mugrove

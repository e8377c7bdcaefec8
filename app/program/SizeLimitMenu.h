#pragma once

#include "output/SizeLimit.h"

#include <QObject>

class QActionGroup;
class QMenu;
class QPushButton;

namespace mugrove {

// The save button's right-click menu of size limits: one entry checked, the
// choice kept while the program runs (nothing is stored), the limit in force
// named in the button's tooltip. The last entry asks for a limit in KB.
class SizeLimitMenu : public QObject {
    Q_OBJECT
public:
    explicit SizeLimitMenu(QPushButton& button);

    ByteLimit Limit() const { return limit_; }
    QMenu& Menu() { return *menu_; }

    // Opens the dialog that asks for a limit in KB (not waiting for it).
    void AskCustomLimit();

private:
    void Choose(ByteLimit limit);

    QPushButton& button_;
    QMenu* menu_;
    QActionGroup* group_;
    ByteLimit limit_ = 0;
};

} // namespace mugrove

#pragma once

#include "app/model/LogFont.h"

#include <QObject>
#include <QString>


namespace mugrove {

// The font kind of the common dialog: no window of its own, it remembers the
// last confirmed font choice and opens the program's own font chooser on request.
class CommonDlg : public QObject {
    Q_OBJECT
public:
    explicit CommonDlg(QObject* parent);

    int FontBold() const { return fontBold_; }
    int FontItalic() const { return fontItalic_; }
    int FontStrikeout() const { return fontStrikeout_; }
    int FontUnderline() const { return fontUnderline_; }
    QString FontName() const { return fontName_; }
    int FontSize() const { return fontSize_; }

    // Shows the modal font chooser (a QFontDialog named "字体") starting from
    // the remembered choice. True when the user confirmed: the choice is then
    // remembered. A cancel changes nothing and gives false.
    bool OpenFont();

    // The description the chooser starts from: bold, italic, strike-out and
    // underline when 1, the remembered face, and the size as a pixel height
    // (none when the size is 0).
    LogFont StartingFont(int dpi) const;

    // Takes a confirmed choice, as the chooser does on OK.
    void AcceptChoice(int bold, int italic, int strikeout, int underline, const QString& name,
                      int size);

private:
    int fontBold_ = 0;
    int fontItalic_ = 0;
    int fontStrikeout_ = 0;
    int fontUnderline_ = 0;
    QString fontName_;
    int fontSize_ = 0; // points; 0 = none given
};

} // namespace mugrove

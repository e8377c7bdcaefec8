#include "app/model/CommonDlg.h"

#include "app/model/MulDiv.h"

#include "app/model/LogFont.h"

#include <QFontDialog>
#include <QWidget>

#include <cmath>

namespace mugrove {

CommonDlg::CommonDlg(QObject* parent) : QObject(parent) {}

LogFont CommonDlg::StartingFont(int dpi) const
{
    LogFont start;
    if (fontBold_ == 1)
        start.weight = kWeightBold;
    start.italic = fontItalic_ == 1 ? 1 : 0;
    start.strikeOut = fontStrikeout_ == 1 ? 1 : 0;
    start.underline = fontUnderline_ == 1 ? 1 : 0;
    start.faceName = fontName_;
    if (fontSize_ != 0)
        start.height = -MulDiv(fontSize_, dpi, 72);
    return start;
}

bool CommonDlg::OpenFont()
{
    const int dpi = ScreenDpiY();
    QFontDialog dialog(qobject_cast<QWidget*>(parent()));
    dialog.setObjectName(QStringLiteral("字体"));
    // A desktop's own chooser may offer no underline or strike-out.
    dialog.setOption(QFontDialog::DontUseNativeDialog);
    dialog.setCurrentFont(ToQFont(StartingFont(dpi)));
    if (dialog.exec() != QDialog::Accepted)
        return false;

    const QFont chosen = dialog.selectedFont();
    // The chooser answers in points; the remembered size goes through the
    // pixel height as the stored description would hold it.
    std::int32_t height = 0;
    if (chosen.pointSizeF() > 0)
        height = -static_cast<std::int32_t>(std::lround(chosen.pointSizeF() * dpi / 72.0));
    else if (chosen.pixelSize() > 0)
        height = -chosen.pixelSize();
    // The Qt chooser offers no colour, so there is none to remember.
    AcceptChoice(chosen.weight() >= kWeightBold ? 1 : 0, chosen.italic() ? 1 : 0,
                 chosen.strikeOut() ? 1 : 0, chosen.underline() ? 1 : 0, chosen.family(),
                 MulDiv(-height, 72, dpi));
    return true;
}

void CommonDlg::AcceptChoice(int bold, int italic, int strikeout, int underline,
                             const QString& name, int size)
{
    fontBold_ = bold;
    fontItalic_ = italic;
    fontStrikeout_ = strikeout;
    fontUnderline_ = underline;
    fontName_ = name;
    fontSize_ = size;
}

} // namespace mugrove

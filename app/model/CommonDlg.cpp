#include "app/model/CommonDlg.h"

namespace mugrove {

CommonDlg::CommonDlg(QObject* parent) : QObject(parent) {}

bool CommonDlg::OpenFont()
{
    // The chooser itself arrives with the caption styling controls.
    return false;
}

void CommonDlg::AcceptChoice(int bold, int italic, int strikeout, int underline,
                             const QString& name, int size, std::uint32_t colour)
{
    fontBold_ = bold;
    fontItalic_ = italic;
    fontStrikeout_ = strikeout;
    fontUnderline_ = underline;
    fontName_ = name;
    fontSize_ = size;
    fontColour_ = colour;
}

} // namespace mugrove

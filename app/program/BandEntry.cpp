#include "app/program/BandEntry.h"

#include "app/Form.h"
#include "controls/PicBox.h"
#include "overlay/CaptionBand.h"

#include <QMenu>

namespace mugrove {

void AddBandEntry(QMenu& menu, Form& form)
{
    QAction* band = menu.addAction(QStringLiteral("白边文字(&B)"));
    band->setCheckable(true);
    band->setChecked(form.bandCaption != nullptr);
    // Taking the band off needs no picture.
    band->setEnabled(form.bandCaption != nullptr || CanAddBand(form));
    QObject::connect(band, &QAction::triggered, form.workArea, [&form](bool on) {
        AsStep(form.history, {}, [&form, on] {
            if (on)
                AddBand(form);
            else
                RemoveBand(form);
        });
    });
}

} // namespace mugrove

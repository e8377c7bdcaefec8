#include "app/program/Shape.h"

#include "app/Form.h"
#include "app/WindowDefinition.h"
#include "app/program/CropFrame.h"
#include "controls/PicBox.h"
#include "controls/TransLabel.h"
#include "templates/BandLayout.h"
#include "templates/Selection.h"

#include <QMenu>

namespace mugrove {

namespace {

// Where the picture lies in the work area now: in the part below the
// caption band.
QRect PictureTarget(const PicBox& area)
{
    return DisplayTarget(static_cast<PictureFit>(area.DisplayMode()),
                         QSize(area.Width(), area.Height() - area.Band()), area.ShapedSize())
        .translated(0, area.Band());
}

} // namespace

void ReorientPicture(Form& form, Reorientation how)
{
    PicBox& area = *form.workArea;
    if (area.Decoded() == nullptr)
        return;
    area.SetShape(Reoriented(area.Shape(), how));
    if (how == Reorientation::TurnLeft || how == Reorientation::TurnRight) {
        // The picture's part turns; a band above it is laid out anew over
        // the new width.
        const int width = area.Width(), height = area.Height() - area.Band();
        area.SetHeight(width);
        area.SetWidth(height);
        RefreshSizeLabels(form);
        PlacePictureUnderBand(form);
    }
}

void CropPicture(Form& form, QRect onScreen)
{
    PicBox& area = *form.workArea;
    const DecodedPicture* decoded = area.Decoded();
    if (decoded == nullptr)
        return;
    const QRect target = PictureTarget(area);
    const QSize shaped = area.ShapedSize();
    const QRect part = PartUnder(target, shaped, onScreen);
    if (part.isEmpty())
        return;
    const QRect shown = PartOnScreen(target, shaped, part);
    // The captions keep their place over the picture: they move as the
    // part's top-left corner moves to the picture's, below a band.
    const QPoint shift = kWorkAreaOrigin - QPoint(area.Left(), area.Top()) - shown.topLeft() + QPoint(0, area.Band());
    area.SetShape(Cropped(area.Shape(), QSize(decoded->Width(), decoded->Height()), part));
    area.SetLeft(kWorkAreaOrigin.x());
    area.SetTop(kWorkAreaOrigin.y());
    area.SetHeight(shown.height());
    area.SetWidth(shown.width());
    for (TransLabel* caption : form.captions) {
        caption->SetLeft(caption->Left() + shift.x());
        caption->SetTop(caption->Top() + shift.y());
    }
    RefreshSizeLabels(form);
    PlacePictureUnderBand(form);
}

CropFrame* StartCrop(Form& form)
{
    PicBox& area = *form.workArea;
    const DecodedPicture* decoded = area.Decoded();
    if (decoded == nullptr)
        return nullptr;
    const QRect target = PictureTarget(area).intersected(area.rect());
    if (target.isEmpty())
        return nullptr;
    std::vector<QWidget*> captions(form.captions.begin(), form.captions.end());
    // Applied only to the picture it was drawn over.
    return new CropFrame(&area, target, std::move(captions), [&form, decoded](QRect rect) {
        if (form.workArea->Decoded() != decoded)
            return;
        AsStep(form.history, {}, [&form, rect] { CropPicture(form, rect); });
    });
}

void AddShapeEntries(QMenu& menu, Form& form)
{
    const bool picture = form.workArea->Decoded() != nullptr;
    QMenu* turns = menu.addMenu(QStringLiteral("旋转和翻转(&O)"));
    turns->setObjectName(QStringLiteral("reorientMenu"));
    turns->setEnabled(picture);
    const std::pair<const char*, Reorientation> entries[] = {
        {"向左旋转 90°(&L)", Reorientation::TurnLeft},
        {"向右旋转 90°(&R)", Reorientation::TurnRight},
        {"水平翻转(&H)", Reorientation::FlipHorizontal},
        {"垂直翻转(&V)", Reorientation::FlipVertical},
    };
    for (const auto& [text, how] : entries) {
        QAction* action = turns->addAction(QString::fromUtf8(text));
        action->setEnabled(picture);
        QObject::connect(action, &QAction::triggered, form.workArea,
                         [&form, how] { AsStep(form.history, {}, [&form, how] { ReorientPicture(form, how); }); });
    }
    QAction* crop = menu.addAction(QStringLiteral("裁剪(&X)..."));
    crop->setEnabled(picture);
    QObject::connect(crop, &QAction::triggered, form.workArea, [&form] { StartCrop(form); });
}

} // namespace mugrove

#include "templates/Selection.h"

#include "app/Form.h"
#include "app/model/Label.h"
#include "app/model/ListBox.h"
#include "controls/PicBox.h"
#include "templates/BandLayout.h"
#include "templates/Catalog.h"

namespace mugrove {

void OnTemplateSelected(Form& form)
{
    const int index = form.templateList->CurrentIndex();
    if (const TemplateEntry* entry = TemplateCatalog::Find(index)) {
        form.workArea->SetPicture(PictureBytes(entry->picture.begin(), entry->picture.end()));
        form.workArea->SetWidth(entry->displayWidth);
        form.workArea->SetHeight(entry->displayHeight);
        RefreshSizeLabels(form);
        PlacePictureUnderBand(form);
    }
}

void RefreshSizeLabels(Form& form)
{
    // Read back from the box: the size actually in force, not the one asked for.
    const int width = form.workArea->Width();
    form.widthLabel->SetCaption(QStringLiteral("图片宽度：") + QString::number(width));
    const int height = form.workArea->Height();
    form.heightLabel->SetCaption(QStringLiteral("图片高度：") + QString::number(height));
}

} // namespace mugrove

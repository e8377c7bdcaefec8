#include "templates/PhotoDrop.h"

#include "app/Form.h"

#include <QString>

namespace mugrove {

void OnPhotoDropped(Form&, const QString&) {}

} // namespace mugrove

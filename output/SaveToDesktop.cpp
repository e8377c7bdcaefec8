#include "output/SaveToDesktop.h"

#include "app/Form.h"
#include "app/model/Button.h"
#include "controls/PicBox.h"
#include "controls/decoders/Animation.h"
#include "output/AnimatedSave.h"
#include "output/DateTimeText.h"
#include "output/JpegEncoder.h"
#include "output/NewFile.h"
#include "output/Snapshot.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace mugrove {

QString SaveEnvironment::DesktopLocation()
{
    return QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
}

QString GetDesktopFolder(const SaveEnvironment& environment)
{
    const QString folder = environment.desktopFolder ? environment.desktopFolder() : QString();
    if (folder.isEmpty())
        return {};
    if (!QDir().mkpath(folder) || !QFileInfo(folder).isDir())
        return {};
    return folder;
}

bool WriteBytesToFile(const QString& name, std::span<const std::uint8_t> bytes, QString* written)
{
    if (name.isEmpty())
        return false;
    // Written in the target's own folder, so that naming it is one step on
    // one file system.
    const QFileInfo target(name);
    NewFile file(target.absolutePath());
    if (!file.Write(bytes))
        return false;
    const QString used = file.Publish(target.fileName());
    if (used.isEmpty())
        return false;
    if (written)
        *written = used;
    return true;
}

void OnSaveClicked(Form& form, const SaveEnvironment& environment)
{
    // A save still writing an animation takes no second click.
    if (AnimatedSaveRunning(form))
        return;
    const QString folder = GetDesktopFolder(environment);
    const QDateTime now = environment.now ? environment.now() : QDateTime::currentDateTime();
    const QString text = DateTimeToText(ToDateTimeValue(now));

    PicBox& box = *form.workArea;
    // A playing picture is saved as it plays, on a worker thread.
    if (box.Animating()) {
        StartAnimatedSave(form, box.Decoded()->animation->Clone(), folder, text + QStringLiteral(".gif"));
        return;
    }
    // Encoded straight from the picture the snapshot is made of: the same
    // pixels, without a pass that packs them into a BMP first.
    const EncodedBytes jpeg = EncodeShownAsJpeg(ShowingNow(&box.NativeWindow(), box.Width(), box.Height()));

    const bool saved = !folder.isEmpty() && !jpeg.empty()
        && WriteBytesToFile(folder + u'/' + text + QStringLiteral(".jpg"), jpeg);
    form.saveButton->SetCaption(saved ? QStringLiteral("保存成功!!") : QStringLiteral("保存失败!!"));
}

} // namespace mugrove

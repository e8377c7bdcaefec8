#include "output/SaveToDesktop.h"

#include "controls/PicBox.h"
#include "output/DateTimeText.h"
#include "output/JpegEncoder.h"
#include "output/NewFile.h"
#include "output/Snapshot.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include <cerrno>
#include <cstring>

namespace mugrove {

QString SaveEnvironment::DesktopLocation()
{
    return QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
}

QString GetDesktopFolder(const SaveEnvironment& environment, QString* why)
{
    const QString folder = environment.desktopFolder ? environment.desktopFolder() : QString();
    const auto fail = [why](const QString& reason) {
        if (why)
            *why = reason;
        return QString();
    };
    if (folder.isEmpty())
        return fail(QStringLiteral("no desktop folder is known"));
    errno = 0;
    if (!QDir().mkpath(folder) || !QFileInfo(folder).isDir())
        return fail(folder + QStringLiteral(": ")
                    + (errno != 0 ? QString::fromLocal8Bit(std::strerror(errno)) : QStringLiteral("not a folder")));
    return folder;
}

bool WriteBytesToFile(const QString& name, std::span<const std::uint8_t> bytes, QString* written,
                      QString* error)
{
    if (name.isEmpty()) {
        if (error)
            *error = QStringLiteral("no file name");
        return false;
    }
    // Written in the target's own folder, so that naming it is one step on
    // one file system.
    const QFileInfo target(name);
    NewFile file(target.absolutePath());
    QString used;
    if (file.Write(bytes))
        used = file.Publish(target.fileName());
    if (used.isEmpty()) {
        if (error)
            *error = name + QStringLiteral(": ") + file.Error();
        return false;
    }
    if (written)
        *written = used;
    return true;
}

QString SaveName(const SaveEnvironment& environment)
{
    const QDateTime now = environment.now ? environment.now() : QDateTime::currentDateTime();
    return DateTimeToText(ToDateTimeValue(now));
}

OutputOutcome SaveStill(PicBox& box, const QString& folder, const QString& fileName)
{
    // Encoded straight from the picture the snapshot is made of: the same
    // pixels, without a pass that packs them into a BMP first.
    const EncodedBytes jpeg = EncodeShownAsJpeg(ShowingNow(&box.NativeWindow(), box.Width(), box.Height()));
    if (jpeg.empty())
        return OutputOutcome::Failed(QStringLiteral("the picture of the work area could not be made"));
    QString written, error;
    if (!WriteBytesToFile(folder + u'/' + fileName, jpeg, &written, &error))
        return OutputOutcome::Failed(error);
    return OutputOutcome::Written(written);
}

} // namespace mugrove

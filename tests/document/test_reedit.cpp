// Editing a saved meme again, through real windows sharing one store: a
// meme saved in one window, its file opened in a fresh one and 重新编辑
// chosen, comes back editable and saves to the same pixels; a record or
// source that is damaged, missing or changed greys the entry and the file
// opens as a picture; a store that cannot be written costs the save nothing
// but one line on standard error. (Two windows writing the store at once:
// the store's own tests, on two threads.)
#include "tests/support/HandTimer.h"
#include "tests/support/JpegMaker.h"
#include "tests/support/ShownForm.h"
#include "tests/support/StderrCapture.h"

#include "app/document/MemeBytes.h"
#include "app/document/MemeHistory.h"
#include "app/model/Button.h"
#include "app/model/CheckBox.h"
#include "app/model/EditBox.h"
#include "app/model/ListBox.h"
#include "app/program/Shape.h"
#include "app/program/SizeLimitMenu.h"
#include "app/store/MemeStore.h"
#include "controls/ColorPicker.h"
#include "output/Clipboard.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QMenu>
#include <QMimeData>
#include <QTemporaryDir>
#include <QTest>

using namespace mugrove;
using namespace mugrove::testing;

namespace {

QString Data(const char* name)
{
    return QStringLiteral(MUGROVE_TEST_DATA "/") + QString::fromUtf8(name);
}

QByteArray ReadAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void WriteAll(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(bytes), bytes.size());
}

QImage Pixels(const QByteArray& file)
{
    return DecodeToImage(std::span(reinterpret_cast<const std::uint8_t*>(file.constData()), std::size_t(file.size())))
        .value_or(QImage());
}

QByteArray Bytes(const std::shared_ptr<const PictureBytes>& picture)
{
    return picture ? QByteArray(reinterpret_cast<const char*>(picture->data()), qsizetype(picture->size()))
                   : QByteArray();
}

// Every window's desktop, so that files outlive the window that saved them.
QTemporaryDir& Desktop()
{
    static QTemporaryDir desktop;
    return desktop;
}

// A window of its own with the given store, frames moved on by hand only.
struct Window {
    QTemporaryDir& desktop = Desktop();
    std::unique_ptr<Form> form;

    explicit Window(const QString& store)
    {
        SaveEnvironment save;
        save.desktopFolder = [path = desktop.path()] { return path; };
        form = ShowForm(std::move(save));
        if (!form)
            return;
        form->window->Created.Raise();
        form->workArea->SetFrameTimer(std::make_unique<HandTimer>());
        form->events->SetStore(MemeStore(store));
    }

    void Drop(const QString& path)
    {
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(path)});
        const Qt::DropActions allowed = Qt::CopyAction;
        QDragEnterEvent enter(QPoint(20, 20), allowed, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(form->workArea, &enter);
        QDropEvent drop(QPointF(20, 20), allowed, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(form->workArea, &drop);
    }

    // The last entry of the work area's menu, as a right-click opens it.
    QAction* LastEntry()
    {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); // menus closed before
        const QPoint at(10, 10);
        QContextMenuEvent event(QContextMenuEvent::Mouse, at, form->workArea->mapToGlobal(at));
        QApplication::sendEvent(form->workArea, &event);
        for (QMenu* menu : form->workArea->findChildren<QMenu*>(QStringLiteral("workAreaMenu")))
            if (menu->isVisible()) {
                menu->close();
                return menu->actions().back();
            }
        return nullptr;
    }
    QAction* Entry(const QString& text)
    {
        QAction* last = LastEntry(); // the menu's, which goes with it
        const auto* menu = last ? qobject_cast<QMenu*>(last->parent()) : nullptr;
        const QList<QAction*> all = menu ? menu->actions() : QList<QAction*>();
        for (QAction* action : all)
            if (action->text() == text)
                return action;
        return nullptr;
    }
    QAction* ReEditEntry()
    {
        QAction* entry = LastEntry();
        return entry && entry->text() == QStringLiteral("重新编辑(&E)") ? entry : nullptr;
    }

    // Clicks 保存 and waits for an animated save; the file it wrote.
    QString Save()
    {
        const QStringList before = QDir(desktop.path()).entryList(QDir::Files);
        QTest::mouseClick(form->saveButton, Qt::LeftButton);
        const bool saved = WaitForAnimatedSave(*form) && form->saveButton->Caption() == QStringLiteral("保存成功!!");
        form->events->WaitForRecords();
        if (!saved)
            return {};
        for (const QString& name : QDir(desktop.path()).entryList(QDir::Files))
            if (!before.contains(name))
                return desktop.filePath(name);
        return {};
    }

    QWidget* Editor() { return form->captionBox->focusProxy(); }
};

enum class Source { Template, TemplateWithBand, DroppedPhotoDeleted, PastedPicture, Clip };

} // namespace

Q_DECLARE_METATYPE(Source)

class ReEditTest : public QObject {
    Q_OBJECT

    QTemporaryDir scratch_;

    // A meme of `source` with two captions styled and placed, saved; the
    // saved file's path. The window is left as it saved.
    QString MakeAndSave(Window& w, Source source)
    {
        Form& f = *w.form;
        switch (source) {
        case Source::Template:
        case Source::TemplateWithBand: {
            const QRect item = f.templateList->visualItemRect(f.templateList->item(5));
            QTest::mouseClick(f.templateList->viewport(), Qt::LeftButton, {}, item.center());
            break;
        }
        case Source::DroppedPhotoDeleted: {
            std::vector<std::uint8_t> rgb(std::size_t(160) * 120 * 3);
            for (std::size_t i = 0; i < rgb.size(); ++i)
                rgb[i] = std::uint8_t(i * 7 / 3);
            const std::vector<std::uint8_t> jpeg = MakeJpeg(rgb.data(), 160, 120, 90);
            const QString path = scratch_.filePath(QStringLiteral("photo.jpg"));
            WriteAll(path, QByteArray(reinterpret_cast<const char*>(jpeg.data()), qsizetype(jpeg.size())));
            w.Drop(path);
            break;
        }
        case Source::PastedPicture: {
            QImage picture(130, 90, QImage::Format_RGB32);
            picture.fill(Qt::darkCyan);
            auto* data = new QMimeData;
            data->setImageData(picture);
            QGuiApplication::clipboard()->setMimeData(data);
            QApplication::setActiveWindow(f.window.get());
            f.templateList->setFocus();
            QTest::keyClick(f.templateList, Qt::Key_V, Qt::ControlModifier);
            break;
        }
        case Source::Clip: {
            // A copy of its own, so that it can be moved away.
            const QString path = scratch_.filePath(QStringLiteral("clip.mp4"));
            QFile::remove(path);
            if (!QFile::copy(Data("clips/count_h264.mp4"), path))
                return {};
            w.Drop(path);
            break;
        }
        }
        if (f.workArea->Width() == 0)
            return {};
        f.captionBox->SetContent(QStringLiteral("第一"));
        f.captionBox->ContentChanged.Raise();
        w.Editor()->setFocus();
        QTest::keyClick(w.Editor(), Qt::Key_End);
        QTest::keyClicks(w.Editor(), QStringLiteral(" One"));
        f.boldBox->click(); // ticked as the window opens: the caption turns plain
        f.colourPicker->SetCurrentColour(0x0000C0);
        f.colourPicker->ColourChanged.Raise();
        f.captionOverlay->move(f.workArea->pos() + QPoint(6, 20));
        QTest::mouseClick(f.zoomInButton, Qt::LeftButton);
        if (source == Source::TemplateWithBand) {
            QAction* band = w.Entry(QStringLiteral("白边文字(&B)"));
            if (!band)
                return {};
            band->trigger();
            QTest::keyClicks(w.Editor(), QStringLiteral("Band text"));
            // Turned, mirrored and cut ten pixels in from each side.
            ReorientPicture(f, Reorientation::TurnLeft);
            ReorientPicture(f, Reorientation::FlipHorizontal);
            const PicBox& area = *f.workArea;
            CropPicture(f, QRect(10, area.Band() + 10, area.Width() - 20, area.Height() - area.Band() - 20));
            if (area.Shape().crop.isEmpty())
                return {};
            // The first caption current again, as the checks below expect.
            const QPoint at = f.captionOverlay->geometry().center();
            QTest::mousePress(f.window->windowHandle(), Qt::LeftButton, {}, at);
            QTest::mouseRelease(f.window->windowHandle(), Qt::LeftButton, {}, at);
        }
        return w.Save();
    }

private slots:
    void cleanup() { QGuiApplication::clipboard()->clear(); }

    void a_saved_meme_comes_back_editable_and_saves_the_same_data()
    {
        QTest::addColumn<Source>("source");
        QTest::newRow("template, JPEG") << Source::Template;
        QTest::newRow("template with the band, turned and cropped, JPEG") << Source::TemplateWithBand;
        QTest::newRow("dropped photo, deleted after the save") << Source::DroppedPhotoDeleted;
        QTest::newRow("pasted picture") << Source::PastedPicture;
        QTest::newRow("clip, GIF") << Source::Clip;
    }
    void a_saved_meme_comes_back_editable_and_saves_the_same()
    {
        QFETCH(Source, source);
        QTemporaryDir store;
        QString saved;
        QByteArray savedBytes;
        {
            Window first(store.path());
            QVERIFY(first.form);
            saved = MakeAndSave(first, source);
            QVERIFY(!saved.isEmpty());
            savedBytes = ReadAll(saved);
        }
        // The saved file carries nothing of the user's: no folder, no name.
        QVERIFY(!savedBytes.contains(QFile::encodeName(store.path())));
        QVERIFY(!savedBytes.contains(QFile::encodeName(scratch_.path())));
        QVERIFY(!savedBytes.contains("photo.jpg") && !savedBytes.contains("clip.mp4"));
        if (source == Source::DroppedPhotoDeleted)
            QVERIFY(QFile::remove(scratch_.filePath(QStringLiteral("photo.jpg"))));

        // A fresh window with the same store opens the saved file as a
        // picture; the menu offers to edit it again.
        Window second(store.path());
        QVERIFY(second.form);
        Form& f = *second.form;
        second.Drop(saved);
        QCOMPARE(Bytes(f.workArea->SharedPicture()), savedBytes);
        const QString caption = f.captionOverlay->Caption();
        QAction* reEdit = second.ReEditEntry();
        QVERIFY(reEdit);
        QVERIFY(reEdit->isEnabled());
        const std::size_t steps = f.events->History().UndoCount();
        reEdit->trigger();
        QCOMPARE(f.events->History().UndoCount(), steps + 1); // one step

        // The caption is text again, with its look, in the edit box.
        QCOMPARE(f.captionOverlay->Caption(), QStringLiteral("第一 One"));
        QCOMPARE(f.captionBox->Content(), QStringLiteral("第一 One"));
        QCOMPARE(f.boldBox->Checked(), 0);
        QCOMPARE(f.captionOverlay->Font().Bold, 0);
        QCOMPARE(f.colourPicker->CurrentColour(), 0x0000C0u);
        QVERIFY(Bytes(f.workArea->SharedPicture()) != savedBytes);
        QCOMPARE(f.bandCaption != nullptr, source == Source::TemplateWithBand);
        if (f.bandCaption) {
            QCOMPARE(f.bandCaption->Caption(), QStringLiteral("Band text"));
            QVERIFY(f.workArea->Band() > 0);
            QVERIFY(f.workArea->Shape().Reorients() && !f.workArea->Shape().crop.isEmpty());
        }

        // Saved again: a new file, the same pixels.
        const QString again = second.Save();
        QVERIFY(!again.isEmpty());
        QVERIFY(again != saved);
        const QImage first = Pixels(savedBytes);
        QVERIFY(!first.isNull());
        QCOMPARE(Pixels(ReadAll(again)), first);
        if (source == Source::Clip) // every frame, not only the first
            QCOMPARE(ReadAll(again), savedBytes);

        // And it can be fixed: typing changes the caption.
        QTest::keyClicks(second.Editor(), QStringLiteral("!"));
        QCOMPARE(f.captionOverlay->Caption(), QStringLiteral("第一 One!"));
        // Undone twice: the saved file shown as a picture again.
        second.form->window->activateWindow();
        f.events->History().Undo();
        f.events->History().Undo();
        QCOMPARE(Bytes(f.workArea->SharedPicture()), savedBytes);
        QCOMPARE(f.captionOverlay->Caption(), caption);
    }

    // A saved MP4 opens as a clip read from its file, not as held bytes;
    // it is found by its file's hash all the same.
    void a_clip_saved_as_mp4_comes_back_editable()
    {
        QTemporaryDir store;
        QString saved;
        {
            Window first(store.path());
            QVERIFY(first.form);
            for (QAction* entry : first.form->events->Limits().Menu().actions())
                if (entry->text() == QStringLiteral("MP4 视频(&M)"))
                    entry->trigger();
            saved = MakeAndSave(first, Source::Clip);
            QVERIFY(saved.endsWith(QStringLiteral(".mp4")));
        }
        Window second(store.path());
        QVERIFY(second.form);
        Form& f = *second.form;
        second.Drop(saved);
        QVERIFY(f.workArea->Decoded() && f.workArea->Decoded()->clip);
        QAction* reEdit = second.ReEditEntry();
        QVERIFY(reEdit && reEdit->isEnabled());
        reEdit->trigger();
        QCOMPARE(f.captionOverlay->Caption(), QStringLiteral("第一 One"));
        QCOMPARE(f.colourPicker->CurrentColour(), 0x0000C0u);
        // The clip it was made of plays again, not the saved MP4.
        QCOMPARE(QString::fromStdString(f.workArea->Decoded()->clip->source.path),
                 scratch_.filePath(QStringLiteral("clip.mp4")));
    }

    // Against one untouched save, each damage on its own.
    void what_cannot_be_trusted_greys_the_entry_data()
    {
        QTest::addColumn<QString>("damage");
        for (const char* row : {"nothing changed", "record missing", "record cut short", "record byte changed", "store deleted",
                                "file changed", "newer record version", "older record version",
                                "unknown template", "stored picture changed", "stored picture missing",
                                "clip moved", "clip changed"})
            QTest::newRow(row) << QString::fromLatin1(row);
    }
    void what_cannot_be_trusted_greys_the_entry()
    {
        QFETCH(QString, damage);
        QTemporaryDir store;
        const bool clip = damage.startsWith(QStringLiteral("clip"));
        const bool photo = damage.startsWith(QStringLiteral("stored picture"));
        QString saved;
        {
            Window first(store.path());
            QVERIFY(first.form);
            saved = MakeAndSave(first, clip ? Source::Clip : photo ? Source::DroppedPhotoDeleted : Source::Template);
            QVERIFY(!saved.isEmpty());
        }
        const QByteArray key = MemeStore::HashOfFile(saved).value_or(QByteArray());
        QCOMPARE(key, QCryptographicHash::hash(ReadAll(saved), QCryptographicHash::Sha256).toHex());
        const QString record = store.filePath(QStringLiteral("records/") + QString::fromLatin1(key));
        QVERIFY(QFile::exists(record));
        const QString pictures = store.filePath(QStringLiteral("pictures"));
        const QStringList kept = QDir(pictures).entryList(QDir::Files);
        QCOMPARE(kept.size(), photo ? 1 : 0); // a template or a clip keeps no picture
        // A record of another version, or naming a template that is gone,
        // written as a well-formed record of the store.
        const auto rerecord = [&](const QByteArray& payload) {
            QVERIFY(MemeStore(store.path()).Record(key, payload, {}));
        };
        const QByteArray payload = MemeStore(store.path()).Find(key).value_or(QByteArray());
        QVERIFY(!payload.isEmpty());

        const QString clipFile = scratch_.filePath(QStringLiteral("clip.mp4"));
        if (damage == QStringLiteral("record missing")) {
            QVERIFY(QFile::remove(record));
        } else if (damage == QStringLiteral("record cut short")) {
            QVERIFY(QFile::resize(record, QFileInfo(record).size() - 1));
        } else if (damage == QStringLiteral("record byte changed")) {
            QByteArray bytes = ReadAll(record);
            bytes[bytes.size() - 3] = char(bytes[bytes.size() - 3] ^ 0x20);
            WriteAll(record, bytes);
        } else if (damage == QStringLiteral("store deleted")) {
            QVERIFY(QDir(store.path()).removeRecursively());
        } else if (damage == QStringLiteral("file changed")) {
            QFile file(saved);
            QVERIFY(file.open(QIODevice::Append));
            file.write("\0", 1); // a byte after the end marker still decodes
        } else if (damage.endsWith(QStringLiteral("record version"))) {
            // The version follows the eight bytes of the record's magic.
            QByteArray other = payload;
            other[8] = char(damage.startsWith(QStringLiteral("newer")) ? 2 : 0);
            rerecord(other);
        } else if (damage == QStringLiteral("unknown template")) {
            Meme gone;
            QCOMPARE(MemeFromBytes(payload, {}, gone), MemeBytesError::None);
            gone.picture = TemplatePicture{QStringLiteral("没有这个模板")};
            rerecord(MemeToBytes(gone, {}));
        } else if (damage == QStringLiteral("stored picture changed")) {
            QByteArray bytes = ReadAll(pictures + u'/' + kept.front());
            bytes[bytes.size() / 2] = char(bytes[bytes.size() / 2] ^ 1);
            WriteAll(pictures + u'/' + kept.front(), bytes);
        } else if (damage == QStringLiteral("stored picture missing")) {
            QVERIFY(QFile::remove(pictures + u'/' + kept.front()));
        } else if (damage == QStringLiteral("clip moved")) {
            QVERIFY(QFile::rename(clipFile, scratch_.filePath(QStringLiteral("moved.mp4"))));
        } else if (damage == QStringLiteral("clip changed")) {
            QFile file(clipFile); // still plays, but is not the clip recorded
            QVERIFY(file.open(QIODevice::Append));
            file.write("\0", 1);
        }

        Window second(store.path());
        QVERIFY(second.form);
        second.Drop(saved);
        QVERIFY(second.form->workArea->Width() > 0); // shown as a picture
        QCOMPARE(Bytes(second.form->workArea->SharedPicture()), ReadAll(saved));
        QAction* entry = second.ReEditEntry();
        QVERIFY(entry);
        QCOMPARE(entry->isEnabled(), damage == QStringLiteral("nothing changed"));
    }

    void a_store_that_cannot_be_written_costs_the_save_one_line()
    {
        // The store's folder is a file: nothing can be made in it.
        const QString blocked = scratch_.filePath(QStringLiteral("not-a-folder"));
        WriteAll(blocked, "x");
        Window w(blocked);
        QVERIFY(w.form);
        StderrCapture errors;
        const QString saved = MakeAndSave(w, Source::DroppedPhotoDeleted);
        const QByteArray text = errors.Text();
        QVERIFY(!saved.isEmpty()); // saved, and said so
        QVERIFY(!Pixels(ReadAll(saved)).isNull());
        QCOMPARE(text.count('\n'), 1);
        QVERIFY2(text.startsWith("mugrove: ") && text.contains("will not be editable again: "), text.constData());
        w.Drop(saved);
        QCOMPARE(Bytes(w.form->workArea->SharedPicture()), ReadAll(saved));
        QAction* entry = w.ReEditEntry();
        QVERIFY(entry && !entry->isEnabled());
    }
};

QTEST_MAIN(ReEditTest)
#include "test_reedit.moc"

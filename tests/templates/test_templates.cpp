// The template catalogue, selection, size labels and zoom.
#include "app/Form.h"
#include "app/WindowDefinition.h"
#include "app/model/Button.h"
#include "app/model/Label.h"
#include "app/model/ListBox.h"
#include "app/model/MainWindow.h"
#include "app/program/EventTable.h"
#include "controls/PicBox.h"
#include "controls/TransLabel.h"
#include "controls/decoders/DecodedPicture.h"
#include "templates/Catalog.h"
#include "templates/Zoom.h"

#include <QTest>

#include <cstdint>
#include <optional>

using namespace mugrove;

namespace {

enum Header { Exif, Jfif };
struct Kind {
    bool progressive;
    int components;
    Header header;
    int width, height; // the picture's own size
};

// What each picture file must be, from the catalogue.
const Kind kKinds[TemplateCatalog::kCount] = {
    {true, 3, Exif, 234, 234}, {true, 3, Exif, 218, 218}, {true, 3, Exif, 160, 155},
    {true, 3, Exif, 164, 156}, {true, 3, Exif, 208, 207}, {true, 3, Exif, 156, 172},
    {true, 1, Exif, 160, 131}, {true, 3, Exif, 133, 139}, {true, 3, Exif, 154, 172},
    {true, 3, Exif, 264, 237}, {true, 3, Exif, 287, 213}, {true, 3, Exif, 347, 231},
    {false, 3, Jfif, 225, 225}, {true, 3, Exif, 198, 197}, {false, 3, Jfif, 198, 198},
    {true, 3, Jfif, 266, 266}, {true, 3, Jfif, 264, 265}, {false, 3, Exif, 290, 265},
    {false, 3, Exif, 206, 206}, {false, 3, Exif, 208, 210}, {false, 3, Exif, 220, 220},
    {false, 3, Exif, 220, 220}, {false, 3, Exif, 220, 220}, {false, 3, Exif, 220, 220},
    {false, 3, Exif, 198, 198}, {false, 3, Exif, 171, 163}, {true, 3, Exif, 258, 253},
    {true, 3, Exif, 400, 400}, {true, 3, Exif, 182, 198}, {true, 3, Exif, 300, 300},
    {true, 3, Exif, 186, 198}, {true, 3, Exif, 198, 175}, {true, 1, Exif, 198, 193},
    {true, 3, Exif, 125, 174}, {true, 3, Exif, 205, 177}, {true, 3, Exif, 300, 300},
    {true, 3, Exif, 300, 300}, {true, 3, Exif, 198, 187},
};

// The first segment after SOI and the frame header, read from the markers.
struct JpegFacts {
    Header header;
    bool progressive;
    int components, width, height;
};

std::optional<JpegFacts> ReadJpegFacts(std::span<const std::uint8_t> d)
{
    if (d.size() < 4 || d[0] != 0xFF || d[1] != 0xD8)
        return std::nullopt;
    JpegFacts facts{};
    bool first = true;
    std::size_t at = 2;
    while (at + 4 <= d.size() && d[at] == 0xFF) {
        const int marker = d[at + 1];
        const std::size_t length = std::size_t(d[at + 2]) << 8 | d[at + 3];
        const std::size_t body = at + 4;
        if (first) {
            const auto is = [&](const char* tag, std::size_t n) {
                return body + n <= d.size() && std::equal(tag, tag + n, d.begin() + body);
            };
            if (marker == 0xE1 && is("Exif\0\0", 6)) facts.header = Exif;
            else if (marker == 0xE0 && is("JFIF\0", 5)) facts.header = Jfif;
            else return std::nullopt;
            first = false;
        }
        if (marker == 0xC0 || marker == 0xC2) {
            if (body + 6 > d.size())
                return std::nullopt;
            facts.progressive = marker == 0xC2;
            facts.height = d[body + 1] << 8 | d[body + 2];
            facts.width = d[body + 3] << 8 | d[body + 4];
            facts.components = d[body + 5];
            return facts;
        }
        at += 2 + length;
    }
    return std::nullopt;
}

std::unique_ptr<Form> StartedForm()
{
    auto form = CreateForm(DefaultWindowDefinition());
    BindEvents(*form);
    form->window->Created.Raise();
    return form;
}

void Select(Form& form, int index)
{
    form.templateList->setCurrentRow(index); // raises SelectionChanged like a user pick
}

} // namespace

class TemplatesTest : public QObject {
    Q_OBJECT

private slots:
    void every_picture_has_its_size_kind_and_header()
    {
        QCOMPARE(TemplateCatalog::Count(), 38);
        QVERIFY(!TemplateCatalog::Find(-1));
        QVERIFY(!TemplateCatalog::Find(38));
        int progressive = 0, grey = 0, exif = 0;
        for (int i = 0; i < TemplateCatalog::kCount; ++i) {
            const TemplateEntry* entry = TemplateCatalog::Find(i);
            QVERIFY(entry);
            const auto facts = ReadJpegFacts(entry->picture);
            QVERIFY2(facts, qPrintable(QString::number(i)));
            const Kind& want = kKinds[i];
            QCOMPARE(facts->progressive, want.progressive);
            QCOMPARE(facts->components, want.components);
            QCOMPARE(facts->header, want.header);
            QCOMPARE(QSize(facts->width, facts->height), QSize(want.width, want.height));
            // Shown at their own size, except the two cats at 265 x 265.
            const QSize shown = (i == 15 || i == 16) ? QSize(265, 265) : QSize(want.width, want.height);
            QCOMPARE(QSize(entry->displayWidth, entry->displayHeight), shown);
            // The work area's own decoder reads it at that size.
            DecodedPicture decoded;
            QCOMPARE(DecodePicture(entry->picture, decoded), DecodeError::None);
            QCOMPARE(decoded.kind, ImageKind::Jpeg);
            QCOMPARE(QSize(decoded.Width(), decoded.Height()), QSize(want.width, want.height));
            progressive += facts->progressive;
            grey += facts->components == 1;
            exif += facts->header == Exif;
            for (int j = 0; j < i; ++j) // no two entries share a picture
                QVERIFY(!std::ranges::equal(entry->picture, TemplateCatalog::Find(j)->picture));
        }
        QCOMPARE(progressive, 27);
        QCOMPARE(grey, 2);
        QCOMPARE(exif, 34);
    }

    void list_items_are_the_catalogue_labels()
    {
        auto form = StartedForm();
        QCOMPARE(form->templateList->count(), TemplateCatalog::kCount);
        for (int i = 0; i < TemplateCatalog::kCount; ++i)
            QCOMPARE(form->templateList->item(i)->text(),
                     QString::fromUtf8(TemplateCatalog::Find(i)->label));
    }

    void selection_sizes_the_work_area_and_refreshes_labels()
    {
        auto form = StartedForm();
        QCOMPARE(form->widthLabel->Caption(), QStringLiteral("图片宽度："));
        form->copyButton->SetCaption(QStringLiteral("复制成功!!"));
        form->saveButton->SetCaption(QStringLiteral("保存成功!!"));
        form->captionOverlay->SetLeft(300);
        Select(*form, 11);
        QCOMPARE(QSize(form->workArea->Width(), form->workArea->Height()), QSize(347, 231));
        QCOMPARE(QPoint(form->workArea->Left(), form->workArea->Top()), QPoint(5, 16));
        QCOMPARE(form->widthLabel->Caption(), QStringLiteral("图片宽度：347"));
        QCOMPARE(form->heightLabel->Caption(), QStringLiteral("图片高度：231"));
        QCOMPARE(form->copyButton->Caption(), QStringLiteral("复制图片"));
        QCOMPARE(form->saveButton->Caption(), QStringLiteral("保存到桌面"));
        QVERIFY(std::ranges::equal(form->workArea->Picture(), TemplateCatalog::Find(11)->picture));
        QVERIFY(form->workArea->Decoded());
        QCOMPARE(form->workArea->Decoded()->Width(), 347);
        QCOMPARE(form->captionOverlay->Left(), 300); // the caption is not touched

        Select(*form, 15);
        QCOMPARE(QSize(form->workArea->Width(), form->workArea->Height()), QSize(265, 265));
    }

    void selection_after_zoom_restores_the_catalogue_size()
    {
        auto form = StartedForm();
        Select(*form, 0);
        form->zoomInButton->click();
        QCOMPARE(form->workArea->Width(), 257);
        QCOMPARE(form->widthLabel->Caption(), QStringLiteral("图片宽度：257"));
        Select(*form, 1);
        Select(*form, 0);
        QCOMPARE(QSize(form->workArea->Width(), form->workArea->Height()), QSize(234, 234));
        QCOMPARE(form->heightLabel->Caption(), QStringLiteral("图片高度：234"));
    }

    void no_selection_changes_only_the_captions()
    {
        auto form = StartedForm();
        Select(*form, 2);
        form->saveButton->SetCaption(QStringLiteral("保存成功!!"));
        form->templateList->clearSelection(); // CurrentIndex -1
        QCOMPARE(form->templateList->CurrentIndex(), -1);
        QCOMPARE(QSize(form->workArea->Width(), form->workArea->Height()), QSize(160, 155));
        QCOMPARE(form->saveButton->Caption(), QStringLiteral("保存到桌面"));
        QCOMPARE(form->widthLabel->Caption(), QStringLiteral("图片宽度：160"));
    }

    void zoom_in_five_times_from_the_start_size()
    {
        auto form = StartedForm();
        const QSize expected[] = {{416, 422}, {457, 464}, {502, 510}, {552, 561}, {607, 617}};
        for (const QSize& size : expected) {
            form->zoomInButton->click();
            QCOMPARE(QSize(form->workArea->Width(), form->workArea->Height()), size);
        }
        QCOMPARE(form->heightLabel->Caption(), QStringLiteral("图片高度：617"));
    }

    void zoom_out_reaches_zero_and_stays()
    {
        auto form = StartedForm();
        Select(*form, 0);
        const int first[] = {210, 189, 170, 153, 137, 123, 110, 99, 89, 80};
        int presses = 0;
        for (int w : first) {
            form->zoomOutButton->click();
            ++presses;
            QCOMPARE(form->workArea->Width(), w);
        }
        while (form->workArea->Width() > 0 && presses < 100) {
            form->zoomOutButton->click();
            ++presses;
        }
        QCOMPARE(presses, 36);
        QCOMPARE(form->widthLabel->Caption(), QStringLiteral("图片宽度：0"));
        form->zoomInButton->click();
        QCOMPARE(QSize(form->workArea->Width(), form->workArea->Height()), QSize(0, 0));
    }

    void zoom_puts_a_moved_box_back_and_small_sizes_do_not_grow()
    {
        auto form = StartedForm();
        form->workArea->SetLeft(40);
        form->workArea->SetTop(-3);
        form->workArea->SetWidth(9);
        form->workArea->SetHeight(1);
        form->zoomInButton->click();
        QCOMPARE(form->workArea->geometry(), QRect(5, 16, 9, 1));
        form->zoomOutButton->click();
        QCOMPARE(QSize(form->workArea->Width(), form->workArea->Height()), QSize(8, 0));
    }

    void scale_to_pixels_matches_the_integer_form()
    {
        for (std::int32_t n = 0; n <= 40000; ++n) {
            QCOMPARE(ScaleToPixels(n, kZoomInFactor), std::int32_t(std::int64_t(n) * 11 / 10));
            QCOMPARE(ScaleToPixels(n, kZoomOutFactor), std::int32_t(std::int64_t(n) * 9 / 10));
        }
        QCOMPARE(ScaleToPixels(129, kZoomInFactor), 141);
        QCOMPARE(ScaleToPixels(2147483647, kZoomInFactor), 2147483647); // saturates, no overflow
        QCOMPARE(ScaleToPixels(-10, kZoomOutFactor), -9);
    }
};

QTEST_MAIN(TemplatesTest)
#include "test_templates.moc"

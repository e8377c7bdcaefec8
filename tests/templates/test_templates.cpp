// Template selection, size labels and zoom, through the real window.
#include "app/Form.h"
#include "app/WindowDefinition.h"
#include "app/model/Button.h"
#include "app/model/Label.h"
#include "app/model/ListBox.h"
#include "app/model/MainWindow.h"
#include "app/program/EventTable.h"
#include "controls/PicBox.h"
#include "controls/TransLabel.h"
#include "templates/Catalog.h"
#include "templates/Zoom.h"

#include <QTest>


using namespace mugrove;

namespace {

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
    void list_items_are_the_catalogue_labels()
    {
        const QStringList labels = {
            "短发1", "短发2", "熊猫1", "熊猫2", "熊猫3", "熊猫4", "熊猫5", "熊猫6", "斯巴达1", "懵逼狗",
            "Tamble", "Orrick", "黑人问号", "马杀鸡", "小屁孩", "蠢猫1", "蠢猫2", "蘑菇头1", "蘑菇头2",
            "蘑菇头3", "蘑菇头4", "蘑菇头5", "女生1", "女生2", "挑衅", "蘑菇头6", "蘑菇头7", "熊猫头1",
            "熊猫头2", "女生3", "蘑菇头8", "蘑菇头9", "理直气壮", "蘑菇头10", "打脸", "蘑菇头11",
            "熊猫头3", "茫然"};
        auto form = StartedForm();
        QCOMPARE(form->templateList->count(), labels.size());
        for (int i = 0; i < labels.size(); ++i) {
            QCOMPARE(form->templateList->item(i)->text(), labels[i]);
            QCOMPARE(QString::fromUtf8(TemplateCatalog::Find(i)->label), labels[i]);
        }
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

};

QTEST_MAIN(TemplatesTest)
#include "test_templates.moc"

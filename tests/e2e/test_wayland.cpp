// The real program running natively on a Wayland compositor: it shows its
// window, takes clicks, and its copied picture reaches other Wayland
// programs as a PNG first.
#include "tests/e2e/Desktop.h"

#include <QTest>

using namespace mugrove::e2e;

namespace {

constexpr int kPatience = 10000;
const QPoint kWorkAreaOrigin(5, 16);
const QPoint kListFirstRow(460, 154);
const QPoint kCopy(457, 417);
const QSize kFirstTemplate(234, 234); // 短发1

} // namespace

class WaylandSmoke : public QObject {
    Q_OBJECT

    std::unique_ptr<Desktop> desktop_;

    Desktop& D() { return *desktop_; }

    QStringList OfferedTypes()
    {
        const ToolResult r = D().Run("wl-paste", {"--list-types"}, 5000);
        return r.ok ? QString::fromUtf8(r.out).split(u'\n', Qt::SkipEmptyParts) : QStringList();
    }

    QImage PastedPng()
    {
        QImage image;
        image.loadFromData(D().Run("wl-paste", {"--type", "image/png"}, 5000).out, "PNG");
        return image.convertToFormat(QImage::Format_RGB32);
    }

private slots:
    void initTestCase()
    {
        desktop_ = std::make_unique<Desktop>();
        const QString started = D().Start();
        QVERIFY2(started.isEmpty(), qPrintable(started));
        const QString wayland = D().StartWayland();
        QVERIFY2(wayland.isEmpty(), qPrintable(wayland));
        const QString launched = D().LaunchApp(MUGROVE_BINARY);
        QVERIFY2(launched.isEmpty(), qPrintable(launched));
    }

    void cleanupTestCase() { desktop_.reset(); }

    void runs_natively_and_copies_a_png_first()
    {
        // No X window of its own: the window is the compositor's client.
        QVERIFY(!D().Xdotool({"search", "--name", "^Mugrove$"}).ok);

        QVERIFY(D().Click(kListFirstRow));
        const QRect picture(kWorkAreaOrigin, kFirstTemplate);
        // The template shows: the frame's grey is gone right of the start picture's edge.
        const QRgb group = D().Screenshot().pixel(388, 300);
        QTRY_VERIFY_WITH_TIMEOUT(D().Screenshot().pixel(kWorkAreaOrigin.x() + 300, 100) == group,
                                 kPatience);
        // Read now: wl-paste briefly shows a surface of its own to get the clipboard.
        const QImage shown = D().Screenshot().copy(picture);
        QVERIFY(D().Click(kCopy));
        QTRY_COMPARE_WITH_TIMEOUT(OfferedTypes().value(0), QStringLiteral("image/png"), kPatience);
        QVERIFY(OfferedTypes().contains(QStringLiteral("image/bmp")));
        const QImage pasted = PastedPng();
        QCOMPARE(pasted.size(), kFirstTemplate);
        QCOMPARE(MeanDifference(pasted, shown), 0.0);

        // The compositor keeps the first offered type once the program has
        // gone, so what stays pasteable is the PNG.
        QVERIFY(D().Click(QPoint(390, 410)));
        QVERIFY(D().Key({"Escape"}));
        QCOMPARE(D().WaitForAppExit(kPatience), 0);
        QTRY_COMPARE_WITH_TIMEOUT(OfferedTypes(), QStringList{"image/png"}, kPatience);
        QCOMPARE(PastedPng().size(), kFirstTemplate);
    }
};

QTEST_GUILESS_MAIN(WaylandSmoke)
#include "test_wayland.moc"

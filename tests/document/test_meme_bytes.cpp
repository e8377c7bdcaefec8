// A meme as bytes for the store and back: every kind of picture and every
// caption setting survive; pictures are named, not held; a record of
// another version, a cut or altered one, one naming a picture the store
// lacks or a template that does not exist, or one holding values no meme
// has, is refused and leaves the meme as it was.
#include "app/document/MemeBytes.h"

#include <QCryptographicHash>
#include <QtEndian>
#include <QTest>

#include <map>

using namespace mugrove;

namespace {

// A store of pictures by the SHA-256 of their bytes.
struct Pictures {
    std::map<QByteArray, std::shared_ptr<const PictureBytes>> kept;
    int asked = 0;

    PictureKeyOf KeyOf()
    {
        return [this](const PictureBytes& bytes) {
            const QByteArray key = QCryptographicHash::hash(
                QByteArrayView(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size())),
                QCryptographicHash::Sha256);
            kept.emplace(key, std::make_shared<const PictureBytes>(bytes));
            return key;
        };
    }
    PictureByKey ByKey()
    {
        return [this](const QByteArray& key) -> std::shared_ptr<const PictureBytes> {
            ++asked;
            const auto found = kept.find(key);
            return found == kept.end() ? nullptr : found->second;
        };
    }
};

CaptionValue Caption(const QString& text, int effect, std::uint32_t colour, QRect where)
{
    CaptionValue c;
    c.text = text;
    c.effect = effect;
    c.colour = colour;
    c.horizontal = 1;
    c.vertical = 2;
    c.wordWrap = true;
    c.outline = effect % 2 == 1;
    c.geometry = where;
    return c;
}

Meme Sample(PictureSource picture)
{
    Meme meme;
    meme.picture = std::move(picture);
    meme.frame = {QRect(5, 16, 417, 300), 1, {}};
    LogFont font = YaHeiBold16();
    font.italic = 1;
    CaptionValue first = Caption(QStringLiteral("上面的字 & Top 😂\n第二行"), 3, 0x00FFFFFF, QRect(-20, 216, 192, 40));
    first.font = font;
    meme.captions = {first, Caption(QStringLiteral(""), 0, 0, QRect(300, 32627, 0, 500)),
                     Caption(QStringLiteral("下面"), 1, 0x000000FF, QRect(40, 380, 500, 1))};
    meme.current = 2;
    return meme;
}

void ExpectSameMeme(const Meme& got, const Meme& expected)
{
    QVERIFY(got.picture == expected.picture);
    QCOMPARE(got.frame, expected.frame);
    QCOMPARE(got.captions.size(), expected.captions.size());
    for (std::size_t i = 0; i < got.captions.size(); ++i)
        QVERIFY2(got.captions[i] == expected.captions[i], qPrintable(got.captions[i].text));
    QCOMPARE(got.current, expected.current);
    QVERIFY(got.band == expected.band);
    QVERIFY(!got.shown); // the controls are not recorded
}

Meme WithBand(Meme meme, bool current)
{
    CaptionValue caption = Caption(QStringLiteral("白边 Band 😂"), 0, 0, QRect(25, 31, 370, 45));
    caption.font = YaHeiBold16();
    caption.font->height = -42;
    meme.band = BandValue{caption, 107};
    if (current)
        meme.current = kBandCurrent;
    return meme;
}

// A record laid out by hand as programs before the band wrote them: a
// template, the box, one caption, the current one.
QByteArray OlderRecord(QByteArrayView tail = {})
{
    QByteArray payload;
    const auto u32 = [&payload](std::uint32_t v) {
        char b[4];
        qToLittleEndian(v, b);
        payload.append(b, 4);
    };
    const auto blob = [&](QByteArrayView bytes) {
        u32(std::uint32_t(bytes.size()));
        payload.append(bytes.data(), bytes.size());
    };
    payload.append('\x01'); // a template
    blob(QStringLiteral("熊猫头3").toUtf8());
    for (const std::uint32_t v : {5u, 16u, 240u, 180u, 1u}) // the box, its display mode
        u32(v);
    u32(1); // one caption
    blob(QByteArrayView("Old"));
    payload.append('\0'); // no font of its own
    for (const std::uint32_t v : {2u, 0xFFu, 0u, 1u}) // effect, colour, alignments
        u32(v);
    payload.append('\0').append('\1'); // no word wrap, an outline
    for (const std::uint32_t v : {10u, 20u, 100u, 30u, 0u}) // its box, then the current caption
        u32(v);
    payload.append(tail.data(), tail.size());
    QByteArray out("MUGMEME\n");
    char b[4];
    qToLittleEndian(std::uint32_t(1), b);
    out.append(b, 4);
    qToLittleEndian(std::uint32_t(payload.size()), b);
    out.append(b, 4);
    out += payload;
    out += QCryptographicHash::hash(payload, QCryptographicHash::Sha256);
    return out;
}

} // namespace

class MemeBytesTest : public QObject {
    Q_OBJECT
private slots:
    void every_kind_of_picture_and_caption_comes_back()
    {
        Pictures store;
        const auto photo = std::make_shared<const PictureBytes>(PictureBytes{0xFF, 0xD8, 1, 2, 3, 4, 5});
        ClipPicture clip{{"/home/me/视频/猫.mp4", nullptr}, {1.5, 4.25}, QByteArray(32, '\x7F')};
        ClipPicture inMemory{{"", std::make_shared<const PictureBytes>(PictureBytes{9, 9, 9})}, {0, 3}, {}};
        const PictureSource pictures[] = {NoPicture{}, TemplatePicture{QStringLiteral("熊猫头3")}, OwnPicture{photo},
                                          clip, inMemory};
        int n = 0;
        for (const PictureSource& picture : pictures) {
            Meme meme = Sample(picture);
            // Every other one turned, flipped and cropped; the others as
            // records made before pictures could be shaped.
            if (n++ % 2 == 1)
                meme.frame.shape = PictureShape{n % 4, n % 3 == 0, QRect(n, 2 * n, 640, 1)};
            meme.shown = ShownControls{std::nullopt, QStringLiteral("300"), QStringLiteral("4"), 300, 4, 88, 1, 0, 3, {}, {}};
            const QByteArray bytes = MemeToBytes(meme, store.KeyOf());
            // The picture's bytes are kept apart, not in the record.
            if (const auto* own = std::get_if<OwnPicture>(&picture))
                QVERIFY(!bytes.contains(QByteArray(reinterpret_cast<const char*>(own->bytes->data()), 7)));
            Meme back;
            QCOMPARE(MemeFromBytes(bytes, store.ByKey(), back), MemeBytesError::None);
            ExpectSameMeme(back, meme);
            if (const auto* c = std::get_if<ClipPicture>(&back.picture))
                QCOMPARE(c->hash, std::get<ClipPicture>(picture).hash);
        }
        QCOMPARE(store.kept.size(), std::size_t(2)); // the photo and the clip held in memory

        // The caption band, its caption current or not.
        for (const bool current : {true, false}) {
            const Meme meme = WithBand(Sample(TemplatePicture{QStringLiteral("熊猫头3")}), current);
            Meme back;
            QCOMPARE(MemeFromBytes(MemeToBytes(meme, store.KeyOf()), store.ByKey(), back), MemeBytesError::None);
            ExpectSameMeme(back, meme);
        }
    }

    // Records made before there was a band load, without one; what follows
    // their last caption must be a band.
    void records_without_the_band_still_load()
    {
        Pictures store;
        Meme meme = WithBand(Sample(NoPicture{}), true);
        QCOMPARE(MemeFromBytes(OlderRecord(), store.ByKey(), meme), MemeBytesError::None);
        QVERIFY(meme.picture == PictureSource(TemplatePicture{QStringLiteral("熊猫头3")}));
        QCOMPARE(meme.frame, (PictureFrame{QRect(5, 16, 240, 180), 1, {}}));
        QCOMPARE(meme.captions.size(), std::size_t(1));
        QCOMPARE(meme.captions[0].text, QStringLiteral("Old"));
        QCOMPARE(meme.captions[0].effect, 2);
        QVERIFY(meme.captions[0].outline && !meme.captions[0].wordWrap);
        QCOMPARE(meme.captions[0].geometry, QRect(10, 20, 100, 30));
        QCOMPARE(meme.current, 0);
        QVERIFY(!meme.band);

        // Written today, the same meme is the same bytes.
        QCOMPARE(MemeToBytes(meme, store.KeyOf()), OlderRecord());
        Meme other;
        QCOMPARE(MemeFromBytes(OlderRecord("X"), store.ByKey(), other), MemeBytesError::Damaged);
        QCOMPARE(MemeFromBytes(OlderRecord("B"), store.ByKey(), other), MemeBytesError::Damaged);
    }

    void bad_records_are_refused_and_change_nothing()
    {
        Pictures store;
        const auto photo = std::make_shared<const PictureBytes>(PictureBytes{0xFF, 0xD8, 7});
        const QByteArray good = MemeToBytes(Sample(OwnPicture{photo}), store.KeyOf());
        const Meme untouched = Sample(TemplatePicture{QStringLiteral("茫然")});

        const auto refused = [&](QByteArrayView bytes, const PictureByKey& lookup) {
            Meme meme = untouched;
            const MemeBytesError e = MemeFromBytes(bytes, lookup, meme);
            ExpectSameMeme(meme, untouched);
            return e;
        };
        // Every cut, and every single changed byte.
        for (qsizetype n = 0; n < good.size(); ++n)
            QVERIFY2(refused(good.first(n), store.ByKey()) != MemeBytesError::None, qPrintable(QString::number(n)));
        for (qsizetype i = 0; i < good.size(); ++i) {
            QByteArray altered = good;
            altered[i] = char(altered[i] ^ 0x20);
            QVERIFY2(refused(altered, store.ByKey()) != MemeBytesError::None, qPrintable(QString::number(i)));
        }
        QCOMPARE(refused(good + "x", store.ByKey()), MemeBytesError::Damaged);
        const QByteArray banded = MemeToBytes(WithBand(Sample(NoPicture{}), true), store.KeyOf());
        for (qsizetype n = 0; n < banded.size(); ++n)
            QVERIFY2(refused(banded.first(n), store.ByKey()) != MemeBytesError::None, qPrintable(QString::number(n)));
        QCOMPARE(refused("MUGMEME\n", store.ByKey()), MemeBytesError::Damaged);
        QCOMPARE(refused("\x89PNG\r\n\x1a\n", store.ByKey()), MemeBytesError::NotAMeme);

        // Another version, older or newer (the version follows the 8-byte mark).
        for (const std::uint32_t version : {0u, kMemeBytesVersion + 1, 0xFFFFFFFFu}) {
            QByteArray other = good;
            qToLittleEndian(version, other.data() + 8);
            QCOMPARE(refused(other, store.ByKey()), MemeBytesError::OtherVersion);
        }
        // A picture the store lost, a template that is gone.
        QCOMPARE(refused(good, [](const QByteArray&) { return nullptr; }), MemeBytesError::MissingPicture);
        const QByteArray gone = MemeToBytes(Sample(TemplatePicture{QStringLiteral("不存在的模板")}), store.KeyOf());
        QCOMPARE(refused(gone, store.ByKey()), MemeBytesError::UnknownTemplate);
        // Values no window holds.
        const auto with = [&](auto change) {
            Meme meme = Sample(NoPicture{});
            change(meme);
            return MemeToBytes(meme, store.KeyOf());
        };
        const QByteArray impossible[] = {
            with([](Meme& m) { m.captions[1].effect = 7; }),
            with([](Meme& m) { m.captions[0].horizontal = -1; }),
            with([](Meme& m) { m.captions[2].geometry.setWidth(40000); }),
            with([](Meme& m) { m.frame.displayMode = 3; }),
            with([](Meme& m) { m.current = 3; }),
            with([](Meme& m) { m.captions.clear(); }),
            with([](Meme& m) { m.captions.resize(17, m.captions[0]); }),
            with([](Meme& m) { m.picture = ClipPicture{{"", nullptr}, {0, 1}, {}}; }),
            with([](Meme& m) { m.picture = ClipPicture{{"/a.mp4", nullptr}, {0, qQNaN()}, {}}; }),
            with([](Meme& m) { m = WithBand(m, false); m.band->height = -1; }),
            with([](Meme& m) { m = WithBand(m, false); m.band->caption.effect = 4; }),
        };
        for (const QByteArray& bytes : impossible)
            QCOMPARE(refused(bytes, store.ByKey()), MemeBytesError::Damaged);
    }
};

QTEST_MAIN(MemeBytesTest)
#include "test_meme_bytes.moc"

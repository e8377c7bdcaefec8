// The store of saved memes on a real folder: what goes in comes out, what
// was damaged, cut short, renamed or written by another format is refused,
// two writers at once leave good files, and the cap removes the oldest first.
#include "app/store/MemeStore.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QTest>
#include <QtEndian>

#include <cstring>
#include <thread>

using namespace mugrove;

namespace {

PictureBytes Bytes(const QByteArray& text)
{
    return PictureBytes(text.begin(), text.end());
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

void SetAge(const QString& path, int days)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QVERIFY(file.setFileTime(QDateTime::currentDateTimeUtc().addDays(-days), QFileDevice::FileModificationTime));
}

qsizetype FilesIn(const QString& folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden).size();
}

// A record's file rewritten with another format version and its checksum
// made right again, following the layout the record's header documents.
QByteArray WithVersion(QByteArray file, quint32 version)
{
    qToBigEndian(version, file.data() + 8);
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(QByteArrayView(file).first(56));
    hash.addData(QByteArrayView(file).sliced(88));
    std::memcpy(file.data() + 56, hash.result().constData(), 32);
    return file;
}

enum Damage { CutShort, HeaderOnly, Empty, PayloadByte, SavedHashByte, PictureKeyByte, NewerVersion, OlderVersion,
              Foreign, Renamed, Missing, BadKey };

} // namespace

class TestStore : public QObject {
    Q_OBJECT

private slots:
    void the_default_folder_follows_xdg_data_home()
    {
        const QByteArray before = qgetenv("XDG_DATA_HOME");
        qputenv("XDG_DATA_HOME", "/srv/data");
        const QString set = MemeStore::DefaultFolder();
        qunsetenv("XDG_DATA_HOME");
        const QString unset = MemeStore::DefaultFolder();
        before.isNull() ? qunsetenv("XDG_DATA_HOME") : qputenv("XDG_DATA_HOME", before);
        QCOMPARE(set, QStringLiteral("/srv/data/mugrove"));
        QCOMPARE(unset, QDir::homePath() + QStringLiteral("/.local/share/mugrove"));
    }

    void memes_and_pictures_come_back_as_recorded_data()
    {
        QTest::addColumn<QByteArray>("payload");
        QTest::addColumn<int>("pictures");
        QTest::newRow("empty, a template") << QByteArray() << 0;
        QTest::newRow("one photo") << QByteArray("captions") << 1;
        QTest::newRow("binary, many pictures") << QByteArray("\0\xff\0meme", 7) << 40;
        QTest::newRow("a long caption") << QByteArray(300000, 'x') << 2;
    }
    void memes_and_pictures_come_back_as_recorded()
    {
        QFETCH(QByteArray, payload);
        QFETCH(int, pictures);
        QTemporaryDir folder;
        MemeStore store(folder.path());
        QStringList keys;
        for (int i = 0; i < pictures; ++i) {
            const PictureBytes picture = Bytes(QByteArray::number(i).repeated(1000 + i));
            QString why;
            const std::optional<QString> key = store.KeepPicture(picture, &why);
            QVERIFY2(key, qPrintable(why));
            QCOMPARE(store.KeepPicture(picture), key); // kept once, however often
            keys << *key;
        }
        const QByteArray saved = MemeStore::HashOf(QByteArray("saved file ") + payload);
        QString why;
        QVERIFY2(store.Record(saved, payload, keys, &why), qPrintable(why));

        const MemeStore again(folder.path()); // as a fresh window sees it
        QCOMPARE(again.Find(saved), payload);
        for (int i = 0; i < pictures; ++i)
            QCOMPARE(again.Picture(keys[i]), Bytes(QByteArray::number(i).repeated(1000 + i)));
        QCOMPARE(FilesIn(folder.filePath(QStringLiteral("pictures"))), pictures);
        QCOMPARE(again.Find(MemeStore::HashOf("another file")), std::nullopt);
    }

    void a_record_that_is_not_whole_and_ours_is_refused_data()
    {
        QTest::addColumn<int>("damage");
        const char* rows[] = {"cut short by a byte", "only its header", "empty", "a payload byte changed",
                              "its key changed", "a picture's key changed", "a newer format", "an older format",
                              "someone else's file", "under another file's key", "never recorded",
                              "a key naming a path"};
        for (int damage = CutShort; damage <= BadKey; ++damage)
            QTest::newRow(rows[damage]) << damage;
    }
    void a_record_that_is_not_whole_and_ours_is_refused()
    {
        QFETCH(int, damage);
        QTemporaryDir folder;
        MemeStore store(folder.path());
        const std::optional<QString> picture = store.KeepPicture(Bytes("photo"));
        QVERIFY(picture);
        QByteArray saved = MemeStore::HashOf("saved");
        QVERIFY(store.Record(saved, "the meme", {*picture}));
        const QString path = folder.filePath(QStringLiteral("records/") + QString::fromLatin1(saved));
        QByteArray file = ReadAll(path);
        QCOMPARE(file.size(), 88 + 32 + 8);
        switch (damage) {
        case CutShort: file.chop(1); break;
        case HeaderOnly: file.truncate(88); break;
        case Empty: file.clear(); break;
        case PayloadByte: file[file.size() - 1] = '!'; break;
        case SavedHashByte: file[30] = char(file[30] ^ 1); break;
        case PictureKeyByte: file[90] = char(file[90] ^ 1); break;
        case NewerVersion: file = WithVersion(file, 2); break;
        case OlderVersion: file = WithVersion(file, 0); break;
        case Foreign: file = QByteArray("\xff\xd8\xff\xe0 a JPEG, say").repeated(9); break;
        case Renamed:
            QVERIFY(QFile::remove(path));
            saved = MemeStore::HashOf("another saved file");
            break;
        case Missing: QVERIFY(QFile::remove(path)); break;
        case BadKey: saved = "../records/" + saved.first(53); break;
        }
        if (QFile::exists(path))
            WriteAll(path, file);
        else if (damage == Renamed)
            WriteAll(folder.filePath(QStringLiteral("records/") + QString::fromLatin1(saved)), file);
        QCOMPARE(store.Find(saved), std::nullopt);
    }

    void a_picture_whose_bytes_changed_or_went_is_refused()
    {
        // The FIPS 180-2 example.
        QCOMPARE(MemeStore::HashOf("abc"), QByteArray("ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"));
        QTemporaryDir folder;
        MemeStore store(folder.path());
        const PictureBytes photo = Bytes(QByteArray("a photo ").repeated(5000));
        const QString key = *store.KeepPicture(photo);
        const QString path = folder.filePath(QStringLiteral("pictures/") + key);
        QByteArray changed = ReadAll(path);
        changed[100] = '#';
        WriteAll(path, changed);
        QCOMPARE(store.Picture(key), std::nullopt);
        QCOMPARE(store.KeepPicture(photo), key); // keeping it again mends it
        QCOMPARE(store.Picture(key), photo);

        QVERIFY(QFile::remove(path));
        QVERIFY(!store.HasPicture(key));
        QCOMPARE(store.Picture(key), std::nullopt);
        QString why;
        QVERIFY(!store.Record(MemeStore::HashOf("saved"), "meme", {key}, &why));
        QVERIFY2(why.contains(key), qPrintable(why));
        QCOMPARE(store.KeepPicture(photo), key); // kept again, it can be recorded
        QVERIFY(store.Record(MemeStore::HashOf("saved"), "meme", {key}));
        QCOMPARE(store.Picture(QStringLiteral("../../etc/passwd")), std::nullopt);
    }

    void two_writers_at_once_leave_good_files()
    {
        QTemporaryDir folder;
        constexpr int kEach = 40;
        const PictureBytes shared = Bytes(QByteArray("both windows' photo ").repeated(20000));
        bool allRecorded[2] = {true, true};
        const auto window = [&](int w, std::uint64_t cap) {
            MemeStore store(folder.path());
            store.SetCap(cap);
            for (int i = 0; i < kEach; ++i) {
                const std::optional<QString> key = store.KeepPicture(shared);
                const QByteArray payload = QByteArray::number(w) + '/' + QByteArray::number(i);
                allRecorded[w] = allRecorded[w] && key && store.Record(MemeStore::HashOf(payload), payload, {*key})
                                 && store.Record(MemeStore::HashOf("same file"), payload.repeated(100), {*key});
            }
        };
        const auto twoWindows = [&](std::uint64_t cap) {
            std::thread first(window, 0, cap), second(window, 1, cap);
            first.join();
            second.join();
        };
        twoWindows(MemeStore::kDefaultCap);
        QVERIFY(allRecorded[0] && allRecorded[1]);
        const MemeStore store(folder.path());
        for (int w = 0; w < 2; ++w)
            for (int i = 0; i < kEach; ++i) {
                const QByteArray payload = QByteArray::number(w) + '/' + QByteArray::number(i);
                QCOMPARE(store.Find(MemeStore::HashOf(payload)), payload);
            }
        QCOMPARE(FilesIn(folder.filePath(QStringLiteral("records"))), 2 * kEach + 1);
        QCOMPARE(FilesIn(folder.filePath(QStringLiteral("pictures"))), 1);
        QCOMPARE(store.Picture(QString::fromLatin1(MemeStore::HashOf(shared))), shared);
        const std::optional<QByteArray> same = store.Find(MemeStore::HashOf("same file"));
        QVERIFY(same); // one window's whole record, not a mix of both
        const QByteArray one = same->first(same->size() / 100);
        QCOMPARE(one.repeated(100), *same);
        QVERIFY(one.startsWith("0/") || one.startsWith("1/"));

        // Every record trims while the other window keeps and records: the
        // picture it just kept is never taken from under it.
        twoWindows(0);
        QVERIFY(allRecorded[0] && allRecorded[1]);
        QCOMPARE(store.Picture(QString::fromLatin1(MemeStore::HashOf(shared))), shared);
    }

    // Four records a day apart and five pictures: p1 used by r1, p2 by r1 and
    // r3, p3 by none (old), p4 by none (kept just now), p5 by r4.
    void the_cap_removes_the_oldest_and_the_unused_data()
    {
        QTest::addColumn<int>("capLessThanAll"); // bytes below the total
        QTest::addColumn<QStringList>("left");
        const QStringList all = {"r1", "r2", "r3", "r4", "p1", "p2", "p3", "p4", "p5"};
        QTest::newRow("within the cap") << 0 << all;
        QTest::newRow("over by a byte: the old unused picture")
            << 1 << QStringList{"r1", "r2", "r3", "r4", "p1", "p2", "p4", "p5"};
        QTest::newRow("over by more: the oldest record and its own picture")
            << 3001 << QStringList{"r2", "r3", "r4", "p2", "p4", "p5"};
        QTest::newRow("nothing allowed: the newest and the young picture stay")
            << -1 << QStringList{"r4", "p4", "p5"};
    }
    void the_cap_removes_the_oldest_and_the_unused()
    {
        QFETCH(int, capLessThanAll);
        QFETCH(QStringList, left);
        QTemporaryDir folder;
        MemeStore store(folder.path());
        QHash<QString, QString> names; // r1.. and p1.. to their keys
        QHash<QString, QString> paths;
        for (int p = 1; p <= 5; ++p) {
            const QString name = QStringLiteral("p%1").arg(p);
            names[name] = *store.KeepPicture(Bytes(name.toLatin1().repeated(500))); // 1000 bytes
            paths[name] = folder.filePath(QStringLiteral("pictures/") + names[name]);
        }
        const QList<QStringList> uses = {{"p1", "p2"}, {}, {"p2"}, {"p5"}};
        for (int r = 1; r <= 4; ++r) {
            const QString name = QStringLiteral("r%1").arg(r);
            QStringList keys;
            for (const QString& picture : uses[r - 1])
                keys << names[picture];
            names[name] = QString::fromLatin1(MemeStore::HashOf(name.toUtf8()));
            QVERIFY(store.Record(names[name].toLatin1(), QByteArray(2000, 'm'), keys));
            paths[name] = folder.filePath(QStringLiteral("records/") + names[name]);
            SetAge(paths[name], 10 - r);
        }
        for (const char* name : {"p1", "p2", "p3", "p5"})
            SetAge(paths[name], 20);

        std::uint64_t total = 0;
        for (const QString& path : paths)
            total += std::uint64_t(QFileInfo(path).size());
        store.Trim(capLessThanAll < 0 ? 0 : total - std::uint64_t(capLessThanAll));

        QStringList there;
        for (auto at = paths.cbegin(); at != paths.cend(); ++at)
            if (QFile::exists(at.value()))
                there << at.key();
        there.sort();
        left.sort();
        QCOMPARE(there, left);
        if (left.contains("r4"))
            QCOMPARE(store.Find(names["r4"].toLatin1()), QByteArray(2000, 'm'));
    }

    void each_record_trims_but_keeps_itself()
    {
        QTemporaryDir folder;
        MemeStore store(folder.path());
        store.SetCap(1000);
        const auto record = [&](const char* name, int age) { // `age` days, once recorded
            QVERIFY(store.Record(MemeStore::HashOf(name), QByteArray(5000, name[0]), {}));
            SetAge(folder.filePath(QStringLiteral("records/") + QString::fromLatin1(MemeStore::HashOf(name))), age);
        };
        const auto found = [&](const char* name) { return store.Find(MemeStore::HashOf(name)).has_value(); };
        record("a", 1);
        QVERIFY(found("a")); // over the cap alone, and kept
        record("b", -1);     // as if another window recorded it after the next
        QVERIFY(!found("a") && found("b"));
        record("c", 0);      // not the newest, but the one just made
        QVERIFY(found("b") && found("c"));
    }

    void a_folder_that_cannot_be_made_fails_with_a_reason()
    {
        QTemporaryFile file; // a folder beneath a file cannot be made, not even by root
        QVERIFY(file.open());
        MemeStore store(file.fileName() + QStringLiteral("/store"));
        QString why;
        QCOMPARE(store.KeepPicture(Bytes("photo"), &why), std::nullopt);
        QVERIFY2(why.contains(file.fileName()), qPrintable(why));
        why.clear();
        QVERIFY(!store.Record(MemeStore::HashOf("saved"), "meme", {}, &why));
        QVERIFY2(why.contains(file.fileName()), qPrintable(why));
        QCOMPARE(store.Find(MemeStore::HashOf("saved")), std::nullopt);
        store.Trim(0);
    }
};

QTEST_GUILESS_MAIN(TestStore)
#include "test_store.moc"

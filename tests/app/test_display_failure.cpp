// Started where no window can be opened, the program says so in one
// sentence and exits with 1; Qt's abort never shows.
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

class DisplayFailureTest : public QObject {
    Q_OBJECT

private slots:
    void no_platform_gives_a_sentence_and_exit_code_one_data()
    {
        QTest::addColumn<QStringList>("environment"); // NAME=value, on top of nothing set
        QTest::addColumn<QString>("named");           // what the sentence must mention
        // An X display number no server listens on.
        int free = 700;
        while (QFileInfo::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(free)))
            ++free;
        const QString unreachable = QStringLiteral(":%1").arg(free);
        QTest::newRow("nothing set") << QStringList() << QStringLiteral("none is set");
        QTest::newRow("Wayland named, compositor missing")
            << QStringList{"WAYLAND_DISPLAY=missing"} << QStringLiteral("WAYLAND_DISPLAY=\"missing\"");
        QTest::newRow("X display unreachable")
            << QStringList{"DISPLAY=" + unreachable} << QStringLiteral("DISPLAY=\"%1\"").arg(unreachable);
        QTest::newRow("both named, neither there")
            << QStringList{"DISPLAY=" + unreachable, "WAYLAND_DISPLAY=missing"}
            << QStringLiteral("WAYLAND_DISPLAY=\"missing\"");
        QTest::newRow("Wayland asked for, compositor missing")
            << QStringList{"QT_QPA_PLATFORM=wayland", "WAYLAND_DISPLAY=missing"}
            << QStringLiteral("QT_QPA_PLATFORM=\"wayland\"");
        QTest::newRow("platform plugin missing")
            << QStringList{"QT_QPA_PLATFORM=nonexistent"} << QStringLiteral("QT_QPA_PLATFORM=\"nonexistent\"");
    }
    void no_platform_gives_a_sentence_and_exit_code_one()
    {
        QFETCH(QStringList, environment);
        QFETCH(QString, named);
        QTemporaryDir runtime;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "XDG_SESSION_TYPE"})
            env.remove(QString::fromLatin1(name));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
        env.insert(QStringLiteral("HOME"), runtime.path());
        for (const QString& pair : environment)
            env.insert(pair.section(u'=', 0, 0), pair.section(u'=', 1));

        QProcess program;
        program.setProcessEnvironment(env);
        program.start(QStringLiteral(MUGROVE_BINARY), {});
        QVERIFY(program.waitForFinished(60000));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit); // no abort
        QCOMPARE(program.exitCode(), 1);
        QVERIFY(program.readAllStandardOutput().isEmpty());
        const QString said = QString::fromUtf8(program.readAllStandardError());
        // One line, one sentence: what it needs, what it was given, how to run it.
        QVERIFY2(said.endsWith(u'\n') && said.count(u'\n') == 1, qPrintable(said));
        QVERIFY2(said.startsWith(QStringLiteral("Mugrove needs a graphical display")), qPrintable(said));
        QVERIFY2(said.contains(named), qPrintable(said));
        QVERIFY2(said.contains(QStringLiteral("xvfb-run -a ")), qPrintable(said));
    }
};

QTEST_GUILESS_MAIN(DisplayFailureTest)
#include "test_display_failure.moc"

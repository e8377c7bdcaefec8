// Started where no window can be opened, the program says so in one
// sentence and exits with 1; Qt's abort never shows.
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

class DisplayFailureTest : public QObject {
    Q_OBJECT

private slots:
    void no_platform_gives_a_sentence_and_exit_code_one()
    {
        int free = 700; // an X display number no server listens on
        while (QFileInfo::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(free)))
            ++free;
        const QString x = QStringLiteral(":%1").arg(free);
        // What is set (NAME, value), and what the sentence names.
        const struct { QStringList set; QString named; } cases[] = {
            {{}, QStringLiteral("none is set")},
            {{"WAYLAND_DISPLAY", "missing"}, "(WAYLAND_DISPLAY=\"missing\")"},
            {{"DISPLAY", x}, "(DISPLAY=\"" + x + "\")"},
            {{"DISPLAY", x, "WAYLAND_DISPLAY", "missing"}, "(DISPLAY=\"" + x + "\", WAYLAND_DISPLAY=\"missing\")"},
            {{"QT_QPA_PLATFORM", "nonexistent"}, "(QT_QPA_PLATFORM=\"nonexistent\")"}};
        QTemporaryDir runtime;
        for (const auto& [set, named] : cases) {
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
                env.remove(QString::fromLatin1(name));
            env.insert("XDG_RUNTIME_DIR", runtime.path());
            for (qsizetype i = 0; i + 1 < set.size(); i += 2)
                env.insert(set[i], set[i + 1]);
            QProcess program;
            program.setProcessEnvironment(env);
            program.start(QStringLiteral(MUGROVE_BINARY), {});
            QVERIFY(program.waitForFinished(60000));
            const QString said = QString::fromUtf8(program.readAllStandardError());
            QVERIFY2(program.exitStatus() == QProcess::NormalExit && program.exitCode() == 1, qPrintable(said));
            // One line: what it needs, what it was given, how to run it anyway.
            QVERIFY2(said.startsWith("Mugrove needs a graphical display") && said.count('\n') == 1
                         && said.endsWith('\n') && said.contains(named) && said.contains("xvfb-run -a "),
                     qPrintable(said));
        }
    }
};

QTEST_GUILESS_MAIN(DisplayFailureTest)
#include "test_display_failure.moc"

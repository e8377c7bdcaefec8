// The decoder process: every way it can end is told apart and reported in
// one line, it runs locked down with nothing but its channel, and the
// channel refuses what the protocol does not allow.

#include "sandbox/Channel.h"
#include "sandbox/DecoderProcess.h"
#include "sandbox/Sanitized.h"
#include "sandbox/TestEntries.h"
#include "sandbox/Wire.h"
#include "tests/support/StderrCapture.h"

#include <QDir>
#include <QFile>
#include <QtTest>

#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

using namespace mugrove::sandbox;
using namespace std::chrono_literals;

namespace {

const std::string kHelper = MUGROVE_TEST_DECODER;
const QByteArray kStopLine = "mugrove: decoder stopped: ";

std::vector<std::uint8_t> Entry(TestEntry entry, std::uint64_t bytes = 0)
{
    Writer writer(Message::TestEntry);
    writer.Put(static_cast<std::uint32_t>(entry));
    if (entry == TestEntry::Allocate)
        writer.Put(bytes);
    return {writer.Bytes().begin(), writer.Bytes().end()};
}

// Starts the test helper and waits until it answers: from then on it is locked down.
std::unique_ptr<DecoderProcess> StartAnswering(const DecoderLimits& limits = {})
{
    auto process = DecoderProcess::Start(kHelper, limits);
    std::vector<std::uint8_t> answer;
    std::vector<UniqueFd> fds;
    if (!process)
        return nullptr;
    if (!process->Send(Entry(TestEntry::Answer)) || !process->Receive(answer, fds) ||
        answer != Entry(TestEntry::Answer)) {
        process->ReportStop(); // says why on the test's output
        return nullptr;
    }
    return process;
}

// The one line ReportStop writes, checked for being the only one.
QByteArray ReportedLine(DecoderProcess& process, DecoderStop& stop)
{
    mugrove::testing::StderrCapture capture;
    stop = process.ReportStop();
    const QByteArray text = capture.Text();
    return text.count('\n') == 1 && text.endsWith('\n') ? text.chopped(1) : "not one line: " + text;
}

int OpenDescriptors()
{
    return static_cast<int>(QDir("/proc/self/fd").entryList(QDir::Files | QDir::System).size());
}

} // namespace

Q_DECLARE_METATYPE(DecoderLimits)

class TestDecoderProcess : public QObject {
    Q_OBJECT

private slots:
    void endsAsReported_data()
    {
        QTest::addColumn<TestEntry>("entry");
        QTest::addColumn<DecoderLimits>("limits");
        QTest::addColumn<int>("timeoutMs");
        QTest::addColumn<DecoderStop>("expected");
        QTest::addColumn<QByteArray>("detail");
        const DecoderLimits none;
        QTest::newRow("opens a file, then a socket") << TestEntry::OpenThenSocket << none << 60'000
                                                     << DecoderStop::BlockedCall << QByteArray();
        QTest::newRow("starts a program") << TestEntry::Exec << none << 60'000 << DecoderStop::BlockedCall
                                          << QByteArray();
        QTest::newRow("writes through null") << TestEntry::NullWrite << none << 60'000 << DecoderStop::Crashed
#if defined(MUGROVE_SANITIZED)
                                             << QByteArray(" (signal 6)"); // the sanitizer aborts
#else
                                             << QByteArray(" (signal 11)");
#endif
        // It runs for ever, so the short wait passes whatever the machine's speed.
        QTest::newRow("runs past the time to answer")
            << TestEntry::Spin << none << 200 << DecoderStop::TooLong << QByteArray();
        QTest::newRow("runs past its processor time")
            << TestEntry::Spin << DecoderLimits{0, 1} << 120'000 << DecoderStop::CpuLimit << QByteArray();
        QTest::newRow("allocates past its address space")
            << TestEntry::Allocate << DecoderLimits{1ull << 30, 0} << 60'000 << DecoderStop::MemoryLimit
            << QByteArray();
    }
    void endsAsReported()
    {
        QFETCH(TestEntry, entry);
        QFETCH(DecoderLimits, limits);
        QFETCH(int, timeoutMs);
        QFETCH(DecoderStop, expected);
        QFETCH(QByteArray, detail);
#if defined(MUGROVE_SANITIZED)
        if (expected == DecoderStop::MemoryLimit)
            QSKIP("a sanitized helper has no address-space limit: its shadow memory needs terabytes");
#endif
        auto process = StartAnswering(limits);
        QVERIFY(process);
        QVERIFY(process->Send(Entry(entry, 4ull << 30)));
        std::vector<std::uint8_t> answer;
        std::vector<UniqueFd> fds;
        QVERIFY(!process->Receive(answer, fds, std::chrono::milliseconds(timeoutMs)));
        DecoderStop stop{};
        const QByteArray line = ReportedLine(*process, stop);
        QCOMPARE(stop, expected);
        QCOMPARE(line, kStopLine + QByteArray(StopText(expected).data()) + detail);
        QVERIFY(!process->Send(Entry(TestEntry::Answer))); // gone, and nothing hangs
    }

    void runsLockedDownWithItsChannelAlone()
    {
        auto process = StartAnswering({3ull << 30, 5});
        QVERIFY(process);
        const QString proc = QString("/proc/%1/").arg(process->Pid());
        QFile status(proc + "status");
        QVERIFY(status.open(QIODevice::ReadOnly));
        const QByteArray text = status.readAll();
        QVERIFY(text.contains("\nSeccomp:\t2\n"));
        QVERIFY(text.contains("\nNoNewPrivs:\t1\n"));

        QCOMPARE(QDir(proc + "fd").entryList(QDir::Files | QDir::System), QStringList({"0", "1", "2", "3"}));
        QCOMPARE(QFile::symLinkTarget(proc + "fd/0"), QString("/dev/null"));
        QCOMPARE(QFile::symLinkTarget(proc + "fd/1"), QString("/dev/null"));
#if !defined(MUGROVE_SANITIZED)
        QCOMPARE(QFile::symLinkTarget(proc + "fd/2"), QString("/dev/null"));
#endif
        char target[64] = {};
        QVERIFY(::readlink(qPrintable(proc + "fd/3"), target, sizeof target - 1) > 0);
        QVERIFY(QByteArray(target).startsWith("socket:"));

        QFile limits(proc + "limits");
        QVERIFY(limits.open(QIODevice::ReadOnly));
        const QByteArray table = limits.readAll().simplified();
        QVERIFY(table.contains("Max cpu time 5 "));
        QVERIFY(table.contains("Max core file size 0 0 "));
#if !defined(MUGROVE_SANITIZED)
        QVERIFY(table.contains("Max address space 3221225472 3221225472 "));
#endif
    }

    void killedFromOutside()
    {
        auto process = StartAnswering();
        QVERIFY(process);
        QCOMPARE(::kill(process->Pid(), SIGKILL), 0);
        std::vector<std::uint8_t> answer;
        std::vector<UniqueFd> fds;
        QVERIFY(!process->Receive(answer, fds));
        QCOMPARE(process->Stopped(), DecoderStop::Killed);
    }

    void endsWhenItsProgramIsGone()
    {
        // Started by hand, so that the program's end of the channel can be
        // closed while the helper runs for ever.
        int ends[2];
        QCOMPARE(::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, ends), 0);
        UniqueFd ours(ends[0]), theirs(::fcntl(ends[1], F_DUPFD_CLOEXEC, 10));
        ::close(ends[1]);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, theirs.Get(), 3);
        std::string program = kHelper;
        char* argv[] = {program.data(), nullptr};
        pid_t pid = -1;
        QCOMPARE(::posix_spawn(&pid, program.c_str(), &actions, nullptr, argv, environ), 0);
        posix_spawn_file_actions_destroy(&actions);
        theirs = UniqueFd();
        const UniqueFd pidfd(static_cast<int>(::syscall(SYS_pidfd_open, pid, 0)));

        std::vector<std::uint8_t> answer;
        std::vector<UniqueFd> fds;
        const bool answered = SendMessage(ours.Get(), Entry(TestEntry::Answer)) &&
                              ReceiveMessage(ours.Get(), answer, fds) == Received::Message &&
                              SendMessage(ours.Get(), Entry(TestEntry::Spin));
        ours = UniqueFd(); // the spin is taken before the end is seen: only the watch can end it
        pollfd ending{pidfd.Get(), POLLIN, 0};
        const bool ended = ::poll(&ending, 1, 60'000) == 1;
        if (!ended)
            ::kill(pid, SIGKILL);
        int status = -1;
        ::waitpid(pid, &status, 0);
        QVERIFY(answered);
        QVERIFY(ended);
        QVERIFY(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }

    void missingHelperIsNoProcess()
    {
        mugrove::testing::StderrCapture capture;
        QVERIFY(!DecoderProcess::Start(kHelper + "-not-there", {}));
        const QByteArray text = capture.Text();
        QCOMPARE(text.count('\n'), 1);
        QVERIFY2(text.startsWith(kStopLine + "could not be started"), text.constData());
    }

    void channelRefusesWhatIsNotAllowed_data()
    {
        QTest::addColumn<int>("bytes");
        QTest::addColumn<int>("descriptors");
        QTest::addColumn<Received>("expected");
        QTest::newRow("four descriptors") << 64 << 4 << Received::Message;
        QTest::newRow("five descriptors") << 64 << 5 << Received::Malformed;
        QTest::newRow("at the size limit") << int(kMaxMessageBytes) << 1 << Received::Message;
        QTest::newRow("over the size limit") << int(kMaxMessageBytes) + 1 << 1 << Received::Malformed;
        QTest::newRow("the other end closed") << -1 << 0 << Received::Closed;
    }
    void channelRefusesWhatIsNotAllowed()
    {
        QFETCH(int, bytes);
        QFETCH(int, descriptors);
        QFETCH(Received, expected);
        int ends[2];
        QCOMPARE(::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, ends), 0);
        UniqueFd sender(ends[0]), receiver(ends[1]);
        const int room = 2 * int(kMaxMessageBytes);
        if (bytes > 0 && ::setsockopt(sender.Get(), SOL_SOCKET, SO_SNDBUFFORCE, &room, sizeof room) != 0)
            ::setsockopt(sender.Get(), SOL_SOCKET, SO_SNDBUF, &room, sizeof room);

        UniqueFd null(::open("/dev/null", O_RDONLY | O_CLOEXEC));
        const int before = OpenDescriptors();
        std::vector<std::uint8_t> message(std::max(bytes, 0), 0x5a);
        const std::vector<int> fds(descriptors, null.Get()); // each arrives as a new descriptor
        if (bytes < 0) {
            sender = UniqueFd();
        } else if (bytes <= int(kMaxMessageBytes) && descriptors <= int(kMaxFdsPerMessage)) {
            if (!SendMessage(sender.Get(), message, fds) && errno == EMSGSIZE)
                QSKIP("this system's socket buffers cannot hold a message this long");
        } else {
            QVERIFY(!SendMessage(sender.Get(), message, fds)); // refused, so sent by hand
            alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int) * 8)] = {};
            iovec part{message.data(), message.size()};
            msghdr header{};
            header.msg_iov = &part;
            header.msg_iovlen = 1;
            header.msg_control = control;
            header.msg_controllen = CMSG_SPACE(sizeof(int) * descriptors);
            cmsghdr* rights = CMSG_FIRSTHDR(&header);
            *rights = cmsghdr{CMSG_LEN(sizeof(int) * descriptors), SOL_SOCKET, SCM_RIGHTS};
            std::memcpy(CMSG_DATA(rights), fds.data(), sizeof(int) * descriptors);
            if (::sendmsg(sender.Get(), &header, MSG_NOSIGNAL) != bytes)
                QSKIP("this system's socket buffers cannot hold a message this long, so none arrives");
        }

        std::vector<std::uint8_t> received;
        std::vector<UniqueFd> receivedFds;
        QCOMPARE(ReceiveMessage(receiver.Get(), received, receivedFds), expected);
        if (expected == Received::Message) {
            QVERIFY(received == message);
            QCOMPARE(int(receivedFds.size()), descriptors);
            for (const UniqueFd& fd : receivedFds)
                QCOMPARE(::fcntl(fd.Get(), F_GETFD), FD_CLOEXEC);
        } else {
            QVERIFY(received.empty() && receivedFds.empty());
        }
        receivedFds.clear();
        QCOMPARE(OpenDescriptors(), before - (bytes < 0 ? 1 : 0)); // none left behind
    }
};

QTEST_GUILESS_MAIN(TestDecoderProcess)
#include "test_decoder_process.moc"

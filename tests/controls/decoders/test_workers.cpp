// The two ways work leaves its thread: the worker that does only the latest
// request, and the loop in two halves. Every wait here is on an event the
// test itself causes, never on time.

#include "controls/decoders/Workers.h"

#include <QTest>

#include <algorithm>
#include <future>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

using namespace mugrove;

namespace {

// What a worker's jobs saw, shared with the test's thread.
struct Seen {
    std::mutex mutex;
    std::vector<int> requests;
    std::vector<std::thread::id> threads;

    void Add(int request)
    {
        const std::lock_guard lock(mutex);
        requests.push_back(request);
        threads.push_back(std::this_thread::get_id());
    }
    std::vector<int> Requests()
    {
        const std::lock_guard lock(mutex);
        return requests;
    }
};

// A job that holds request `held` until released, after saying it started.
struct Gate {
    std::promise<void> started, released;
    std::shared_future<void> open = released.get_future().share();
};

} // namespace

class WorkersTest : public QObject {
    Q_OBJECT
private slots:
    void only_the_latest_request_waiting_is_done()
    {
        Seen seen;
        Gate gate;
        {
            LatestRequestWorker<int> worker([&](const int& request, std::stop_token) {
                seen.Add(request);
                if (request == 1) {
                    gate.started.set_value();
                    gate.open.wait();
                }
            });
            worker.Ask(1);
            gate.started.get_future().wait();
            for (int request = 2; request <= 4; ++request)
                worker.Ask(request); // each replaces the one before while 1 runs
            gate.released.set_value();
            worker.Drain();
            QCOMPARE(seen.Requests(), (std::vector<int>{1, 4}));
            worker.Ask(5);
            worker.Drain();
        }
        QCOMPARE(seen.Requests(), (std::vector<int>{1, 4, 5}));
        for (const std::thread::id id : seen.threads)
            QVERIFY(id != std::this_thread::get_id() && id == seen.threads.front());
    }

    void a_job_that_throws_is_reported_once_and_the_worker_goes_on()
    {
        Seen seen;
        Gate gate;
        LatestRequestWorker<int> worker([&](const int& request, std::stop_token) {
            seen.Add(request);
            if (request == 10) {
                gate.started.set_value();
                gate.open.wait();
            }
            if (request >= 10)
                throw std::runtime_error(std::to_string(request));
        });
        // Two jobs throw before anyone drains: the first one's exception.
        worker.Ask(10);
        gate.started.get_future().wait();
        worker.Ask(11);
        gate.released.set_value();
        QString thrown;
        try {
            worker.Drain();
        } catch (const std::runtime_error& e) {
            thrown = QString::fromStdString(e.what());
        }
        QCOMPARE(thrown, QStringLiteral("10"));
        worker.Ask(3);
        worker.Drain(); // nothing left to throw
        QCOMPARE(seen.Requests(), (std::vector<int>{10, 11, 3}));
    }

    void stopping_drops_the_waiting_request_and_tells_the_running_job()
    {
        Seen seen;
        std::promise<void> started;
        bool sawStop = false;
        {
            LatestRequestWorker<int> worker([&](const int& request, std::stop_token stop) {
                seen.Add(request);
                std::promise<void> stopped;
                const std::stop_callback onStop(stop, [&] { stopped.set_value(); });
                started.set_value();
                stopped.get_future().wait(); // until the worker is destroyed
                sawStop = stop.stop_requested();
            });
            worker.Ask(1);
            started.get_future().wait();
            worker.Ask(2);
        }
        QVERIFY(sawStop);
        QCOMPARE(seen.Requests(), std::vector<int>{1});
    }

    void a_loop_in_halves_runs_every_item_once_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("throwFrom"); // the half starting there throws; -1 none, -2 both
        QTest::addColumn<int>("calls");
        QTest::newRow("small: here, whole") << 100 << -1 << 1;
        QTest::newRow("at the bound: here, whole") << 1000 << -1 << 1;
        QTest::newRow("large: two halves") << 1001 << -1 << 2;
        QTest::newRow("first half throws") << 3000 << 0 << 2;
        QTest::newRow("second half throws") << 3000 << 1500 << 2;
        QTest::newRow("both throw") << 3000 << -2 << 2;
    }
    void a_loop_in_halves_runs_every_item_once()
    {
        QFETCH(int, count);
        QFETCH(int, throwFrom);
        QFETCH(int, calls);
        std::vector<int> marks(std::size_t(count), 0);
        Seen seen; // each call's start, and its thread
        QString thrown;
        try {
            RunInHalves(marks.size(), 1000, [&](std::size_t from, std::size_t to) {
                seen.Add(int(from));
                for (std::size_t i = from; i < to; ++i)
                    ++marks[i];
                if (throwFrom == -2 || throwFrom == int(from))
                    throw std::runtime_error(std::to_string(from));
            });
        } catch (const std::runtime_error& e) {
            thrown = QString::fromStdString(e.what());
        }
        // Every item once, whatever threw: both halves always end.
        QCOMPARE(std::count(marks.begin(), marks.end(), 1), std::ptrdiff_t(count));
        QCOMPARE(int(seen.requests.size()), calls);
        for (std::size_t i = 0; i < seen.requests.size(); ++i) {
            const bool here = seen.threads[i] == std::this_thread::get_id();
            QCOMPARE(here, seen.requests[i] == 0);
            QVERIFY(seen.requests[i] == 0 || seen.requests[i] == count / 2);
        }
        QCOMPARE(thrown, throwFrom == -1 ? QString() : QString::number(throwFrom == 1500 ? 1500 : 0));
    }
};

QTEST_MAIN(WorkersTest)
#include "test_workers.moc"

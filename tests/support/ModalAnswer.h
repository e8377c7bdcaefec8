#pragma once

// Answers a modal dialog that the code under test opens and waits on. A check
// inside a timer callback cannot end the test, so the answer only acts and
// records; whatever happens, every modal dialog is closed again within a few
// seconds, and the test fails on what it recorded instead of hanging.

#include <QApplication>
#include <QDeadlineTimer>
#include <QDialog>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <utility>

namespace mugrove::testing {

template <typename Dialog>
class ModalAnswer {
public:
    // Watches, while this object lives, for the next modal `Dialog` and hands
    // it to `answer`. Keep the object until the call that opens it returns.
    explicit ModalAnswer(std::function<void(Dialog&)> answer, int timeoutMs = 5000)
        : answer_(std::move(answer)), deadline_(timeoutMs)
    {
        timer_.setInterval(10);
        QObject::connect(&timer_, &QTimer::timeout, [this] { Poll(); });
        timer_.start();
    }
    ModalAnswer(const ModalAnswer&) = delete;
    ModalAnswer& operator=(const ModalAnswer&) = delete;

    // Whether such a dialog came and was answered.
    bool Seen() const { return seen_; }

private:
    void Poll()
    {
        auto* dialog = qobject_cast<Dialog*>(QApplication::activeModalWidget());
        if (!dialog && !deadline_.hasExpired())
            return;
        timer_.stop();
        if (dialog) {
            seen_ = true;
            answer_(*dialog);
        }
        // An answer that left it open, or a dialog of another kind: close it.
        while (QWidget* open = QApplication::activeModalWidget()) {
            if (auto* other = qobject_cast<QDialog*>(open))
                other->reject();
            else
                open->close();
            if (QApplication::activeModalWidget() == open)
                break;
        }
    }

    std::function<void(Dialog&)> answer_;
    QDeadlineTimer deadline_;
    QTimer timer_;
    bool seen_ = false;
};

} // namespace mugrove::testing

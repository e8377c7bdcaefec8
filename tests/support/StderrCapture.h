#pragma once

// Collects what the program writes to standard error while it lives.

#include <QByteArray>
#include <QFile>
#include <QTemporaryFile>

#include <cstdio>
#include <unistd.h>

namespace mugrove::testing {

class StderrCapture {
public:
    StderrCapture()
    {
        if (!file_.open())
            return;
        std::fflush(stderr);
        saved_ = ::dup(STDERR_FILENO);
        ::dup2(file_.handle(), STDERR_FILENO);
    }
    ~StderrCapture() { Restore(); }
    StderrCapture(const StderrCapture&) = delete;
    StderrCapture& operator=(const StderrCapture&) = delete;

    // Everything written so far; standard error is its own again after this.
    QByteArray Text()
    {
        Restore();
        QFile read(file_.fileName());
        return read.open(QIODevice::ReadOnly) ? read.readAll() : QByteArray();
    }

private:
    void Restore()
    {
        if (saved_ < 0)
            return;
        std::fflush(stderr);
        ::dup2(saved_, STDERR_FILENO);
        ::close(saved_);
        saved_ = -1;
    }

    QTemporaryFile file_;
    int saved_ = -1;
};

} // namespace mugrove::testing

#pragma once

// With MUGROVE_BENCH_KEEP naming a folder, the saving benchmarks copy every
// file they write into it under a fixed name, so the files of two builds can
// be compared byte for byte. Without it nothing is kept.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>

namespace mugrove::bench {

inline void KeepBytes(const QByteArray& bytes, const QString& name)
{
    const QString folder = qEnvironmentVariable("MUGROVE_BENCH_KEEP");
    if (folder.isEmpty() || !QDir().mkpath(folder))
        return;
    QFile file(QDir(folder).filePath(name));
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(bytes);
}

inline void KeepFile(const QString& path, const QString& name)
{
    if (qEnvironmentVariableIsEmpty("MUGROVE_BENCH_KEEP"))
        return;
    QFile file(path);
    if (file.open(QIODevice::ReadOnly))
        KeepBytes(file.readAll(), name);
}

} // namespace mugrove::bench

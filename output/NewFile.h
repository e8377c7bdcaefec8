#pragma once

#include <QString>

#include <cstdint>
#include <memory>
#include <span>

namespace mugrove {

// A new file that is written without a name in its folder and appears under
// a name only once it is complete. Until then nobody sees it, and if it is
// never published (or the program dies first) nothing of it is left behind.
// It gets the permissions any new file gets: 0666 less the umask.
//
//     NewFile file(folder);
//     file.Write(part1); file.Write(part2);
//     const QString path = file.Publish(QStringLiteral("picture.jpg"));
//
// It is made, written and published by one thread, which may be any thread.
class NewFile {
public:
    // Opens the unnamed file in `folder`; IsOpen() tells whether that worked.
    explicit NewFile(const QString& folder);
    ~NewFile(); // discards the content unless it was published
    NewFile(const NewFile&) = delete;
    NewFile& operator=(const NewFile&) = delete;

    // Open, nothing written has failed, not yet published.
    bool IsOpen() const;

    // Appends all of `bytes`. False when the file is not open or the write
    // fails; after one failure every later write and the publish fail too.
    bool Write(std::span<const std::uint8_t> bytes);

    // Pushes the content to the disk, then names the file `fileName` in its
    // folder, or "stem (2).ext", "stem (3).ext", ... when that is taken; an
    // existing file is never replaced. Returns the full path used, or an
    // empty text when anything failed (the file is then discarded).
    QString Publish(const QString& fileName);

    // Why the file failed, in the system's words (say "No space left on
    // device"); empty while nothing has failed.
    QString Error() const;

private:
    struct State;
    std::unique_ptr<State> state_;
};

} // namespace mugrove

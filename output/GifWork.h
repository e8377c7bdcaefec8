#pragma once

#include "output/GifPlan.h"
#include "output/Outcome.h"
#include "output/SaveLink.h"
#include "output/SaveScene.h"

#include <QImage>
#include <QString>

#include <memory>

namespace mugrove {

class Animation;
class GifEncoder;

// Everything an animated save's worker reads: made at the click, then the
// worker's alone.
struct GifJob {
    std::unique_ptr<Animation> player; // at its start
    SaveScene scene;
    GifPlan plan;
    QString folder;
    QString fileName;
};

// One save's encoding on the worker: the job, its frames composed as the
// window shows them, and how far it has come.
class GifWork {
public:
    GifWork(GifJob job, SaveLink& link);
    GifWork(const GifWork&) = delete;
    GifWork& operator=(const GifWork&) = delete;

    // Encodes the job the way its plan says and writes the file, never over
    // an existing one.
    OutputOutcome Run();

    // For the ways of encoding.
    GifJob& Job() { return job_; }
    Animation& Player() { return *job_.player; }
    // The frame the player is at, as the window shows it, into `frame`.
    void Compose(QImage& frame) { composer_.Compose(*job_.player, frame); }
    bool CalledOff() { return link_.CalledOff(); }
    // `done` (0 to 1) of the work is done: told once per whole percent,
    // never going back.
    void Report(double done);
    // The share of the work told so far.
    double Reported() const { return percentShown_ / 100.0; }
    // The save failed for `why`, said with the file's name.
    OutputOutcome Failed(const QString& why) const;

private:
    OutputOutcome Streamed();
    bool FilmColours(GifEncoder& encoder);

    GifJob job_;
    FrameComposer composer_{job_.scene};
    SaveLink& link_;
    int percentShown_ = 0;
};

// The size-limited way: the file within the plan's limit, or a failure.
OutputOutcome EncodeWithinLimit(GifWork& work);

} // namespace mugrove

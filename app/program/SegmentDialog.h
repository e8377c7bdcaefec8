#pragma once

#include "controls/decoders/ClipSource.h"

#include <QDialog>

#include <memory>

class QDoubleSpinBox;
class QLabel;
class QPushButton;

namespace mugrove {

struct Form;
template <class Request>
class LatestRequestWorker;

// "截取片段": chooses the stretch of a clip that plays. It shows the clip's
// length, two fields in seconds with one decimal (开始, 结束, within the
// clip) and the frame at the start, decoded on a thread of its own as the
// start changes. OK stays greyed while the start is not before the end or
// the stretch is longer than the longest a clip plays.
class SegmentDialog : public QDialog {
    Q_OBJECT
public:
    SegmentDialog(const ShownClip& clip, QWidget* parent);
    ~SegmentDialog() override;

    ClipSegment Segment() const;

    QDoubleSpinBox& StartField() { return *start_; }
    QDoubleSpinBox& EndField() { return *end_; }
    QLabel& Preview() { return *preview_; }
    QPushButton& OkButton() { return *ok_; }

signals:
    // The preview now shows the frame at `seconds`.
    void PreviewShown(double seconds);

private:
    void Check();
    void ShowPreview(const QImage& frame, double seconds);

    std::unique_ptr<LatestRequestWorker<double>> decoder_; // the preview's frames
    QDoubleSpinBox* start_;
    QDoubleSpinBox* end_;
    QLabel* preview_;
    QLabel* tooLong_;
    QPushButton* ok_;
};

// The work area's "截取片段(&C)...": opens the dialog for the clip on show
// (not waiting for it); once confirmed, the work area plays the stretch
// chosen. Does nothing when no clip is shown. The dialog, null when none
// opened.
SegmentDialog* OnChooseSegment(Form& form);

} // namespace mugrove

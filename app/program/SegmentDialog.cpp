#include "app/program/SegmentDialog.h"

#include "app/Form.h"
#include "app/model/MainWindow.h"
#include "controls/PicBox.h"
#include "controls/clips/ClipReader.h"
#include "sandbox/Decode.h"
#include "app/program/DialogButtons.h"
#include "controls/decoders/Workers.h"

#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include <cmath>

namespace mugrove {

namespace {

constexpr QSize kPreviewBox(320, 180);

double Tenths(double seconds)
{
    return std::round(seconds * 10.0) / 10.0;
}

// The frame at `seconds` as the preview shows it, owning its pixels; null
// when it does not decode.
QImage PreviewFrame(const ClipSource& source, double seconds)
{
    Image frame;
    if (DecodeClipFrameAt(source, seconds, frame) != DecodeError::None)
        return {};
    const QImage view(reinterpret_cast<const uchar*>(frame.pixels.data()), frame.width, frame.height,
                      frame.width * 4, QImage::Format_ARGB32);
    const QImage shown = view.scaled(kPreviewBox, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    // A frame that already fits the box comes back as the view itself, over
    // pixels that go with `frame`.
    return shown.size() == view.size() ? view.copy() : shown;
}

} // namespace

SegmentDialog::SegmentDialog(const ShownClip& clip, QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("segmentDialog"));
    setWindowTitle(QStringLiteral("截取片段"));
    const double length = Tenths(clip.length);
    auto* lengthLabel = new QLabel(QStringLiteral("片长 %1 秒").arg(length, 0, 'f', 1), this);
    lengthLabel->setObjectName(QStringLiteral("lengthLabel"));
    preview_ = new QLabel(this);
    preview_->setObjectName(QStringLiteral("preview"));
    preview_->setFixedSize(kPreviewBox);
    preview_->setAlignment(Qt::AlignCenter);
    const auto field = [this, length](double value) {
        auto* box = new QDoubleSpinBox(this);
        box->setLocale(QLocale::c()); // a point before the tenths, whatever the desktop's language
        box->setDecimals(1);
        box->setRange(0.0, length);
        box->setSingleStep(0.1);
        box->setValue(Tenths(value));
        return box;
    };
    start_ = field(clip.segment.start);
    end_ = field(clip.segment.end);
    start_->setObjectName(QStringLiteral("startField"));
    end_->setObjectName(QStringLiteral("endField"));
    tooLong_ = new QLabel(QStringLiteral("片段最长 %1 秒").arg(kMaxSegmentSeconds), this);
    tooLong_->setVisible(false);
    auto* buttons = OkCancelButtons(this);
    ok_ = buttons->button(QDialogButtonBox::Ok);
    ok_->setDefault(true);

    auto* fields = new QFormLayout;
    fields->addRow(QStringLiteral("开始（秒）"), start_);
    fields->addRow(QStringLiteral("结束（秒）"), end_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lengthLabel);
    layout->addWidget(preview_, 0, Qt::AlignHCenter);
    layout->addLayout(fields);
    layout->addWidget(tooLong_);
    layout->addWidget(buttons);
    setTabOrder(start_, end_);
    setTabOrder(end_, buttons);

    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(end_, &QDoubleSpinBox::valueChanged, this, &SegmentDialog::Check);
    // The frame at the latest start asked for, decoded on a thread of its
    // own so typing a number never waits for the clip; a start asked for
    // while one decodes replaces any that waits. Once stopping, the dialog is
    // going: nothing more is sent to it (and it outlives the worker).
    decoder_ = std::make_unique<LatestRequestWorker<double>>(
        [this, source = clip.source](const double& seconds, std::stop_token stop) {
            const QImage shown = PreviewFrame(source, seconds);
            if (!stop.stop_requested())
                QMetaObject::invokeMethod(
                    this, [this, shown, seconds] { ShowPreview(shown, seconds); }, Qt::QueuedConnection);
        });
    connect(start_, &QDoubleSpinBox::valueChanged, this, [this](double seconds) {
        Check();
        decoder_->Ask(seconds);
    });
    Check();
    decoder_->Ask(start_->value());
    // Focused before the dialog shows, so it has the focus once it is active.
    start_->setFocus();
    start_->selectAll();
}

SegmentDialog::~SegmentDialog()
{
    decoder_.reset(); // before the fields it reports to go
}

ClipSegment SegmentDialog::Segment() const
{
    return {start_->value(), end_->value()};
}

void SegmentDialog::Check()
{
    const double span = end_->value() - start_->value();
    const bool tooLong = span > kMaxSegmentSeconds + 0.05;
    tooLong_->setVisible(tooLong);
    ok_->setEnabled(span > 0.05 && !tooLong);
}

void SegmentDialog::ShowPreview(const QImage& frame, double seconds)
{
    preview_->setPixmap(QPixmap::fromImage(frame));
    emit PreviewShown(seconds);
}

SegmentDialog* OnChooseSegment(Form& form)
{
    const DecodedPicture* shown = form.workArea->Decoded();
    if (shown == nullptr || !shown->clip)
        return nullptr;
    auto* dialog = new SegmentDialog(*shown->clip, form.window.get());
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    const ClipSource source = shown->clip->source;
    QObject::connect(dialog, &QDialog::accepted, form.workArea, [&form, dialog, source] {
        // Only while the same clip is on show.
        const DecodedPicture* now = form.workArea->Decoded();
        if (now == nullptr || !now->clip || now->clip->source.path != source.path ||
            now->clip->source.bytes != source.bytes)
            return;
        auto decoded = std::make_unique<DecodedPicture>();
        // A stretch that cannot be played leaves the clip playing as it was.
        if (DecodeClip(source, *decoded, dialog->Segment()) != DecodeError::None)
            return;
        // The same clip keeps the work area's size and zoom, and its turns and crop.
        const PictureShape shape = form.workArea->Shape();
        form.workArea->SetDecodedPicture(std::make_shared<const PictureBytes>(), std::move(decoded));
        form.workArea->SetShape(shape);
    });
    dialog->open();
    return dialog;
}

} // namespace mugrove

// The paint box of the "OSC" page: shows the oscillogram of a buffer
// snapshot from a cached image, rebuilt when a new snapshot arrives, and
// tells in a tooltip what the duration under the pointer is.
#pragma once

#include <memory>

#include <QImage>
#include <QWidget>

#include "analysis/CodeFrame.h"
#include "ui/Main/Oscillogram.h"

namespace tovanel {

class OscillogramBox : public QWidget {
public:
    explicit OscillogramBox(QWidget* parent = nullptr);

    // Takes a copy of the buffer, sizes the box by the width rule (height
    // OscillogramHeight), repaints the cached image and updates the widget.
    void ShowBuffer(const FrameBuffer& snapshot);
    const FrameBuffer& Buffer() const { return *buffer_; }

    // The cached image, at the screen's device pixel ratio.
    const QImage& Image() const { return image_; }

    // The duration under a point of the box: its row and index, or -1s.
    struct Hit {
        int row = -1;
        int index = -1;
        bool operator==(const Hit&) const = default;
    };
    Hit HitAt(QPoint position) const;
    // The tooltip text for a point; empty where there is no duration.
    QString ToolTipAt(QPoint position) const;

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    void Render();
    QRect HitRect(const Hit& hit) const;
    void SetHover(const Hit& hit);
    void ShowToolTip(QPoint position, QPoint globalPosition);

    std::unique_ptr<FrameBuffer> buffer_;
    std::unique_ptr<DurationStartArray[]> starts_;  // per row, for hit-testing
    QImage image_;
    Hit hover_;
};

}  // namespace tovanel

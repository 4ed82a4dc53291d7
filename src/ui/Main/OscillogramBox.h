// The paint box of the "OSC" page: shows the oscillogram of a buffer
// snapshot from a cached image, rebuilt when a new snapshot arrives.
#pragma once

#include <memory>

#include <QImage>
#include <QWidget>

#include "analysis/CodeFrame.h"

namespace tovanel {

class OscillogramBox : public QWidget {
public:
    explicit OscillogramBox(QWidget* parent = nullptr);

    // Takes a copy of the buffer, sizes the box by the width rule (height
    // OscillogramHeight), repaints the cached image and updates the widget.
    void ShowBuffer(const FrameBuffer& snapshot);
    const FrameBuffer& Buffer() const { return *buffer_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::unique_ptr<FrameBuffer> buffer_;
    QImage image_;
};

}  // namespace tovanel

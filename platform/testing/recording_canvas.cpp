#include "platform/testing/recording_canvas.h"

namespace tw {

bool RecordedOp::isDrawing() const {
    switch (kind) {
        case Kind::fillRect:
        case Kind::fillEllipse:
        case Kind::strokeEllipse:
        case Kind::fillPath:
        case Kind::strokePath:
        case Kind::clearRect:
        case Kind::linearGradient:
        case Kind::radialGradient:
        case Kind::text:
            return true;
        default:
            return false;
    }
}

RecordedOp& RecordingCanvas::record(RecordedOp::Kind kind) {
    RecordedOp op;
    op.kind = kind;
    op.lineWidth = state_.lineWidth;
    op.shadow = state_.shadow;
    ops_.push_back(std::move(op));
    return ops_.back();
}

void RecordingCanvas::save() {
    stack_.push_back(state_);
    record(RecordedOp::Kind::save);
}

void RecordingCanvas::restore() {
    // An unbalanced restore is ignored, as QPainter does.
    if (!stack_.empty()) {
        state_ = stack_.back();
        stack_.pop_back();
    }
    record(RecordedOp::Kind::restore);
}

void RecordingCanvas::translate(double dx, double dy) {
    auto& op = record(RecordedOp::Kind::translate);
    op.dx = dx;
    op.dy = dy;
}

void RecordingCanvas::rotate(double radians) { record(RecordedOp::Kind::rotate).angle = radians; }

void RecordingCanvas::scale(double sx, double sy) {
    auto& op = record(RecordedOp::Kind::scale);
    op.dx = sx;
    op.dy = sy;
}

void RecordingCanvas::clip(const Path& path) { record(RecordedOp::Kind::clip).path = path; }

void RecordingCanvas::fillRect(Rect rect) {
    auto& op = record(RecordedOp::Kind::fillRect);
    op.rect = rect;
    op.color = state_.fill;
}

void RecordingCanvas::fillEllipse(Rect bounds) {
    auto& op = record(RecordedOp::Kind::fillEllipse);
    op.rect = bounds;
    op.color = state_.fill;
}

void RecordingCanvas::strokeEllipse(Rect bounds) {
    auto& op = record(RecordedOp::Kind::strokeEllipse);
    op.rect = bounds;
    op.color = state_.stroke;
}

void RecordingCanvas::fillPath(const Path& path) {
    auto& op = record(RecordedOp::Kind::fillPath);
    op.path = path;
    op.color = state_.fill;
}

void RecordingCanvas::strokePath(const Path& path) {
    auto& op = record(RecordedOp::Kind::strokePath);
    op.path = path;
    op.color = state_.stroke;
}

void RecordingCanvas::clearRect(Rect rect) { record(RecordedOp::Kind::clearRect).rect = rect; }

void RecordingCanvas::fillLinearGradient(const Path& path, Point start, Point end,
                                         const std::vector<GradientStop>& stops) {
    auto& op = record(RecordedOp::Kind::linearGradient);
    op.path = path;
    op.point = start;
    op.end = end;
    op.stops = stops;
}

void RecordingCanvas::fillRadialGradient(const Path& path, Point centre, double radius,
                                         const std::vector<GradientStop>& stops) {
    auto& op = record(RecordedOp::Kind::radialGradient);
    op.path = path;
    op.point = centre;
    op.radius = radius;
    op.stops = stops;
}

void RecordingCanvas::drawText(const std::string& text, Point topLeft, const TextStyle& style) {
    auto& op = record(RecordedOp::Kind::text);
    op.text = text;
    op.point = topLeft;
    op.textStyle = style;
    op.color = style.color;
}

Size RecordingCanvas::measureText(const std::string& text, const Font& font) {
    std::size_t codePoints = 0;
    for (unsigned char c : text) {
        if ((c & 0xC0) != 0x80) ++codePoints;
    }
    return Size{0.6 * font.size * static_cast<double>(codePoints), 1.2 * font.size};
}

std::vector<RecordedOp> RecordingCanvas::drawingOps() const {
    std::vector<RecordedOp> result;
    for (const auto& op : ops_) {
        if (op.isDrawing()) result.push_back(op);
    }
    return result;
}

}  // namespace tw

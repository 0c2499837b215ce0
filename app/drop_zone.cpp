#include "drop_zone.h"

#include <QDragEnterEvent>
#include <QLabel>
#include <QMimeData>
#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>

#include "drop.h"
#include "packer_model.h"
#include "style.h"

namespace tessaly {

namespace {

constexpr int zoneHeight = 150;
constexpr qreal cornerRadius = 14;
constexpr qreal borderWidth = 2;
constexpr qreal dashLength = 7;

}  // namespace

DropZone::DropZone(PackerModel& model, QWidget* parent) : QWidget(parent), model_(model) {
    setAcceptDrops(true);
    setFixedHeight(zoneHeight);
    setAccessibleName(tr("Drop files or a folder here"));

    auto* symbol = new QLabel(this);
    symbol->setPixmap(Style::icon("package-x-generic", QStyle::SP_DirIcon).pixmap(30, 30));
    symbol->setAlignment(Qt::AlignCenter);
    auto* title = new QLabel(tr("Drop files or a folder here"), this);
    Style::apply(title, Style::Text::headline);
    title->setAlignment(Qt::AlignCenter);
    auto* subtitle =
        new QLabel(tr("One clean context.md out — ordered, deduped, with a token count."), this);
    Style::apply(subtitle, Style::Text::caption, true);
    subtitle->setAlignment(Qt::AlignCenter);
    subtitle->setWordWrap(true);

    auto* stack = new QVBoxLayout(this);
    stack->setSpacing(6);
    stack->addStretch();
    stack->addWidget(symbol);
    stack->addWidget(title);
    stack->addWidget(subtitle);
    stack->addStretch();
}

void DropZone::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    // Stroked inside the shape: inset by half the line width.
    const QRectF shape = QRectF(rect()).adjusted(borderWidth / 2, borderWidth / 2, -borderWidth / 2,
                                                 -borderWidth / 2);
    QPainterPath outline;
    outline.addRoundedRect(shape, cornerRadius - borderWidth / 2, cornerRadius - borderWidth / 2);

    if (isTargeted_) {
        QColor fill = Style::accentColor(this);
        fill.setAlphaF(0.08);
        painter.fillPath(outline, fill);
    }
    QPen pen(isTargeted_ ? Style::accentColor(this) : [this] {
        QColor color = Style::secondaryColor(this);
        color.setAlphaF(color.alphaF() * 0.5);
        return color;
    }());
    pen.setWidthF(borderWidth);
    // Qt measures dashes in line widths.
    pen.setDashPattern({dashLength / borderWidth, dashLength / borderWidth});
    pen.setDashOffset(0);
    pen.setCapStyle(Qt::FlatCap);
    pen.setJoinStyle(Qt::MiterJoin);
    pen.setMiterLimit(10);
    painter.setPen(pen);
    painter.drawPath(outline);
}

void DropZone::dragEnterEvent(QDragEnterEvent* event) {
    if (!Drop::offersFiles(event->mimeData())) return;
    event->acceptProposedAction();
    setTargeted(true);
}

void DropZone::dragLeaveEvent(QDragLeaveEvent*) {
    setTargeted(false);
}

void DropZone::dropEvent(QDropEvent* event) {
    setTargeted(false);
    event->acceptProposedAction();
    model_.pack(Drop::localPaths(event->mimeData()->urls()));
}

void DropZone::setTargeted(bool targeted) {
    if (isTargeted_ == targeted) return;
    isTargeted_ = targeted;
    update();
}

}  // namespace tessaly

#include "result_card.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

#include "packer_model.h"
#include "prominent_button.h"
#include "style.h"
#include "tessaly/summary.h"

namespace tessaly {

namespace {

constexpr qreal cornerRadius = 12;

QLabel* valueLabel(QWidget* parent) {
    auto* label = new QLabel(parent);
    Style::apply(label, Style::Text::title3);
    return label;
}

}  // namespace

ResultCard::ResultCard(PackerModel& model, QWidget* parent)
    : QFrame(parent),
      source_(new QLabel(this)),
      files_(valueLabel(this)),
      tokens_(valueLabel(this)),
      size_(valueLabel(this)) {
    setAccessibleName(tr("Packed document"));
    Style::apply(source_, Style::Text::headline);
    source_->setAccessibleName(tr("Source"));
    source_->setTextFormat(Qt::PlainText);

    auto* figures = new QHBoxLayout;
    figures->setSpacing(22);
    figures->addWidget(tile(files_, QStringLiteral("files")), 0, Qt::AlignVCenter);
    figures->addWidget(tile(tokens_, QStringLiteral("tokens")), 0, Qt::AlignVCenter);
    figures->addWidget(tile(size_, QStringLiteral("size")), 0, Qt::AlignVCenter);
    figures->addStretch();

    warning_ = new QWidget(this);
    auto* warningRow = new QHBoxLayout(warning_);
    warningRow->setContentsMargins(0, 0, 0, 0);
    warningRow->setSpacing(4);
    auto* warningSymbol = new QLabel(warning_);
    const int symbolSize = QFontMetrics(Style::font(Style::Text::caption)).height();
    warningSymbol->setPixmap(
        Style::icon("dialog-warning", QStyle::SP_MessageBoxWarning).pixmap(symbolSize, symbolSize));
    warningLabel_ = new QLabel(QString::fromUtf8(Summary::sizeWarning), warning_);
    warningLabel_->setFont(Style::font(Style::Text::caption));
    QPalette orange = warningLabel_->palette();
    orange.setColor(QPalette::WindowText, Style::warningColor(this));
    warningLabel_->setPalette(orange);
    warningRow->addWidget(warningSymbol);
    warningRow->addWidget(warningLabel_, 1);
    warning_->setAccessibleName(warningLabel_->text());

    notes_ = new QLabel(this);
    Style::apply(notes_, Style::Text::caption, true);
    notes_->setAccessibleName(tr("Notes"));
    // The skipped files themselves, one line each, behind a disclosure the keyboard reaches.
    skippedButton_ = new QToolButton(this);
    skippedButton_->setText(tr("Skipped files"));
    skippedButton_->setAccessibleName(tr("Show the skipped files"));
    skippedButton_->setCheckable(true);
    skippedButton_->setAutoRaise(true);
    skippedButton_->setArrowType(Qt::RightArrow);
    skippedButton_->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    skippedButton_->setFont(Style::font(Style::Text::caption));
    skippedButton_->setFocusPolicy(Qt::StrongFocus);
    skippedList_ = new QLabel(this);
    Style::apply(skippedList_, Style::Text::caption, true);
    skippedList_->setTextFormat(Qt::PlainText);
    skippedList_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    skippedList_->setAccessibleName(tr("Skipped files"));
    skippedList_->hide();
    connect(skippedButton_, &QToolButton::toggled, this, [this](bool open) {
        skippedButton_->setArrowType(open ? Qt::DownArrow : Qt::RightArrow);
        skippedList_->setVisible(open);
    });
    auto* notesRow = new QHBoxLayout;
    notesRow->setSpacing(6);
    notesRow->addWidget(notes_);
    notesRow->addWidget(skippedButton_);
    notesRow->addStretch();

    copy_ = new ProminentButton(Style::icon("edit-copy", QStyle::SP_FileIcon),
                                tr("Copy context.md"), this);
    copy_->setAccessibleName(tr("Copy context.md"));
    save_ = new QPushButton(Style::icon("document-save", QStyle::SP_DialogSaveButton), tr("Save…"),
                            this);
    save_->setAccessibleName(tr("Save…"));
    copy_->setEnabled(false);  // until there is a document to give
    save_->setEnabled(false);
    connect(copy_, &QPushButton::clicked, &model, &PackerModel::copyToClipboard);
    connect(save_, &QPushButton::clicked, &model, &PackerModel::save);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(copy_);
    buttons->addWidget(save_);
    buttons->addStretch();

    auto* stack = new QVBoxLayout(this);
    stack->setContentsMargins(16, 16, 16, 16);
    stack->setSpacing(12);
    stack->addWidget(source_);
    stack->addLayout(figures);
    stack->addWidget(warning_);
    stack->addLayout(notesRow);
    stack->addWidget(skippedList_);
    stack->addLayout(buttons);
}

QWidget* ResultCard::tile(QLabel* value, const QString& caption) {
    auto* tile = new QWidget(this);
    auto* stack = new QVBoxLayout(tile);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(1);
    auto* captionLabel = new QLabel(caption, tile);
    Style::apply(captionLabel, Style::Text::caption, true);
    stack->addWidget(value);
    stack->addWidget(captionLabel);
    value->setAccessibleName(caption);
    tile->setAccessibleName(caption);
    return tile;
}

void ResultCard::setResult(const PackResult& result, const QString& source, bool canExport) {
    source_->setText(source);
    files_->setText(QString::number(result.fileCount));
    tokens_->setText(QString::fromStdString(Summary::tokensFigure(result.tokenEstimate)));
    size_->setText(QString::fromStdString(Summary::byteCountFigure(result.byteCount)));
    warning_->setVisible(result.overLimit());
    const QString notes = QString::fromStdString(Summary::notesLine(result));
    notes_->setText(notes);
    notes_->setVisible(!notes.isEmpty());
    QStringList skipped;
    for (const std::string& line : result.skipped)
        skipped << QString::fromStdString(line);
    skippedList_->setText(skipped.join(u'\n'));
    skippedButton_->setVisible(!skipped.isEmpty());
    if (skipped.isEmpty()) skippedButton_->setChecked(false);
    copy_->setEnabled(canExport);
    save_->setEnabled(canExport);
    QFrame::show();
}

QString ResultCard::filesText() const {
    return files_->text();
}
QString ResultCard::tokensText() const {
    return tokens_->text();
}
QString ResultCard::sizeText() const {
    return size_->text();
}
bool ResultCard::showsWarning() const {
    return !warning_->isHidden();
}
QString ResultCard::warningText() const {
    return warningLabel_->text();
}
QString ResultCard::sourceText() const {
    return source_->text();
}
QString ResultCard::notesText() const {
    return notes_->isHidden() ? QString() : notes_->text();
}

void ResultCard::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath shape;
    shape.addRoundedRect(QRectF(rect()), cornerRadius, cornerRadius);
    painter.fillPath(shape, Style::quaternaryFill(this));
}

}  // namespace tessaly

#include "content_view.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "drop_zone.h"
#include "packer_model.h"
#include "result_card.h"
#include "style.h"

namespace tessaly {

ContentView::ContentView(PackerModel& model, QWidget* parent)
    : QWidget(parent),
      model_(model),
      dropZone_(new DropZone(model, this)),
      choose_(new QPushButton(tr("Choose files or a folder…"), this)),
      busy_(new QProgressBar(this)),
      status_(new QLabel(this)),
      card_(new ResultCard(model, this)) {
    setMinimumSize(460, 420);
    choose_->setAccessibleName(choose_->text());
    connect(choose_, &QPushButton::clicked, &model, &PackerModel::choose);

    busy_->setRange(0, 0);
    busy_->setTextVisible(false);
    busy_->setFixedSize(160, 6);
    busy_->setAccessibleName(tr("Packing"));

    status_->setFont(Style::font(Style::Text::callout));
    status_->setAlignment(Qt::AlignCenter);
    status_->setAccessibleName(tr("Status"));

    auto* stack = new QVBoxLayout(this);
    stack->setContentsMargins(20, 20, 20, 20);
    stack->setSpacing(16);
    stack->addWidget(dropZone_);
    stack->addWidget(choose_, 0, Qt::AlignHCenter);
    stack->addWidget(busy_, 0, Qt::AlignHCenter);
    stack->addWidget(status_, 0, Qt::AlignHCenter);
    stack->addWidget(card_);
    stack->addStretch();

    connect(&model, &PackerModel::packingChanged, this, &ContentView::refresh);
    refresh();
}

void ContentView::refresh() {
    const bool packing = model_.isPacking();
    choose_->setEnabled(!packing);
    busy_->setVisible(packing);
    status_->setText(model_.status());
    status_->setVisible(!model_.status().isEmpty());
    Style::setSecondary(status_, packing);
    const auto& result = model_.result();
    if (result && result->fileCount > 0) {
        card_->setResult(*result, model_.sourceLabel(), model_.canExport());
    } else {
        card_->hide();
    }
}

}  // namespace tessaly

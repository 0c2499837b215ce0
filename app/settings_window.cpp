#include "settings_window.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QLabel>
#include <QShortcut>
#include <QUrlQuery>
#include <QVBoxLayout>

#include "build_info.h"
#include "packer_model.h"
#include "style.h"

namespace tessaly {

namespace VendorLinks {

namespace {

QUrl https(const char* host, const QString& path) {
    QUrl url;
    url.setScheme(QStringLiteral("https"));
    url.setHost(QString::fromUtf8(host));
    url.setPath(path);
    return url;
}

}  // namespace

QUrl home() {
    return https(BuildInfo::vendorHost, QStringLiteral("/"));
}

QUrl feedback() {
    QUrl url = https(BuildInfo::feedbackHost, QStringLiteral("/"));
    url.setQuery(QStringLiteral("app=tessaly"));
    return url;
}

QUrl website() {
    return https(BuildInfo::productHost, QStringLiteral("/tessaly"));
}

}  // namespace VendorLinks

namespace {

constexpr int formWidth = 460;

// A link that opens in the user's browser.
QLabel* link(const QString& text, const QUrl& url, QWidget* parent) {
    auto* label =
        new QLabel(QStringLiteral("<a href=\"%1\">%2</a>")
                       .arg(url.toString(QUrl::FullyEncoded).toHtmlEscaped(), text.toHtmlEscaped()),
                   parent);
    label->setTextFormat(Qt::RichText);
    label->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
    label->setOpenExternalLinks(true);
    label->setAccessibleName(text);
    label->setToolTip(url.toString());
    return label;
}

}  // namespace

SettingsWindow::SettingsWindow(PackerModel& model, QWidget* parent)
    : QWidget(parent, Qt::Window), model_(model) {
    setWindowTitle(tr("Settings"));
    setAccessibleName(tr("Settings"));

    name_ = new QLabel(QStringLiteral("Orvane Markdown Tessaly ") + model.version());
    name_->setAccessibleName(name_->text());
    QLabel* credit = link(QString::fromUtf8(BuildInfo::vendorCredit), VendorLinks::home(), this);
    credit->setFont(Style::font(Style::Text::caption));

    auto* identity = new QVBoxLayout;
    identity->setSpacing(2);
    identity->addWidget(name_);
    identity->addWidget(credit);

    auto* row = new QHBoxLayout;
    row->addLayout(identity);
    row->addStretch();
    row->addWidget(link(tr("Send feedback"), VendorLinks::feedback(), this), 0, Qt::AlignVCenter);
    row->addWidget(link(tr("Website"), VendorLinks::website(), this), 0, Qt::AlignVCenter);

    auto* about = new QGroupBox(tr("About"), this);
    about->setAccessibleName(tr("About"));
    about->setLayout(row);

    auto* form = new QVBoxLayout(this);
    gitignore_ = new QCheckBox(tr("Leave out files that .gitignore ignores"), this);
    connect(gitignore_, &QCheckBox::toggled, &model, &PackerModel::setLeavesOutIgnoredFiles);
    auto* packing = new QGroupBox(tr("Packing"), this);
    packing->setLayout(new QVBoxLayout);
    packing->layout()->addWidget(gitignore_);
    form->addWidget(packing);
    if (PackerModel::canUpdateItself()) {
        checkAtLaunch_ = new QCheckBox(tr("Check for updates at launch"), this);
        connect(checkAtLaunch_, &QCheckBox::toggled, &model,
                &PackerModel::setChecksForUpdatesAtLaunch);
        auto* updates = new QGroupBox(tr("Updates"), this);
        updates->setLayout(new QVBoxLayout);
        updates->layout()->addWidget(checkAtLaunch_);
        form->addWidget(updates);
    }
    form->addWidget(about);
    connect(&model, &PackerModel::settingsChanged, this, &SettingsWindow::refresh);
    refresh();
    for (const QKeySequence& keys : {QKeySequence(Qt::Key_Escape), QKeySequence(tr("Ctrl+W"))})
        connect(new QShortcut(keys, this), &QShortcut::activated, this, &QWidget::close);

    // As wide as the form and exactly as tall as its one section needs.
    setFixedWidth(formWidth);
    setFixedHeight(form->heightForWidth(formWidth) > 0 ? form->heightForWidth(formWidth)
                                                       : sizeHint().height());
}

void SettingsWindow::refresh() {
    gitignore_->setChecked(model_.leavesOutIgnoredFiles());
    if (checkAtLaunch_) checkAtLaunch_->setChecked(model_.checksForUpdatesAtLaunch());
}

}  // namespace tessaly

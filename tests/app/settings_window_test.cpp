#include <gtest/gtest.h>

#include <QGroupBox>
#include <QLabel>
#include <QLayout>

#include "fake_platform.h"
#include "packer_model.h"
#include "settings_window.h"

using namespace tessaly;

namespace {

class SettingsWindowTest : public testing::Test {
  protected:
    PlatformScript script;
};

QLabel* linkLabelled(const SettingsWindow& window, const QString& text) {
    for (QLabel* label : window.findChildren<QLabel*>()) {
        if (label->accessibleName() == text) return label;
    }
    return nullptr;
}

TEST_F(SettingsWindowTest, NamesTheProductWithTheModelsVersion) {
    PackerModel fallback(fakePlatform(script), PackerModel::versionText(""));
    EXPECT_EQ(SettingsWindow(fallback).nameLine()->text(), "Orvane Markdown Tessaly 1.0");
    PackerModel released(fakePlatform(script), QStringLiteral("1.4"));
    EXPECT_EQ(SettingsWindow(released).nameLine()->text(), "Orvane Markdown Tessaly 1.4");
}

TEST_F(SettingsWindowTest, IsFormWideAndTallEnoughForEverySectionWithAboutLast) {
    PackerModel model(fakePlatform(script), QStringLiteral("1.0"));
    SettingsWindow window(model);
    window.show();
    EXPECT_EQ(window.width(), 460);
    const auto groups = window.findChildren<QGroupBox*>();
    ASSERT_FALSE(groups.isEmpty());
    const auto lowest = std::max_element(groups.begin(), groups.end(), [](auto* a, auto* b) {
        return a->geometry().top() < b->geometry().top();
    });
    EXPECT_EQ((*lowest)->title(), "About");
    for (const QGroupBox* group : groups) {
        EXPECT_GE(group->height(), group->sizeHint().height()) << group->title().toStdString();
        EXPECT_LE(group->geometry().bottom(), window.height()) << group->title().toStdString();
    }
}

TEST_F(SettingsWindowTest, FeedbackThenWebsiteSitAtTheTrailingEdgeHoweverLongTheName) {
    PackerModel model(fakePlatform(script), QStringLiteral("1.0.0-a-very-long-prerelease-name"));
    SettingsWindow window(model);
    window.show();
    QLabel* feedback = linkLabelled(window, "Send feedback");
    QLabel* website = linkLabelled(window, "Website");
    ASSERT_NE(feedback, nullptr);
    ASSERT_NE(website, nullptr);
    EXPECT_LT(feedback->geometry().right(), website->geometry().left());
    auto* about = window.findChild<QGroupBox*>();
    const int trailing = about->contentsRect().right() - about->layout()->contentsMargins().right();
    EXPECT_NEAR(website->geometry().right(), trailing, 2);
    EXPECT_TRUE(feedback->openExternalLinks());
}

TEST(VendorLinksTest, KeepTheFixedPathsAndQueryOnTheConfiguredHosts) {
    EXPECT_EQ(VendorLinks::feedback().scheme(), "https");
    EXPECT_EQ(VendorLinks::feedback().path(), "/");
    EXPECT_EQ(VendorLinks::feedback().query(), "app=tessaly");
    EXPECT_EQ(VendorLinks::website().path(), "/tessaly");
    EXPECT_EQ(VendorLinks::home().scheme(), "https");
    EXPECT_FALSE(VendorLinks::home().host().isEmpty());
}

}  // namespace

// The app's tests need one QApplication; without a display they draw off screen.
#include <cstdlib>

#include <gtest/gtest.h>
#include <unicode/locid.h>

#include <QApplication>

#include "https_server.h"
#include "style.h"

using namespace tessaly;

int main(int argc, char** argv) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    TestSupport::ignoreProxies();
    UErrorCode status = U_ZERO_ERROR;
    icu::Locale::setDefault(icu::Locale("en_US"), status);  // figures grouped as in English
    QApplication application(argc, argv);
    Style::chooseIconTheme();
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

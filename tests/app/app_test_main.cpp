// The app's tests share one QApplication, drawn off screen.
#include <cstdlib>

#include <gtest/gtest.h>

#include <QApplication>

#include "style.h"

int main(int argc, char** argv) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication application(argc, argv);
    tessaly::Style::chooseIconTheme();
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

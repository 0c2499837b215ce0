#include <QApplication>

#include "launch.h"
#include "tessaly_app.h"

int main(int argc, char** argv) {
    using namespace tessaly;
    std::error_code noCwd;  // a deleted working folder leaves relative paths unresolved
    const auto cwd = std::filesystem::current_path(noCwd);
    if (auto answered = answerWithoutWindow(Launch::parse({argv + 1, argv + argc}, cwd)))
        return *answered;
    QApplication application(argc, argv);  // takes Qt's own options out of argv
    return runTessaly(application, Launch::parse({argv + 1, argv + argc}, cwd));
}

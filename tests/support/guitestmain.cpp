#include <QApplication>
#include <QFont>
#include <gtest/gtest.h>

// Window tests run inside one application object, on the offscreen platform unless the
// caller chose another. Whatever the desktop around them, they see the same screen (96 dots
// per inch, no scaling), style, palette and font, so that windows look the same on every
// machine with the project's packages (scripts/install-deps.sh installs Liberation Sans).
int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    for (const char* setting : {"QT_QPA_PLATFORMTHEME", "QT_STYLE_OVERRIDE", "QT_SCALE_FACTOR",
                                "QT_SCREEN_SCALE_FACTORS", "QT_FONT_DPI"}) {
        qunsetenv(setting);
    }
    QApplication app(argc, argv);
    QApplication::setStyle(QStringLiteral("Fusion"));
    QApplication::setFont(QFont(QStringLiteral("Liberation Sans"), 9));
    // A text cursor that does not blink is in every picture of a box with the focus.
    QApplication::setCursorFlashTime(0);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

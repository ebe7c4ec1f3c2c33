#include "app/application.h"

#include <QApplication>
#include <QDir>

int main(int argc, char** argv) {
    QApplication qtApplication(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Fenlowick"));
    QApplication::setApplicationVersion(QStringLiteral(FENLOWICK_VERSION));
    fenlowick::Application program(QDir::currentPath());
    program.start();
    return QApplication::exec();
}

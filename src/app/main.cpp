#include "app/application.h"
#include "core/base/programversion.h"

#include <QApplication>
#include <QDir>

int main(int argc, char** argv) {
    QApplication qtApplication(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Fenlowick"));
    QApplication::setApplicationVersion(QString::fromUtf8(fenlowick::programVersion()));
    fenlowick::Application program(QDir::currentPath());
    program.start();
    return QApplication::exec();
}

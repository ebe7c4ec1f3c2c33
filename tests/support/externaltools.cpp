#include "support/externaltools.h"

#include <QProcess>
#include <QStringList>

#include <cstdlib>

namespace fenlowick::test {

std::string runTool(const std::string& program, const std::vector<std::string>& arguments) {
    QStringList args;
    for (const std::string& argument : arguments) {
        args << QString::fromStdString(argument);
    }
    QProcess process;
    process.start(QString::fromStdString(program), args);
    if (!process.waitForFinished(60000) || process.exitCode() != 0) {
        return {};
    }
    return process.readAllStandardOutput().toStdString();
}

int pdfPageCount(const std::string& pdf) {
    const std::string info = runTool("pdfinfo", {pdf});
    const std::size_t at = info.find("Pages:");
    return at == std::string::npos ? -1 : std::atoi(info.c_str() + at + 6);
}

} // namespace fenlowick::test

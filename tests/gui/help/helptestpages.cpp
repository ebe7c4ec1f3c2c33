#include "helptestpages.h"

#include <QFile>

namespace fenlowick::test {

namespace {

void writePage(const QString& path, const QString& title, const QString& body) {
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        file.write(QStringLiteral("<html><head><meta charset=\"utf-8\"><title>%1</title></head>"
                                  "<body><h1>%1</h1>%2</body></html>")
                       .arg(title, body)
                       .toUtf8());
    }
}

} // namespace

HelpTestPages::HelpTestPages() {
    writePage(m_start.filePath(QStringLiteral("help.htm")), QStringLiteral("Index page"),
              QStringLiteral("<p>Choose the tolerance with care.</p>"
                             "<p><a href=\"three.htm\">Third</a></p>"
                             "<h2 id=\"later\">Later</h2><p>More.</p>"));
    writePage(m_start.filePath(QStringLiteral("one.htm")), QStringLiteral("First page"),
              QStringLiteral("<p>One.</p>"));
    writePage(m_start.filePath(QStringLiteral("two.htm")), QStringLiteral("Second page"),
              QStringLiteral("<p>Two.</p>"));
    writePage(m_beside.filePath(QStringLiteral("three.htm")), QStringLiteral("Third page"),
              QStringLiteral("<p>Three.</p>"));
    writePage(m_beside.filePath(QStringLiteral("help.htm")), QStringLiteral("Installed index"),
              QStringLiteral("<p>Installed.</p>"));
}

} // namespace fenlowick::test

#pragma once

#include "support/guitestsupport.h"

#include <QString>
#include <QTemporaryDir>

namespace fenlowick::test {

/// Two folders of small help pages, as StartFolder and the folder beside the program:
/// StartFolder holds help.htm ("Index page", with the word "tolerance", a link to
/// three.htm and a section "later"), one.htm ("First page") and two.htm ("Second page"); the second
/// folder holds three.htm ("Third page") and its own help.htm ("Installed index"), which
/// StartFolder's copy hides.
class HelpTestPages {
public:
    HelpTestPages();

    QString startFolder() const { return m_start.path(); }
    QString besideProgram() const { return m_beside.path(); }

    /// The path of a page in StartFolder.
    QString inStartFolder(const QString& name) const { return m_start.filePath(name); }

private:
    QTemporaryDir m_start;
    QTemporaryDir m_beside;
};

} // namespace fenlowick::test

#pragma once

#include <QString>

namespace fenlowick::resultmessages {

/// The messages of the statistics viewer, the graph window and their file dialogs, word for
/// word as users know them.

inline QString selectFile() {
    return QStringLiteral("Please select a file, or type in it's name");
}

inline QString viewerAccessError() {
    return QStringLiteral(
        "ERROR: Accessing the file name you entered. Make sure that you typed it in correctly!");
}

inline QString viewerPrintFailed() {
    return QStringLiteral(
        "You chose to cancel the printout, or there was a problem printing to your printer.");
}

inline QString graphWrongType() {
    return QStringLiteral(
        "ERROR# 2: This is not the correct type of file, or it has been modified.");
}

inline QString graphAccessError() {
    return QStringLiteral("ERROR #3: Accessing the file name you entered. Make sure that you typed "
                          "it in correctly and that it is the right type !!!");
}

inline QString graphPrintFailed() {
    return QStringLiteral("There was an error during the printout!  Check your printer and cable "
                          "before trying again.");
}

/// The help topics, files in the start-up folder.
inline QString viewingTopic() {
    return QStringLiteral("viewing.htm");
}

inline QString graphingTopic() {
    return QStringLiteral("graphing.htm");
}

} // namespace fenlowick::resultmessages

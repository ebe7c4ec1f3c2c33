#include "gui/results/frmopengraphfile.h"

#include "gui/results/resultmessages.h"

namespace fenlowick {

frmOpenGraphFile::frmOpenGraphFile(QWidget* parent)
    : ResultFileDialog(QStringLiteral("Fenlowick - Open file for Graphing"),
                       resultmessages::graphingTopic(), {QStringLiteral("*.tot")}, parent) {
    setObjectName(QStringLiteral("frmOpenGraphFile"));
}

} // namespace fenlowick

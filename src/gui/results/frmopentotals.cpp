#include "gui/results/frmopentotals.h"

#include "gui/results/resultmessages.h"

namespace fenlowick {

frmOpenTotals::frmOpenTotals(QWidget* parent)
    : ResultFileDialog(QStringLiteral("Fenlowick - Open Totals for viewing"),
                       resultmessages::viewingTopic(), {}, parent) {
    setObjectName(QStringLiteral("frmOpenTotals"));
}

} // namespace fenlowick

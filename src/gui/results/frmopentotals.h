#pragma once

#include "gui/results/resultfiledialog.h"

namespace fenlowick {

/// "Fenlowick - Open Totals for viewing": the statistics viewer's file dialog. Its file
/// list shows every file of the folder; Help asks for "viewing.htm".
class frmOpenTotals : public ResultFileDialog {
    Q_OBJECT

public:
    explicit frmOpenTotals(QWidget* parent = nullptr);
};

} // namespace fenlowick

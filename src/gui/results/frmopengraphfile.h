#pragma once

#include "gui/results/resultfiledialog.h"

namespace fenlowick {

/// "Fenlowick - Open file for Graphing": the graph window's file dialog. Its file list
/// shows only "*.tot" files; Help asks for "graphing.htm".
class frmOpenGraphFile : public ResultFileDialog {
    Q_OBJECT

public:
    explicit frmOpenGraphFile(QWidget* parent = nullptr);
};

} // namespace fenlowick

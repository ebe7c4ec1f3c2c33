#include "gui/widgets/printmargins.h"

#include <QPageLayout>
#include <QPrinter>

#include <algorithm>

namespace fenlowick {

void keepPrintableMargins(QPrinter& printer) {
    constexpr double kLeast = 12.7; // half an inch
    QPageLayout layout = printer.pageLayout();
    layout.setUnits(QPageLayout::Millimeter);
    const QMarginsF minimum = layout.minimumMargins();
    printer.setPageMargins(
        QMarginsF(std::max(kLeast, minimum.left()), std::max(kLeast, minimum.top()),
                  std::max(kLeast, minimum.right()), std::max(kLeast, minimum.bottom())),
        QPageLayout::Millimeter);
}

} // namespace fenlowick

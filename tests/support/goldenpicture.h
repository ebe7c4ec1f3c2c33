#pragma once

#include <QList>
#include <QString>

class QWidget;

namespace fenlowick::test {

/// Compares what `window` shows (QWidget::grab) with the picture
/// tests/data/gui/golden/<name>.png and adds a test failure when they differ, naming the
/// actual picture and a difference picture it writes into the build folder. A missing golden
/// picture is a failure too. The rectangles of the widgets in `hidden` are filled with one
/// colour before the comparison: they show this machine's folders, which no picture can
/// hold. With FENLOWICK_UPDATE_GOLDEN=1 in the environment the golden picture is rewritten
/// instead (see tests/data/gui/golden/README).
void expectLooksAsGolden(QWidget* window, const QString& name,
                         const QList<const QWidget*>& hidden = {});

} // namespace fenlowick::test

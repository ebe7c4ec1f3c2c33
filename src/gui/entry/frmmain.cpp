#include "gui/entry/frmmain.h"

#include "gui/widgets/notifier.h"
#include "gui/widgets/printmargins.h"
#include "gui/widgets/programfolders.h"
#include "gui/widgets/twips.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFocusEvent>
#include <QFrame>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <QScreen>
#include <algorithm>
#include <cmath>

namespace fenlowick {

namespace {

// The window's layout, in twips.
constexpr int kClientWidth = 9510;
constexpr int kClientHeight = 6045;
constexpr int kColumnLeft = 2880;
constexpr int kColumnStep = 1320;
constexpr int kColumnWidth = 1300;
constexpr int kBoxHeight = 420;
constexpr int kFirstRowTop = 2280;
constexpr int kRowStep = 360;

const QColor kWindowBackground(224, 224, 224);
const QColor kDarkBlue(0, 0, 192);
const QColor kLightCyan(128, 255, 255);
const QColor kDarkGreen(0, 128, 0);
const QColor kFocusBackground(128, 0, 0);

const char* const kLetters = "SOURCES";

QString viewNote() {
    return QStringLiteral(
        "NOTE - Each of the individual solutions represents a combination of source proportions "
        "which satisfies isotopic mass balance in the mixing model.  Descriptive statistics are "
        "provided simply as a way to characterize this entire distribution of feasible "
        "solutions.  To avoid misrepresenting the results, users of this procedure should report "
        "the distribution of feasible solutions rather than focusing on a single value such as "
        "the mean.");
}

QString printoutError() {
    return QStringLiteral(
        "There was an error during the printout!  Check your printer and cable before trying "
        "again.");
}

QString aboutText() {
    QString text =
        QStringLiteral("Fenlowick %1\n\n"
                       "A stable-isotope mixing model: it finds every combination of source "
                       "proportions, in steps of the increment, whose mixture lies within the "
                       "tolerance of the observed mixture for every isotope system.")
            .arg(QCoreApplication::applicationVersion());
    // An installed program tells where its example entries are, which its help names.
    const QString examples = ProgramFolders::ofProgram().examples;
    if (!examples.isEmpty()) {
        text += QStringLiteral("\n\nExample entries: %1").arg(QDir::toNativeSeparators(examples));
    }
    return text;
}

QFont arialBold(double points) {
    QFont font(QStringLiteral("Arial"));
    font.setPointSizeF(points);
    font.setBold(true);
    return font;
}

void setColours(QWidget* widget, const QColor& background, const QColor& text) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Base, background);
    palette.setColor(QPalette::Window, background);
    palette.setColor(QPalette::Text, text);
    palette.setColor(QPalette::WindowText, text);
    widget->setPalette(palette);
}

void setBackground(QLineEdit* box, const QColor& background) {
    QPalette palette = box->palette();
    palette.setColor(QPalette::Base, background);
    box->setPalette(palette);
}

void setTextColour(QLineEdit* box, const QColor& text) {
    QPalette palette = box->palette();
    palette.setColor(QPalette::Text, text);
    box->setPalette(palette);
}

QLabel* makeLabel(QWidget* client, const char* objectName, const char* text, int left, int top,
                  int width, int height, double points) {
    auto* label = new QLabel(QString::fromLatin1(text), client);
    label->setObjectName(QString::fromLatin1(objectName));
    label->setFont(arialBold(points));
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    placeInTwips(label, left, top, width, height);
    return label;
}

} // namespace

frmMain::frmMain(const QString& startFolder, QWidget* parent)
    : QMainWindow(parent), m_startFolder(QDir::cleanPath(QDir(startFolder).absolutePath())) {
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(applicationTitle());

    // The result and data folders are created here so that the file dialogs always open on
    // an existing folder; when that is impossible they open wherever the folder list can.
    QDir(m_startFolder).mkpath(QStringLiteral("data"));
    QDir(m_startFolder).mkpath(QStringLiteral("output"));

    m_focusBackground = kFocusBackground;
    m_focusText = Qt::white;
    m_normalText = QApplication::palette().color(QPalette::Text);

    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QSize size = screen->geometry().size();
        m_startupSizes = fenlowick::startupSizes(pixelsToTwips(size.width(), this),
                                                 pixelsToTwips(size.height(), this));
    }

    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("client"));
    client->setAutoFillBackground(true);
    setColours(client, kWindowBackground, QApplication::palette().color(QPalette::WindowText));
    client->setFont(arialBold(12));
    client->setFixedSize(twipsToPixels(kClientWidth, this), twipsToPixels(kClientHeight, this));
    setCentralWidget(client);

    createLabels(client);
    createBoxes(client);
    createMenu();

    m_printerPrompt = [this](QPrinter& printer) {
        QPrintDialog dialog(&printer, this);
        dialog.setObjectName(QStringLiteral("CommonDialog1"));
        return dialog.exec() == QDialog::Accepted;
    };

    adjustSize();
    // The boxes keep their places: an enlarged window would only leave an empty margin.
    setFixedSize(size());
    centreOnScreen(this);
    m_Title->setFocus(Qt::OtherFocusReason);
}

frmMain::~frmMain() = default;

void frmMain::createLabels(QWidget* client) {
    makeLabel(client, "TitleLabel", "Title:", 120, 120, 735, 375, 12);
    makeLabel(client, "IncrementLabel", "Increment:", 120, 720, 1335, 255, 12);
    makeLabel(client, "PercentLabel", "%", 2400, 720, 375, 375, 14.25);
    makeLabel(client, "ToleranceLabel", "Tolerance:", 120, 1320, 1335, 375, 12);
    QLabel* isotopes = makeLabel(client, "IsotopesLabel", "ISOTOPES", 2880, 720, 6585, 615, 21.75);
    isotopes->setAlignment(Qt::AlignCenter);
    isotopes->setAutoFillBackground(true);
    setColours(isotopes, kDarkBlue, Qt::white);
    makeLabel(client, "MixturesLabel", "Mixtures", 840, 1800, 1935, 495, 18);

    // The green panel with the letters S O U R C E S. The letters hand the focus on as soon
    // as they are clicked, so they never take it themselves.
    m_Frame2 = new QFrame(client);
    m_Frame2->setObjectName(QStringLiteral("Frame2"));
    m_Frame2->setFrameShape(QFrame::NoFrame);
    m_Frame2->setAutoFillBackground(true);
    setColours(m_Frame2, kDarkGreen, Qt::white);
    placeInTwips(m_Frame2, 0, 2280, 855, 3635);
    for (int j = 0; j < kLetterBoxCount; ++j) {
        auto* letter = new QLineEdit(QString(QLatin1Char(kLetters[j])), m_Frame2);
        letter->setObjectName(QStringLiteral("Text1_%1").arg(j));
        letter->setReadOnly(true);
        letter->setFrame(false);
        letter->setFocusPolicy(Qt::NoFocus);
        letter->setAlignment(Qt::AlignCenter);
        letter->setFont(arialBold(21.75));
        letter->setCursor(Qt::ArrowCursor);
        setColours(letter, kDarkGreen, Qt::white);
        placeInTwips(letter, 0, 120 + 480 * j, 855, 510);
        letter->installEventFilter(this);
        m_Text1[j] = letter;
    }
}

QLineEdit* frmMain::makeBox(QWidget* client, int tab, int left, int top, int width, int height) {
    auto* box = new QLineEdit(client);
    box->setObjectName(QString::fromStdString(boxObjectName(tab)));
    placeInTwips(box, left, top, width, height);
    // Clicks are routed through the event filter so that the box being left is checked
    // before the focus moves; the box itself takes the focus only by the Tab key.
    box->setFocusPolicy(Qt::TabFocus);
    box->installEventFilter(this);
    m_byTab[tab] = box;
    return box;
}

void frmMain::createBoxes(QWidget* client) {
    const QColor windowText = m_normalText;

    m_Title = makeBox(client, 0, 1560, 120, 7885, 405);
    m_Title->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    setColours(m_Title, kWindowBackground, windowText);
    m_Title->setText(QStringLiteral(" "));

    m_Increment = makeBox(client, 1, 1560, 720, 735, 405);
    m_Increment->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    setColours(m_Increment, kWindowBackground, windowText);

    m_Threshold = makeBox(client, 2, 1560, 1320, 1095, 375);
    m_Threshold->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    setColours(m_Threshold, kWindowBackground, windowText);

    for (int k = 0; k < kIsotopeColumns; ++k) {
        const int left = kColumnLeft + kColumnStep * k;
        QLineEdit* isotope = makeBox(client, 3 + k, left, 1320, kColumnWidth, kBoxHeight);
        isotope->setAlignment(Qt::AlignCenter);
        isotope->setToolTip(QStringLiteral("Label for Isotope system"));
        setColours(isotope, kDarkBlue, Qt::white);
        m_Isotope[k] = isotope;
    }
    for (int k = 0; k < kIsotopeColumns; ++k) {
        const int left = kColumnLeft + kColumnStep * k;
        QLineEdit* mixture = makeBox(client, 8 + k, left, 1800, kColumnWidth, kBoxHeight);
        mixture->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        mixture->setMaxLength(8);
        setColours(mixture, kLightCyan, Qt::black);
        m_Mixture[k] = mixture;
    }
    for (int i = 0; i < kSourceRows; ++i) {
        QLineEdit* source =
            makeBox(client, 13 + i, 840, kFirstRowTop + kRowStep * i, 2000, kBoxHeight);
        source->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        source->setToolTip(QStringLiteral("Label for sources"));
        setColours(source, kDarkGreen, Qt::white);
        m_Sources[i] = source;
    }
    for (int k = 0; k < kIsotopeColumns; ++k) {
        for (int i = 0; i < kSourceRows; ++i) {
            QLineEdit* signature =
                makeBox(client, 23 + kSourceRows * k + i, kColumnLeft + kColumnStep * k,
                        kFirstRowTop + kRowStep * i, kColumnWidth, kBoxHeight);
            signature->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
            signature->setMaxLength(8);
            setColours(signature, Qt::white, Qt::black);
            m_Col[k][i] = signature;
        }
    }
    for (int tab = 1; tab < kEntryBoxCount; ++tab) {
        setTabOrder(m_byTab[tab - 1], m_byTab[tab]);
    }
    // The source labels overlap the green panel's right edge by one pixel; they stay on top.
    for (QLineEdit* source : m_Sources) {
        source->raise();
    }
}

void frmMain::createMenu() {
    struct Command {
        const char* name;
        const char* text;
        void (frmMain::*handler)();
    };
    static constexpr Command kCommands[] = {
        {"FileOpen", "&File", &frmMain::FileOpen_Click},
        {"Calculate", "&Calc", &frmMain::Calculate_Click},
        {"PrintData", "&Print", &frmMain::PrintData_Click},
        {"ClearForm", "C&lear", &frmMain::ClearForm_Click},
        {"ViewOutput", "&View", &frmMain::ViewOutput_Click},
        {"GraphData", "&Graph", &frmMain::GraphData_Click},
        {"IsospaceData", "&Isospace", &frmMain::IsospaceData_Click},
        {"StudyData", "&Study", &frmMain::StudyData_Click},
        {"ExitProgram", "&Exit", &frmMain::ExitProgram_Click},
        {"About", "&About", &frmMain::About_Click},
        {"help", "&Help", &frmMain::help_Click},
    };
    QMenuBar* bar = menuBar();
    bar->setObjectName(QStringLiteral("menuBar"));
    for (const Command& command : kCommands) {
        QAction* action = bar->addAction(QString::fromLatin1(command.text));
        action->setObjectName(QString::fromLatin1(command.name));
        connect(action, &QAction::triggered, this, command.handler);
    }
}

QString frmMain::dataFolder() const {
    return m_startFolder + QStringLiteral("/data");
}

QString frmMain::outputFolder() const {
    return m_startFolder + QStringLiteral("/output");
}

Entry frmMain::entry() const {
    Entry entry;
    for (int tab = 0; tab < kEntryBoxCount; ++tab) {
        entryField(entry, fieldIndexOfTab(tab)) = m_byTab[tab]->text().toStdString();
    }
    return entry;
}

void frmMain::setEntry(const Entry& entry) {
    for (int tab = 0; tab < kEntryBoxCount; ++tab) {
        QLineEdit* box = m_byTab[tab];
        box->setText(QString::fromStdString(entryField(entry, fieldIndexOfTab(tab))));
        // A label longer than its box shows its beginning, also in the right-aligned boxes.
        box->setCursorPosition(0);
    }
    emit entryReplaced();
}

QLineEdit* frmMain::entryBox(int tab) const {
    return m_byTab.at(tab);
}

QLineEdit* frmMain::letterBox(int letter) const {
    return m_Text1.at(letter);
}

QAction* frmMain::menuCommand(const QString& name) const {
    for (QAction* action : menuBar()->actions()) {
        if (action->objectName() == name) {
            return action;
        }
    }
    return nullptr;
}

void frmMain::setPrinterPrompt(std::function<bool(QPrinter&)> prompt) {
    m_printerPrompt = std::move(prompt);
}

std::optional<int> frmMain::tabOf(const QObject* object) const {
    for (int tab = 0; tab < kEntryBoxCount; ++tab) {
        if (m_byTab[tab] == object) {
            return tab;
        }
    }
    return std::nullopt;
}

std::optional<int> frmMain::letterOf(const QObject* object) const {
    for (int letter = 0; letter < kLetterBoxCount; ++letter) {
        if (m_Text1[letter] == object) {
            return letter;
        }
    }
    return std::nullopt;
}

std::optional<int> frmMain::focusedTab() const {
    return tabOf(focusWidget());
}

bool frmMain::leaveCheckPasses() {
    const std::optional<int> tab = focusedTab();
    if (!tab) {
        return true;
    }
    QLineEdit* box = m_byTab[*tab];
    const std::optional<std::string> message =
        leaveCheckMessage(boxKindOfTab(*tab), box->text().toStdString());
    if (!message) {
        return true;
    }
    notifier().beep();
    notifier().inform(this, QString::fromStdString(*message));
    box->clear();
    return false;
}

void frmMain::moveFocusTo(int tab, Qt::FocusReason reason) {
    if (focusedTab() == tab) {
        return;
    }
    if (leaveCheckPasses()) {
        m_byTab[tab]->setFocus(reason);
    }
}

bool frmMain::keepsColours(Qt::FocusReason reason) {
    // The box keeps the focus within this window while another window, a menu or a
    // message box is active.
    return reason == Qt::ActiveWindowFocusReason || reason == Qt::PopupFocusReason ||
           reason == Qt::MenuBarFocusReason;
}

void frmMain::takeFocusColours(QLineEdit* box) {
    if (box == m_coloured) {
        return;
    }
    if (m_coloured != nullptr) {
        giveBackColours(m_coloured);
    }
    m_savedBackground = box->palette().color(QPalette::Base);
    setBackground(box, m_focusBackground);
    if (focusColoursText(boxKindOfTab(*tabOf(box)))) {
        setTextColour(box, m_focusText);
    }
    m_coloured = box;
    box->update();
}

void frmMain::giveBackColours(QLineEdit* box) {
    if (box != m_coloured) {
        return;
    }
    setBackground(box, m_savedBackground);
    if (focusColoursText(boxKindOfTab(*tabOf(box)))) {
        setTextColour(box, m_normalText);
    }
    m_coloured = nullptr;
    box->update();
}

bool frmMain::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::FocusIn:
    case QEvent::FocusOut:
    case QEvent::KeyPress:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
        break;
    default:
        return QMainWindow::eventFilter(watched, event);
    }
    if (const std::optional<int> tab = tabOf(watched)) {
        QLineEdit* box = m_byTab[*tab];
        switch (event->type()) {
        case QEvent::FocusIn:
            takeFocusColours(box);
            break;
        case QEvent::FocusOut:
            if (!keepsColours(static_cast<QFocusEvent*>(event)->reason())) {
                giveBackColours(box);
            }
            break;
        case QEvent::KeyPress: {
            const auto* keyEvent = static_cast<QKeyEvent*>(event);
            // An Alt chord is a command or nothing: one that is no access key must not type
            // its letter into the box (-14.2 then Alt+S gave -14.2s).
            if (keyEvent->modifiers().testFlag(Qt::AltModifier) && !keyEvent->text().isEmpty()) {
                return true;
            }
            const int key = keyEvent->key();
            if (key != Qt::Key_Return && key != Qt::Key_Enter) {
                break;
            }
            // Enter never reaches the box: it checks the box and moves on by tab index.
            if (const std::optional<int> next = enterTarget(*tab)) {
                moveFocusTo(*next, Qt::TabFocusReason);
            } else {
                leaveCheckPasses();
            }
            return true;
        }
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick:
            if (box != focusWidget()) {
                moveFocusTo(*tab, Qt::MouseFocusReason);
                // A refused leave check keeps the click from reaching the other box.
                return box != focusWidget();
            }
            break;
        default:
            break;
        }
        return QMainWindow::eventFilter(watched, event);
    }
    if (const std::optional<int> letter = letterOf(watched)) {
        if (event->type() == QEvent::MouseButtonPress ||
            event->type() == QEvent::MouseButtonDblClick) {
            moveFocusTo(letterTarget(*letter), Qt::MouseFocusReason);
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

bool frmMain::focusNextPrevChild(bool next) {
    const std::optional<int> tab = focusedTab();
    if (!tab) {
        return QMainWindow::focusNextPrevChild(next);
    }
    // Tab runs through the 73 boxes by tab index and wraps around; the letter boxes and
    // labels are not tab stops.
    const int target = next ? (*tab + 1) % kEntryBoxCount : (*tab + kLastTabIndex) % kEntryBoxCount;
    moveFocusTo(target, next ? Qt::TabFocusReason : Qt::BacktabFocusReason);
    return true;
}

void frmMain::closeEvent(QCloseEvent* event) {
    emit closing();
    QMainWindow::closeEvent(event);
}

void frmMain::FileOpen_Click() {
    emit fileOpenRequested();
}

void frmMain::Calculate_Click() {
    emit calculateRequested();
}

bool frmMain::printWindowImage(QPrinter& printer, int copies) {
    QWidget* client = centralWidget();
    const QPixmap image = client->grab();
    QPainter painter;
    if (!painter.begin(&printer)) {
        return false;
    }
    // The image keeps the size it has on the screen.
    const double scale = static_cast<double>(printer.resolution()) / client->logicalDpiX();
    const QRect target(0, 0, static_cast<int>(std::lround(client->width() * scale)),
                       static_cast<int>(std::lround(client->height() * scale)));
    for (int copy = 0; copy < std::max(copies, 1); ++copy) {
        if (copy > 0 && !printer.newPage()) {
            painter.end();
            return false;
        }
        painter.drawPixmap(target, image);
    }
    return painter.end() && printer.printerState() != QPrinter::Error;
}

void frmMain::printFailed() {
    notifier().inform(this, printoutError());
}

void frmMain::PrintData_Click() {
    QPrinter printer(QPrinter::HighResolution);
    if (QPrinterInfo::availablePrinters().isEmpty()) {
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(outputFolder() + QStringLiteral("/entry.pdf"));
    }
    if (!m_printerPrompt || !m_printerPrompt(printer)) {
        printFailed();
        return;
    }
    keepPrintableMargins(printer);
    // Each copy is printed as a page of its own; the printer must not multiply them again.
    const int copies = printer.copyCount();
    printer.setCopyCount(1);
    if (!printWindowImage(printer, copies)) {
        printFailed();
    }
}

void frmMain::ClearForm_Click() {
    setEntry(Entry::cleared());
}

void frmMain::ViewOutput_Click() {
    notifier().inform(this, viewNote());
    emit viewOutputRequested();
}

void frmMain::GraphData_Click() {
    emit graphRequested();
}

void frmMain::IsospaceData_Click() {
    emit isospaceRequested();
}

void frmMain::StudyData_Click() {
    emit studyRequested();
}

void frmMain::ExitProgram_Click() {
    close();
}

void frmMain::About_Click() {
    notifier().inform(this, aboutText(), applicationTitle());
}

void frmMain::help_Click() {
    emit helpRequested(QStringLiteral("help.htm"));
}

} // namespace fenlowick

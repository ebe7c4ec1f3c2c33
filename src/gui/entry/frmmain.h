#pragma once

#include "core/entry/entry.h"
#include "gui/entry/entryrules.h"
#include "gui/widgets/startuplayout.h"

#include <QColor>
#include <QMainWindow>
#include <QString>
#include <array>
#include <functional>
#include <optional>

class QAction;
class QFrame;
class QLabel;
class QLineEdit;
class QPrinter;

namespace fenlowick {

/// The main window: the 73 entry boxes that are the only store of the entry, the entry
/// rules that run while the user types and moves between them, and the menu bar from which
/// every other window is reached.
///
/// The window knows no other window. Commands that need one are signals; the owner
/// connects them and, when `closing` is emitted, closes the other windows and ends the
/// program.
///
/// The entry rules: a box that gains the focus takes the focus colours (its own background
/// is kept in one saved-background slot); when the focus is about to move to another box of
/// this window, by Tab, Shift+Tab, Enter or a click, the box being left is checked and a
/// refused text gives a beep, the program's message, an emptied box and a focus that stays.
/// Focus that leaves for another window, a menu or a message box runs no check and keeps
/// the colours.
class frmMain : public QMainWindow {
    Q_OBJECT

public:
    /// Start-up: takes `startFolder` as StartFolder, creates its "data" and "output"
    /// subfolders when missing, sets the focus colours, computes the start-up sizes of the
    /// graph window and the statistics viewer for the current screen, lays the window out
    /// and centres it on the screen. The window is not shown.
    explicit frmMain(const QString& startFolder, QWidget* parent = nullptr);
    ~frmMain() override;

    /// The texts of the 73 boxes.
    Entry entry() const;
    /// Sets the 73 texts directly; no entry rule runs.
    void setEntry(const Entry& entry);

    QString startFolder() const { return m_startFolder; }
    /// StartFolder/data, the data-file dialog's first folder.
    QString dataFolder() const;
    /// StartFolder/output, the first folder of the output-file, open-totals and
    /// open-graph-file dialogs.
    QString outputFolder() const;

    /// The sizes for the graph window and the statistics viewer, taken at start-up.
    const StartupSizes& startupSizes() const { return m_startupSizes; }

    /// The entry box with a tab index 0..72, and the letter box 0..6 (top to bottom).
    QLineEdit* entryBox(int tab) const;
    QLineEdit* letterBox(int letter) const;

    /// The text colour of a box without the focus (the application palette's text colour).
    QColor normalText() const { return m_normalText; }

    /// Prints the image of the client area, one page per copy. False when the printer could
    /// not be started or reported an error.
    bool printWindowImage(QPrinter& printer, int copies);

    /// Replaces the printer prompt, by default a QPrintDialog: the prompt sets up the
    /// printer, including its copy count, and returns false when cancelled. Tests use this
    /// to print without a dialog.
    void setPrinterPrompt(std::function<bool(QPrinter&)> prompt);

    /// The menu command with a given name (FileOpen, Calculate, PrintData, ClearForm,
    /// ViewOutput, GraphData, IsospaceData, StudyData, ExitProgram, About, help).
    QAction* menuCommand(const QString& name) const;

public slots:
    void FileOpen_Click();
    void Calculate_Click();
    void PrintData_Click();
    void ClearForm_Click();
    void ViewOutput_Click();
    void GraphData_Click();
    void IsospaceData_Click();
    void StudyData_Click();
    void ExitProgram_Click();
    void About_Click();
    void help_Click();

signals:
    void fileOpenRequested();
    void calculateRequested();
    /// Emitted after the note on reporting results has been shown.
    void viewOutputRequested();
    void graphRequested();
    /// The sources and the mixture of the entry as it is now, plotted in isotope space.
    void isospaceRequested();
    /// The study window: a study of the field's tables, with the mouse.
    void studyRequested();
    /// The whole entry was replaced at once (a data file opened, Clear).
    void entryReplaced();
    /// `topicFile` is a help page's file name, found in StartFolder.
    void helpRequested(const QString& topicFile);
    /// The window is closing (its close box or Exit): the program ends.
    void closing();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    bool focusNextPrevChild(bool next) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void createBoxes(QWidget* client);
    void createLabels(QWidget* client);
    void createMenu();
    QLineEdit* makeBox(QWidget* client, int tab, int left, int top, int width, int height);
    std::optional<int> tabOf(const QObject* object) const;
    std::optional<int> letterOf(const QObject* object) const;
    std::optional<int> focusedTab() const;
    /// Runs the leave check of the box holding the focus; false when it refused the text
    /// (after the beep, the message and the emptying).
    bool leaveCheckPasses();
    /// Checks the box being left, then moves the focus to `tab`.
    void moveFocusTo(int tab, Qt::FocusReason reason);
    void takeFocusColours(QLineEdit* box);
    void giveBackColours(QLineEdit* box);
    static bool keepsColours(Qt::FocusReason reason);
    void printFailed();

    QString m_startFolder;
    StartupSizes m_startupSizes;

    QLineEdit* m_Title = nullptr;
    QLineEdit* m_Increment = nullptr;
    QLineEdit* m_Threshold = nullptr;
    std::array<QLineEdit*, kIsotopeColumns> m_Isotope{};
    std::array<QLineEdit*, kIsotopeColumns> m_Mixture{};
    std::array<QLineEdit*, kSourceRows> m_Sources{};
    /// m_Col[k] is the box array Col<k>: m_Col[k][i] holds source row i, isotope column k.
    std::array<std::array<QLineEdit*, kSourceRows>, kIsotopeColumns> m_Col{};
    QFrame* m_Frame2 = nullptr;
    std::array<QLineEdit*, kLetterBoxCount> m_Text1{};
    std::array<QLineEdit*, kEntryBoxCount> m_byTab{};

    QColor m_focusBackground;
    QColor m_focusText;
    QColor m_normalText;
    /// The one saved-background slot, and the box that currently wears the focus colours.
    QColor m_savedBackground;
    QLineEdit* m_coloured = nullptr;

    std::function<bool(QPrinter&)> m_printerPrompt;
};

} // namespace fenlowick

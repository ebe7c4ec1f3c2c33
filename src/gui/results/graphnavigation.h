#pragma once

namespace fenlowick {

/// The source the graph window shows and the enabled states of its Next, Previous and
/// Print commands. Next and Previous never wrap around.
class GraphNavigation {
public:
    /// A failed Open: nothing is shown (`current()` 0). The commands keep their enabled
    /// states, but Next and Previous do nothing until a file is loaded again.
    void clear();

    /// A successful Open of a file with `sourceCount` sources: source 1 is shown, Next and
    /// Print are enabled, Previous is disabled.
    void loaded(int sourceCount);

    /// Moves to the next source when one is shown and a next one exists; true when it moved.
    bool next();

    /// Moves to the previous source when the one shown is not the first; true when it moved.
    bool previous();

    /// The source shown, 1-based; 0 when nothing is loaded.
    int current() const { return m_current; }
    int sourceCount() const { return m_sourceCount; }

    bool nextEnabled() const { return m_nextEnabled; }
    bool previousEnabled() const { return m_previousEnabled; }
    bool printEnabled() const { return m_printEnabled; }

    /// The states of a newly created window: nothing shown, only File, Help and Exit usable.
    void resetCommands();

private:
    int m_current = 0;
    int m_sourceCount = 0;
    bool m_nextEnabled = false;
    bool m_previousEnabled = false;
    bool m_printEnabled = false;
};

} // namespace fenlowick

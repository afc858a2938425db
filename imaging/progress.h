#pragma once
// How long operations talk back to whoever started them: a progress bar and a chance for
// the user interface to handle pending events between steps.

namespace vantorel::imaging {

class Progress {
public:
    virtual ~Progress() = default;
    // Percent done, 0..100 (0 also resets the bar when an operation ends).
    virtual void setProgress(int percent) = 0;
    // Lets the user interface repaint and respond between steps.
    virtual void processEvents() {}
    // The platform's alert beep (a cell the search could not fill).
    virtual void beep() {}
};

// A sink that ignores everything; used where a caller passes "no progress bar".
class NoProgress final : public Progress {
public:
    void setProgress(int) override {}
};

// Returns p when non-null, else a shared sink that ignores everything.
Progress& progressOrNone(Progress* p);

} // namespace vantorel::imaging

#pragma once
// OMAppKitView: what the kit asks of a view beside QWidget. A widget class
// that draws differently in an active and an inactive window inherits it
// (next to QWidget) and answers true, and is repainted whenever its window
// becomes active or stops being so (OMApplicationHooks.h); the walk does not
// descend below a widget that answers true.
//
// Threads: main thread only.

class OMAppKitView {
public:
    virtual ~OMAppKitView() = default;
    virtual bool needsDisplayForChangedWindowAppearance() { return false; }
};

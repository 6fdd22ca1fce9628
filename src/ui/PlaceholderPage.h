#pragma once

#include "ui/PageFactory.h"
#include "ui/PipelinePage.h"

namespace duolo {

// Stands in for a page that is not built yet: its caption, a note, and (except on the last
// page) "Go To Next Step", which moves the pipeline on without a condition.
class PlaceholderPage : public PipelinePage {
    Q_OBJECT
public:
    // `pageCode` is what "Go To Next Step" passes to the main window; -1 hides the button.
    PlaceholderPage(MainDialog& mainWindow, PageKind kind, int pageCode);
};

} // namespace duolo

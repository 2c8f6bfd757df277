#pragma once

// What the built-in CAD shows on screen: its window with the active drawing and the command line,
// the on-screen pick and the plot preview. Made only where the program runs with a window system
// (a QApplication); a headless program (kestrelwick-plot) has none, and the members that need one
// fail with a CadError instead.

#include <cstddef>
#include <memory>
#include <vector>

#include "drawing/entities.h"

namespace kw::builtin {

class ApplicationState;
class DocumentState;

class CadScreen {
public:
    virtual ~CadScreen() = default;

    // The title, the visibility, the drawings or the command line may have changed.
    virtual void Refresh() = 0;

    // Shows the document's active layout and waits, in a nested event loop, while the user picks
    // entities; returns them in the order picked, or nothing when the user cancels.
    virtual std::vector<const drawing::Entity*>
    Pick(const std::shared_ptr<DocumentState>& document) = 0;

    // Shows the page that the layout's plot settings make, modal, until the user closes it.
    virtual void Preview(const std::shared_ptr<DocumentState>& document,
                         std::size_t layoutIndex) = 0;
};

// The screen of an application; nullptr when the program has no window system.
std::unique_ptr<CadScreen> MakeCadScreen(ApplicationState& application);

} // namespace kw::builtin

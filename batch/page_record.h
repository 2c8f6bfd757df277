#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/frames.h"

namespace kw {

// What became of one page of a batch.
enum class PageStatus {
    Plotted,  // the device has the page (its file written, its job spooled)
    Failed,   // the page, or the whole drawing when `page` is 0, could not be plotted
    NoFrames, // the drawing was read and holds no frame
    Skipped,  // not attempted: the run stopped at an earlier failure
};

// One page of a batch as the run log keeps it, and as the output options read it. A record with
// page 0 stands for the whole drawing: one that could not be read, or one without frames.
struct PageRecord {
    std::string drawing;              // the drawing's path as the run used it
    int page = 0;                     // from 1 within its drawing
    std::optional<FrameExtent> frame; // drawing units
    std::string device;
    std::string paper;      // canonical paper name
    std::string outputFile; // the PDF written; empty for a printer
    PageStatus status = PageStatus::Plotted;
    std::int32_t errorNumber = 0;
    std::string error;      // the message table's text, then the CAD's description
    double seconds = 0.0;   // time the page took
    std::string finishedAt; // UTC, ISO 8601
    // What the output options had to say of the page (a frame of no standard sheet on the
    // panel's paper, a name missing a field); empty for nothing, and then not in the log.
    std::string note;
    // The paper layout the page was plotted from; empty for model space (and in the logs of
    // releases that plotted model space alone), and then not in the log.
    std::string layout;
    // Fonts drawn with another while the page was plotted, "gbenor.shx → Noto Sans CJK SC", each
    // the first time its process met it. A run moves them into the note, once per font, before
    // the record goes to the log; the log keeps them only where it carries records between
    // processes.
    std::vector<std::string> fonts;
    bool operator==(const PageRecord&) const = default;
};

const char* StatusName(PageStatus status);
// Error 13 for a name that is none of StatusName's.
PageStatus StatusFromName(const std::string& name);

} // namespace kw

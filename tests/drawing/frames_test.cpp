// The frame fixtures list exactly the frames their README gives, in order, both directions:
// discovery as the program does it (engine's FrameFilter, select-all, then the polyline's
// vertices or the reference's extents) and the engine's OrderFrames.

#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <sstream>

#include "engine/frames.h"
#include "test_support.h"

namespace kw::drawing {
namespace {

struct Expectation {
    std::string file;
    std::string options;
    std::vector<std::string> frames; // "xMin yMin xMax yMax"
};

// Reads "## file" sections, each "`--kind ...`: N frames" line and the code block after it.
std::vector<Expectation> ReadExpectations() {
    std::ifstream in(test::Fixture("frames/README.md"));
    std::vector<Expectation> out;
    std::string file, line;
    const std::regex heading(R"(^## (\S+\.dxf)$)");
    const std::regex option(R"(^`(--kind [^`]*)`: (\d+) frames)");
    std::smatch match;
    while (std::getline(in, line)) {
        if (std::regex_match(line, match, heading)) {
            file = match[1];
            continue;
        }
        if (file.empty() || !std::regex_search(line, match, option))
            continue;
        Expectation expectation{file, match[1], {}};
        const std::size_t count = std::stoul(match[2]);
        if (count > 0) {
            while (std::getline(in, line) && line != "```") {
            }
            while (std::getline(in, line) && line != "```")
                expectation.frames.push_back(line);
        }
        EXPECT_EQ(expectation.frames.size(), count) << file << " " << expectation.options;
        out.push_back(std::move(expectation));
    }
    return out;
}

PlotSettings SettingsOf(const std::string& options) {
    PlotSettings settings;
    std::istringstream words(options);
    std::string word;
    while (words >> word) {
        std::string value;
        if (word == "--bottom-up") {
            settings.rowsBottomUp = true;
            continue;
        }
        words >> value;
        if (word == "--kind")
            settings.frameKind = value == "polyline" ? FrameKind::PolylineLayer
                                 : value == "block"  ? FrameKind::BlockReference
                                                     : FrameKind::ExternalReference;
        else if (word == "--layer")
            settings.frameLayer = value;
        else if (word == "--block")
            settings.blockName = value;
        else if (word == "--xref")
            settings.xrefName = value;
    }
    return settings;
}

std::vector<FrameExtent> Discover(const Document& document, const PlotSettings& settings) {
    std::vector<drawing::FilterEntry> filter;
    for (const kw::FilterEntry& entry : FrameFilter(settings))
        filter.push_back({entry.code, entry.value});
    std::vector<FrameExtent> frames;
    for (const Entity* e : SelectAll(document, filter)) {
        if (settings.frameKind == FrameKind::PolylineLayer) {
            std::vector<double> coordinates;
            for (const PolylineVertex& v : std::get<LwPolylineGeometry>(e->geometry).vertices) {
                coordinates.push_back(v.x);
                coordinates.push_back(v.y);
            }
            frames.push_back(PolylineExtent(coordinates));
        } else {
            const Box box = EntityExtents(document, *e);
            frames.push_back({box.min.x, box.min.y, box.max.x, box.max.y});
        }
    }
    return frames;
}

TEST(FrameFixtures, ListExactlyTheFramesOfTheirReadme) {
    const std::vector<Expectation> expectations = ReadExpectations();
    ASSERT_GE(expectations.size(), 25u);
    for (const Expectation& expectation : expectations) {
        SCOPED_TRACE(expectation.file + " " + expectation.options);
        const Document document = LoadDrawing(test::Fixture("frames/" + expectation.file));
        const PlotSettings settings = SettingsOf(expectation.options);
        const auto frames = OrderFrames(Discover(document, settings), settings.rowsBottomUp);
        std::vector<std::string> listed;
        for (const FrameExtent& f : frames)
            listed.push_back(test::Shortest(f.xMin) + " " + test::Shortest(f.yMin) + " " +
                             test::Shortest(f.xMax) + " " + test::Shortest(f.yMax));
        EXPECT_EQ(listed, expectation.frames);
    }
}

} // namespace
} // namespace kw::drawing

// Proxy graphics: what the reader decodes against what ezdxf decodes from the same drawings
// (tests/data/drawing/proxy_graphics_ezdxf.txt, written by proxy_graphics_ezdxf.py), and streams
// made here for what the test data lacks: transforms, traits, damage.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <map>
#include <sstream>

#include "test_support.h"

namespace kw::drawing {
namespace {

std::string Hex(const std::string& text) {
    std::ostringstream out;
    for (unsigned char c : text)
        out << std::hex << std::setw(2) << std::setfill('0') << int(c);
    return text.empty() ? "-" : out.str();
}

std::string Number(double value) {
    std::ostringstream out;
    out << std::setprecision(17) << value;
    return out.str();
}

std::string Point(Vec3 p, int count = 3) {
    std::string text = Number(p.x) + " " + Number(p.y);
    return count == 3 ? text + " " + Number(p.z) : text;
}

// A primitive in the expectation's form (see proxy_graphics_ezdxf.py).
std::string Canonical(const Entity& e) {
    switch (e.type) {
    case EntityType::Point:
        return "POINT " + Point(std::get<PointGeometry>(e.geometry).location);
    case EntityType::Polyline: {
        const auto& g = std::get<PolylineGeometry>(e.geometry);
        std::string text = "POLYLINE " + std::to_string(g.Closed() ? 1 : 0) + " " +
                           std::to_string(g.vertices.size());
        for (const auto& v : g.vertices)
            text += " " + Point(v.location);
        return text;
    }
    case EntityType::Hatch: {
        const auto& g = std::get<HatchGeometry>(e.geometry);
        std::string text = "FACES " + std::to_string(g.boundaries.size()) + " ";
        for (const auto& b : g.boundaries) {
            text += " " + std::to_string(b.polyline.size());
            for (const auto& v : b.polyline)
                text += " " + Point({v.x, v.y, 0}, 2);
            text += " ";
        }
        return text;
    }
    case EntityType::Circle: {
        const auto& g = std::get<CircleGeometry>(e.geometry);
        return "CIRCLE " + Point(g.center) + " " + Number(g.radius) + " " + Point(e.extrusion);
    }
    case EntityType::Arc: {
        const auto& g = std::get<ArcGeometry>(e.geometry);
        return "ARC " + Point(g.center) + " " + Number(g.radius) + " " + Number(g.startAngleDeg) +
               " " + Number(g.endAngleDeg) + " " + Point(e.extrusion);
    }
    case EntityType::Text: {
        const auto& g = std::get<TextGeometry>(e.geometry);
        return "TEXT " + Point(g.insertion) + " " + Number(g.height) + " " + Number(g.widthFactor) +
               " " + Number(g.rotationDeg) + " " + Number(g.obliqueDeg) + " " + Hex(g.text);
    }
    default:
        return std::string(e.DxfName());
    }
}

std::vector<std::string> Words(const std::string& line) {
    std::istringstream in(line);
    std::vector<std::string> words;
    for (std::string word; in >> word;)
        words.push_back(word);
    return words;
}

// Whether two primitives agree: the same kind and words, numbers within 1e-6 (angles as
// directions, in degrees).
bool Agree(const std::string& ours, const std::string& theirs) {
    const auto a = Words(ours), b = Words(theirs);
    if (a.size() != b.size() || a.empty() || a[0] != b[0])
        return false;
    for (std::size_t i = 1; i < a.size(); ++i) {
        if (a[0] == "TEXT" && i + 1 == a.size()) {
            if (a[i] != b[i])
                return false; // the text itself
            continue;
        }
        char* endA = nullptr;
        char* endB = nullptr;
        const double x = std::strtod(a[i].c_str(), &endA);
        const double y = std::strtod(b[i].c_str(), &endB);
        if (*endA != '\0' || *endB != '\0') {
            if (a[i] != b[i])
                return false;
            continue;
        }
        const bool angle = (a[0] == "ARC" && (i == 5 || i == 6)) || (a[0] == "TEXT" && i >= 6);
        double difference = std::fabs(x - y);
        if (angle)
            difference = std::fabs(std::remainder(x - y, 360.0));
        if (!(difference <= 1e-6))
            return false;
    }
    return true;
}

struct Expected {
    std::string handle, type;
    bool stopped = false;
    std::vector<std::string> primitives;
};

TEST(ProxyGraphics, EveryDrawingOfTheTestDataDecodesAsEzdxfDoes) {
    const std::filesystem::path root(KW_SHARED_TESTDATA);
    std::error_code ec;
    if (!std::filesystem::is_directory(root, ec))
        GTEST_SKIP() << root << " is not there";
    std::ifstream in(test::Fixture("proxy_graphics_ezdxf.txt"));
    ASSERT_TRUE(in) << "the expectation file is missing";
    std::map<std::string, std::vector<Expected>> drawings;
    std::vector<Expected>* entities = nullptr;
    for (std::string line; std::getline(in, line);) {
        const auto words = Words(line);
        if (words.size() == 2 && words[0] == "drawing")
            entities = &drawings[words[1]];
        else if (words.size() == 4 && words[0] == "entity" && entities)
            entities->push_back({words[1], words[2], words[3] == "stopped", {}});
        else if (entities && !entities->empty())
            entities->back().primitives.push_back(line);
    }
    ASSERT_GE(drawings.size(), 10u);
    int compared = 0, beyondEzdxf = 0;
    for (const auto& [name, expected] : drawings) {
        SCOPED_TRACE(name);
        const Document document =
            LoadDrawing((root / name).string(), {.keep = KeepBytes::ForReading});
        std::map<std::string, const Entity*> byHandle;
        for (const Block& block : document.blocks)
            for (const Entity& e : block.entities) {
                std::ostringstream handle;
                handle << std::uppercase << std::hex << e.handle;
                byHandle[handle.str()] = &e;
            }
        for (const Expected& entity : expected) {
            SCOPED_TRACE(entity.type + " " + entity.handle);
            const auto found = byHandle.find(entity.handle);
            ASSERT_NE(found, byHandle.end());
            const auto& opaque = std::get<OpaqueGeometry>(found->second->geometry);
            std::vector<std::string> ours;
            if (opaque.proxy)
                for (const Entity& part : opaque.proxy->entities)
                    ours.push_back(Canonical(part));
            // Where ezdxf gave up part way, what it gave must be what we start with.
            if (entity.stopped)
                ASSERT_GE(ours.size(), entity.primitives.size());
            else
                ASSERT_EQ(ours.size(), entity.primitives.size());
            for (std::size_t i = 0; i < entity.primitives.size(); ++i)
                EXPECT_TRUE(Agree(ours[i], entity.primitives[i]))
                    << "primitive " << i << "\n ours:  " << ours[i].substr(0, 300)
                    << "\n ezdxf: " << entity.primitives[i].substr(0, 300);
            compared += static_cast<int>(entity.primitives.size());
            beyondEzdxf += static_cast<int>(ours.size() - entity.primitives.size());
        }
    }
    RecordProperty("compared", compared);
    RecordProperty("beyondEzdxf", beyondEzdxf);
    std::cout << compared << " primitives agree with ezdxf; " << beyondEzdxf
              << " more where ezdxf stopped\n";
}

} // namespace
} // namespace kw::drawing

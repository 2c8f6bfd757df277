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

#include "proxy_stream.h"
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

Document Tables() {
    Document document;
    for (const char* name : {"0", "WALL", "DOOR"})
        document.layers.push_back({.name = name});
    for (const char* name : {"ByBlock", "ByLayer", "Continuous", "DASHED"})
        document.linetypes.push_back({.name = name});
    document.textStyles.push_back({.name = "Standard", .fontFile = "txt.shx"});
    document.format.acadVersion = "AC1027";
    document.RebuildIndexes();
    return document;
}

const std::vector<Entity>& Parts(const ProxyDecoding& decoded) {
    static const std::vector<Entity> none;
    return decoded.graphics ? decoded.graphics->entities : none;
}

TEST(ProxyGraphics, PrimitivesTakeTheTraitsAndTransformsBeforeThem) {
    const Document document = Tables();
    Transform turned; // a quarter turn about the origin, then 100 to the right
    turned.m[0][0] = 0, turned.m[0][1] = -1, turned.m[0][3] = 100;
    turned.m[1][0] = 1, turned.m[1][1] = 0;
    const std::string stream =
        test::ProxyStream()
            .Polyline({{0, 0, 0}, {10, 0, 0}})
            .Trait(16, 1)           // layer WALL
            .Trait(14, 1)           // red
            .Trait(18, 3)           // DASHED
            .Trait(23, 50)          // 0.50 mm
            .Trait(22, 0xC2FF8000u) // orange, which replaces the red
            .Polyline({{0, 0, 0}, {10, 0, 0}, {10, 5, 0}}, true)
            .Trait(20, 1) // fill
            .Polyline({{0, 0, 0}, {10, 0, 0}, {10, 5, 0}}, true)
            .Trait(20, 0)
            .Trait(18, 0x7FFF) // BYLAYER
            .Trait(16, 99)     // no such layer: stays WALL
            .Push(turned)
            .Circle({10, 0, 0}, 2)
            .Arc3p({0, 10, 0}, {7.0710678118654755, 7.0710678118654755, 0}, {10, 0, 0})
            .Push(Transform::Scaling({2, 1, 1}))
            .Circle({0, 0, 0}, 1)
            .Pop()
            .Pop()
            .Pop() // one too many: nothing to pop
            .Record(99, std::string(12, 'x'))
            .Arc({0, 0, 0}, 5, {0, 1, 0}, -kPi / 2)
            .UnicodeText({1, 2, 0}, {0, 1, 0}, 2.5, u"\u5899")
            .Bytes();
    const ProxyDecoding decoded = DecodeProxyGraphics(stream, document);
    EXPECT_EQ(decoded.damagedAt, 0u);
    const auto& parts = Parts(decoded);
    ASSERT_EQ(parts.size(), 8u);

    // The start is the custom object's own: layer 0, BYBLOCK.
    EXPECT_EQ(parts[0].type, EntityType::Polyline);
    EXPECT_EQ(parts[0].layer, "0");
    EXPECT_EQ(parts[0].color, kColorByBlock);
    EXPECT_EQ(parts[0].linetype, "BYBLOCK");
    EXPECT_EQ(parts[0].lineweight, kLineweightByBlock);

    EXPECT_EQ(parts[1].type, EntityType::Polyline);
    EXPECT_TRUE(std::get<PolylineGeometry>(parts[1].geometry).Closed());
    EXPECT_EQ(parts[1].layer, "WALL");
    EXPECT_EQ(parts[1].linetype, "DASHED");
    EXPECT_EQ(parts[1].lineweight, 50);
    EXPECT_EQ(parts[1].trueColor, 0xFF8000);
    EXPECT_EQ(parts[2].type, EntityType::Hatch);
    EXPECT_TRUE(std::get<HatchGeometry>(parts[2].geometry).solidFill);

    // Through the quarter turn.
    ASSERT_EQ(parts[3].type, EntityType::Circle);
    EXPECT_EQ(parts[3].linetype, "");
    EXPECT_EQ(parts[3].layer, "WALL");
    const auto& circle = std::get<CircleGeometry>(parts[3].geometry);
    EXPECT_NEAR(circle.center.x, 100, 1e-9);
    EXPECT_NEAR(circle.center.y, 10, 1e-9);
    EXPECT_NEAR(circle.radius, 2, 1e-9);
    // A clockwise arc through its middle point, turned: counter-clockwise from its end.
    ASSERT_EQ(parts[4].type, EntityType::Arc);
    const auto& arc = std::get<ArcGeometry>(parts[4].geometry);
    EXPECT_NEAR(arc.center.x, 100, 1e-9);
    EXPECT_NEAR(arc.center.y, 0, 1e-9);
    EXPECT_NEAR(arc.radius, 10, 1e-9);
    EXPECT_NEAR(std::remainder(arc.startAngleDeg - 90, 360), 0, 1e-9);
    EXPECT_NEAR(std::remainder(arc.endAngleDeg - 180, 360), 0, 1e-9);
    // The nested transform is the turn after the stretch: a circle becomes an ellipse 2 high.
    ASSERT_EQ(parts[5].type, EntityType::Ellipse);
    const Box ellipse = EntityExtents(document, parts[5]);
    EXPECT_NEAR(ellipse.min.x, 99, 1e-9);
    EXPECT_NEAR(ellipse.max.x, 101, 1e-9);
    EXPECT_NEAR(ellipse.min.y, -2, 1e-9);
    EXPECT_NEAR(ellipse.max.y, 2, 1e-9);
    // Every transform popped: a clockwise quarter from (0, 5) to (5, 0), about the origin.
    ASSERT_EQ(parts[6].type, EntityType::Arc);
    const auto& quarter = std::get<ArcGeometry>(parts[6].geometry);
    EXPECT_NEAR(std::remainder(quarter.startAngleDeg, 360), 0, 1e-9);
    EXPECT_NEAR(std::remainder(quarter.endAngleDeg - 90, 360), 0, 1e-9);
    // A Unicode text along y, in the style of its font.
    ASSERT_EQ(parts[7].type, EntityType::Text);
    const auto& text = std::get<TextGeometry>(parts[7].geometry);
    EXPECT_EQ(text.text, "\u5899");
    EXPECT_EQ(text.style, "Standard");
    EXPECT_NEAR(text.rotationDeg, 90, 1e-9);
    EXPECT_NEAR(text.height, 2.5, 1e-12);
}

TEST(ProxyGraphics, DamagedStreamsKeepWhatTheyCanAndSayWhere) {
    const Document document = Tables();
    const test::ProxyStream good = test::ProxyStream().Circle({0, 0, 0}, 1);
    const std::size_t afterCircle = good.Bytes().size();
    std::string longCount;
    test::ProxyStream::U32(longCount, 0xFFFFFFFFu);
    struct Case {
        const char* what;
        std::string stream;
        std::size_t parts;
        std::size_t damagedAt;
    };
    const Case cases[] = {
        {"a header cut short", std::string("\x10\0\0", 3), 0, 0},
        {"a record past the end",
         test::ProxyStream(good).Raw(std::string("\x40\0\0\0\x02\0\0\0", 8)).Bytes(), 1,
         afterCircle},
        {"a record shorter than its head",
         test::ProxyStream(good).Raw(std::string("\x04\0\0\0\x02\0\0\0", 8)).Bytes(), 1,
         afterCircle},
        {"a count larger than the record",
         test::ProxyStream().Circle({0, 0, 0}, 1).Record(6, longCount).Circle({5, 0, 0}, 1).Bytes(),
         2, afterCircle},
        {"a face naming a vertex that is not there",
         test::ProxyStream()
             .Circle({0, 0, 0}, 1)
             .Shell({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}}, {{0, 1, 7}, {0, 1, 2}})
             .Bytes(),
         2, 0},
        {"a mesh of four thousand million rows of no columns, filled",
         test::ProxyStream()
             .Circle({0, 0, 0}, 1)
             .Trait(20, 1)
             .Record(8, std::string("\xFF\xFF\xFF\xFF\0\0\0\0", 8))
             .Bytes(),
         1, 0},
        {"coordinates past the range of numbers",
         test::ProxyStream()
             .Circle({0, 0, 0}, 1)
             .Push(Transform::Scaling({1e300, 1e300, 1}))
             .Polyline({{0, 0, 0}, {1e300, 0, 0}})
             .Pop()
             .Circle({5, 0, 0}, 1)
             .Bytes(),
         2, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const ProxyDecoding decoded = DecodeProxyGraphics(c.stream, document);
        EXPECT_EQ(Parts(decoded).size(), c.parts);
        EXPECT_EQ(decoded.damagedAt, c.damagedAt);
    }
}

TEST(ProxyGraphics, FuzzFindingsDecodeToFiniteGeometry) {
    const Document document = Tables();
    const std::filesystem::path folder = test::Fixture("../fuzz/proxy_graphics");
    int findings = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        SCOPED_TRACE(entry.path().string());
        ++findings;
        const ProxyDecoding decoded =
            DecodeProxyGraphics(test::ReadBytes(entry.path().string()), document);
        for (const Entity& part : Parts(decoded)) {
            const Box box = EntityExtents(document, part);
            EXPECT_TRUE(box == Box{} || (std::isfinite(box.min.x) && std::isfinite(box.min.y) &&
                                         std::isfinite(box.max.x) && std::isfinite(box.max.y)));
        }
    }
    EXPECT_GE(findings, 1);
}

// The reader takes the graphics of a proxy entity and of an entity of a class it does not know,
// as 310 chunks after their size; a lightweight polyline's bit stream is read (a door's swing,
// from an architectural application, which ezdxf stops at).
TEST(ProxyGraphics, TheReaderDecodesCustomObjectsAsTheirRecordsAreRead) {
    const std::string tables = "0\nTABLE\n2\nLAYER\n0\nLAYER\n2\n0\n70\n0\n62\n7\n6\n"
                               "CONTINUOUS\n0\nLAYER\n2\nWALL\n70\n0\n62\n1\n6\nCONTINUOUS\n"
                               "0\nENDTAB\n";
    std::string custom =
        test::ProxyStream().Trait(16, 1).Circle({3, 4, 0}, 2).ProxyEntityTags("2A", "0");
    // The same graphics on an entity of a custom class, its size in 160 as from release 2013.
    std::string other = custom;
    other.replace(other.find("ACAD_PROXY_ENTITY"), 17, "AEC_WALL");
    other.replace(other.find("\n92\n"), 4, "\n160\n");
    other.replace(other.find("\n5\n2A"), 5, "\n5\n2B");
    for (const KeepBytes keep : {KeepBytes::ForSave, KeepBytes::ForReading}) {
        const std::string bytes =
            SaveDrawingToBytes(test::FromSections(tables, custom + other, ""));
        const Document document = LoadDrawingFromBytes(bytes, "memory.dxf", {.keep = keep});
        const auto& entities = document.LayoutEntities(document.layouts.front());
        ASSERT_EQ(entities.size(), 2u);
        for (const Entity& e : entities) {
            const auto& opaque = std::get<OpaqueGeometry>(e.geometry);
            ASSERT_TRUE(opaque.proxy);
            ASSERT_EQ(opaque.proxy->entities.size(), 1u);
            EXPECT_EQ(opaque.proxy->entities[0].layer, "WALL");
            const Box box = EntityExtents(document, e);
            EXPECT_NEAR(box.min.x, 1, 1e-9);
            EXPECT_NEAR(box.max.y, 6, 1e-9);
        }
    }

    const std::filesystem::path plan =
        std::filesystem::path(KW_SHARED_TESTDATA) / "libredwg/test/test-data/2013/gh109_1.dxf";
    std::error_code ec;
    if (!std::filesystem::is_regular_file(plan, ec))
        GTEST_SKIP() << plan << " is not there";
    const Document document = LoadDrawing(plan.string(), {.keep = KeepBytes::ForReading});
    const Entity* window = nullptr;
    for (const Entity& e : document.LayoutEntities(document.layouts.front()))
        if (e.handle == 0x2FF)
            window = &e;
    ASSERT_TRUE(window);
    const auto& parts = std::get<OpaqueGeometry>(window->geometry).proxy->entities;
    ASSERT_EQ(parts.size(), 5u);
    ASSERT_EQ(parts[2].type, EntityType::LwPolyline);
    EXPECT_EQ(parts[2].layer, "WINDOW");
    const auto& swing = std::get<LwPolylineGeometry>(parts[2].geometry);
    ASSERT_EQ(swing.vertices.size(), 2u);
    EXPECT_NEAR(swing.vertices[0].x, 18156.003743726164, 1e-9);
    EXPECT_NEAR(swing.vertices[0].y, -877.2114910328067, 1e-9);
    EXPECT_NEAR(swing.vertices[1].x, 19011.003743726164, 1e-9);
    EXPECT_NEAR(swing.vertices[1].y, 0.0, 1e-9);
    EXPECT_NEAR(swing.vertices[0].bulge, 0.40672244673760366, 1e-12);
}

} // namespace
} // namespace kw::drawing

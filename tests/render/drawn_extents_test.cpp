// Extents measured by drawing, checked against what the recording back end says was drawn, and
// the spatial index finding text and linetype shapes by their ink.

#include <gtest/gtest.h>

#include <QPainterPath>

#include <algorithm>
#include <string>
#include <vector>

#include "drawing/extents.h"
#include "page_support.h"
#include "render/canvas.h"
#include "render/drawn_extents.h"
#include "render/render.h"
#include "test_support.h"

namespace kw::render {
namespace {

using drawing::test::T;
using Kind = RecordingCanvas::Kind;

// The box of the recorded calls (drawn 1:1 in drawing units): strokes by their points, runs of
// characters by their glyphs' outlines.
QRectF RecordedInk(const RecordingCanvas& canvas) {
    QRectF box;
    auto add = [&](const QRectF& r) { box = box.isNull() ? r : box.united(r); };
    for (const RecordingCanvas::Call& call : canvas.Calls()) {
        if (call.kind == Kind::Text) {
            if (call.searchOnly)
                continue;
            QPainterPath glyphs;
            glyphs.addText(0, 0, call.font, call.text);
            add(call.transform.map(glyphs).boundingRect());
        } else if (call.kind != Kind::Clip && call.kind != Kind::Image) {
            for (const QPolygonF& shape : call.shapes)
                add(shape.boundingRect());
        }
    }
    return box;
}

std::string Text(double x, double y, double height, const std::string& text,
                 const std::string& extra = "") {
    return T(0, "TEXT") + T(8, "0") + T(10, x) + T(20, y) + T(30, 0.0) + T(40, height) +
           T(1, text) + extra;
}

TEST(DrawnExtents, HoldTheRecordedInkAndNoMore) {
    const std::string block = T(0, "BLOCK") + T(8, "0") + T(2, "TAG") + T(70, 2) + T(10, 0.0) +
                              T(20, 0.0) + T(30, 0.0) + T(3, "TAG") + T(0, "ENDBLK") + T(8, "0");
    struct Case {
        const char* what;
        std::string tags;
    };
    const std::vector<Case> cases = {
        {"a text of wide capitals, wider than its estimate", Text(10, 20, 5, "WWWW MMMM")},
        {"a text with descenders, centred",
         Text(10, 20, 2.5, "gjpqy", T(72, 1) + T(11, 10.0) + T(21, 20.0) + T(31, 0.0))},
        {"a turned, obliqued text", Text(10, 20, 5, "Kestrel", T(50, 30.0) + T(51, 15.0))},
        {"a multiline text of two paragraphs",
         T(0, "MTEXT") + T(8, "0") + T(10, 5.0) + T(20, 50.0) + T(30, 0.0) + T(40, 3.5) +
             T(41, 0.0) + T(71, 1) + T(1, "First line\\PAnd a longer second line")},
        {"an attribute of a block reference",
         T(0, "INSERT") + T(8, "0") + T(66, 1) + T(2, "TAG") + T(10, 0.0) + T(20, 0.0) +
             T(30, 0.0) + T(0, "ATTRIB") + T(8, "0") + T(10, 40.0) + T(20, 10.0) + T(30, 0.0) +
             T(40, 4.0) + T(1, "A-101 / 7") + T(2, "NUMBER") + T(70, 0) + T(0, "SEQEND") +
             T(8, "0")},
        {"a line whose linetype writes text beside it",
         T(0, "LINE") + T(8, "0") + T(6, "GAS") + T(10, 20.0) + T(20, 50.0) + T(30, 0.0) +
             T(11, 180.0) + T(21, 50.0) + T(31, 0.0)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        drawing::Document document = drawing::test::FromTags(c.tags, block);
        test::AddGasLinetype(document, 6); // wholly beside the line
        const drawing::Entity* entity = &document.LayoutEntities(document.layouts.front()).front();
        if (const auto* insert = std::get_if<drawing::InsertGeometry>(&entity->geometry)) {
            ASSERT_EQ(insert->attributes.size(), 1u);
            entity = &insert->attributes.front();
        }
        const Renderer renderer(document);
        RecordingCanvas recorder;
        renderer.DrawEntity(recorder, *entity, QTransform(), PaintOptions(), QRectF());
        const QRectF ink = RecordedInk(recorder);
        ASSERT_FALSE(ink.isNull());

        const drawing::Box drawn = DrawnExtents(renderer, *entity);
        ASSERT_FALSE(drawn.IsEmpty());
        // Glyph outlines against the fonts' ink boxes: within a twentieth of a text height.
        const double tolerance = 0.05 * 2.5;
        EXPECT_NEAR(drawn.min.x, ink.left(), tolerance);
        EXPECT_NEAR(drawn.max.x, ink.right(), tolerance);
        EXPECT_NEAR(drawn.min.y, ink.top(), tolerance);
        EXPECT_NEAR(drawn.max.y, ink.bottom(), tolerance);

        // What the host answers holds the line too, where dashes may stop short of its ends.
        const drawing::Box box = EntityBox(renderer, *entity);
        const drawing::Box geometry = drawing::EntityExtents(document, *entity);
        if (entity->type == drawing::EntityType::Line) {
            EXPECT_LE(box.min.x, geometry.min.x);
            EXPECT_GE(box.max.x, geometry.max.x);
            EXPECT_LT(box.min.y, geometry.min.y - 5.0); // the texts below it
        } else {
            EXPECT_EQ(box, drawn);
        }
    }
}

TEST(DrawnExtents, TheIndexFindsInkThatRunsPastTheEstimate) {
    // A window that meets nothing but the tail of a text wider than estimated, or a linetype's
    // text standing beside its line, still finds the entity to paint.
    const std::vector<std::string> cases = {
        Text(0, 0, 5, "WWWWWWWWWW"),
        T(0, "LINE") + T(8, "0") + T(6, "GAS") + T(10, 20.0) + T(20, 50.0) + T(30, 0.0) +
            T(11, 180.0) + T(21, 50.0) + T(31, 0.0),
    };
    for (const std::string& tags : cases) {
        drawing::Document document = drawing::test::FromTags(tags);
        test::AddGasLinetype(document, 6); // wholly beside the line
        const drawing::Entity& entity = document.LayoutEntities(document.layouts.front()).front();
        SCOPED_TRACE(std::string(entity.DxfName()));
        const Renderer renderer(document);
        const drawing::Box estimate = drawing::EntityExtents(document, entity);
        const drawing::Box drawn = DrawnExtents(renderer, entity);
        QRectF window;
        if (entity.type == drawing::EntityType::Text) {
            ASSERT_GT(drawn.max.x, estimate.max.x + 1.0);
            window = QRectF(QPointF(estimate.max.x + 0.5, 1), QPointF(drawn.max.x - 0.5, 2));
        } else {
            ASSERT_LT(drawn.min.y, estimate.min.y - 4.0);
            window = QRectF(QPointF(30, drawn.min.y + 0.5), QPointF(40, estimate.min.y - 4.0));
        }
        EXPECT_EQ(renderer.EntitiesIn(0, window), std::vector<const drawing::Entity*>{&entity});
    }
}

} // namespace
} // namespace kw::render

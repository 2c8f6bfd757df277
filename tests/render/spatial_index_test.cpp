#include <gtest/gtest.h>

#include <random>

#include "drawing/spatial_index.h"

namespace kw::drawing {
namespace {

Box MakeBox(double x0, double y0, double x1, double y1) {
    Box box;
    box.Add(Vec3{x0, y0, 0});
    box.Add(Vec3{x1, y1, 0});
    return box;
}

TEST(SpatialIndex, WindowQueriesFindExactlyWhatABruteForceScanFinds) {
    std::mt19937 random(7);
    std::uniform_real_distribution<double> position(-5000, 5000), size(0, 300);
    std::vector<Box> boxes;
    for (int i = 0; i < 5000; ++i) {
        if (i % 97 == 0) {
            boxes.push_back(Box{}); // an entity without extents
            continue;
        }
        const double x = position(random), y = position(random);
        boxes.push_back(MakeBox(x, y, x + size(random), y + size(random)));
    }
    const SpatialIndex index(boxes);
    EXPECT_EQ(index.Size(), boxes.size() - (boxes.size() + 96) / 97);
    for (int q = 0; q < 200; ++q) {
        const double x = position(random), y = position(random);
        const SpatialIndex::Rect window{x, y, x + size(random) * 4, y + size(random) * 4};
        std::vector<std::size_t> expected;
        for (std::size_t i = 0; i < boxes.size(); ++i) {
            const Box& b = boxes[i];
            if (!b.IsEmpty() && b.min.x <= window.maxX && window.minX <= b.max.x &&
                b.min.y <= window.maxY && window.minY <= b.max.y)
                expected.push_back(i);
        }
        ASSERT_EQ(index.Query(window), expected) << "query " << q;
    }
    const Box all = index.Bounds();
    EXPECT_LE(all.min.x, -4000);
    EXPECT_GE(all.max.x, 4000);
}

TEST(SpatialIndex, TouchingCountsAndAnEmptyIndexFindsNothing) {
    const SpatialIndex index({MakeBox(0, 0, 10, 10), MakeBox(20, 0, 30, 10)});
    EXPECT_EQ(index.Query({10, 10, 20, 20}), (std::vector<std::size_t>{0, 1}));
    EXPECT_TRUE(index.Query({10.5, 0, 19.5, 10}).empty());
    EXPECT_TRUE(SpatialIndex().Query({-1e9, -1e9, 1e9, 1e9}).empty());
    EXPECT_TRUE(SpatialIndex().Bounds().IsEmpty());
}

} // namespace
} // namespace kw::drawing

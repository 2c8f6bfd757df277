// libFuzzer target of the proxy graphics decoder: any bytes must decode or stop — no crash, no
// hang, no leak — into primitives whose extents are finite.
// Built with -DKW_FUZZ=ON by clang; tests/fuzz/fuzz.sh runs it for a bounded time.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "drawing/drawing.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

// A drawing with a few layers, linetypes and text styles for the traits to name.
kw::drawing::Document Tables() {
    kw::drawing::Document document;
    for (const char* name : {"0", "WALL", "DOOR", "AXIS"})
        document.layers.push_back({.name = name});
    for (const char* name : {"ByBlock", "ByLayer", "Continuous", "DASHED"})
        document.linetypes.push_back({.name = name});
    document.textStyles.push_back({.name = "Standard", .fontFile = "txt.shx"});
    document.format.acadVersion = "AC1027";
    document.RebuildIndexes();
    return document;
}

bool Finite(const kw::drawing::Vec3& p) {
    return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const kw::drawing::Document document = Tables();
    const auto decoded = kw::drawing::DecodeProxyGraphics(
        std::string_view(reinterpret_cast<const char*>(data), size), document);
    if (!decoded.graphics)
        return 0;
    kw::drawing::Entity proxy;
    auto& opaque = proxy.geometry.emplace<kw::drawing::OpaqueGeometry>();
    opaque.dxfName = "ACAD_PROXY_ENTITY";
    opaque.proxy = decoded.graphics;
    const kw::drawing::Box box = kw::drawing::EntityExtents(document, proxy);
    kw::fuzz::Require(box.IsEmpty() || (Finite(box.min) && Finite(box.max)),
                      "the decoded primitives have finite extents");
    return 0;
}

#pragma once

// Proxy graphics: the drawing a custom object stores with itself for programs that lack its
// application (the walls, doors and stairs of architectural applications). The binary stream of
// group 310 chunks is a header (total size, record count) and records of (size, type, data),
// little-endian and padded to four bytes. What is decoded:
//
//   circles (centre and radius, or three points), arcs (centre, start vector and sweep, or three
//   points), polylines, polygons, polylines with a normal, lightweight polylines (their DWG bit
//   stream: bulges, widths, elevation, normal), shells and meshes (their faces' edges, or the faces
//   filled), texts (both text records, 8-bit and Unicode), construction lines and rays;
//   the traits that apply to what follows: colour (ACI and true colour), layer and linetype
//   (indices into the drawing's LAYER and LTYPE tables in table order), lineweight, linetype scale,
//   thickness, fill; and the model transforms, pushed and popped.
//
// Every other record is skipped by its size. Every length and count in the stream is untrusted:
// a count is capped by the bytes left, a record that runs past its size is dropped, and a stream
// that runs past its end stops there.

#include <cstddef>
#include <memory>
#include <string_view>

#include "drawing/document.h"

namespace kw::drawing {

namespace detail {
class CodePage;
}

struct ProxyDecoding {
    std::shared_ptr<const ProxyGraphics> graphics; // null when the stream draws nothing
    // Where the stream stopped being readable (a record past the end, a bad size); 0 when whole.
    std::size_t damagedAt = 0;
};

// Decodes a stream of proxy graphics (the 310 chunks joined, as bytes). Layer, linetype and text
// style names come from `document`; 8-bit texts are in its code page.
ProxyDecoding DecodeProxyGraphics(std::string_view data, const Document& document);

namespace detail {
// The same with the reader's code page at hand.
ProxyDecoding DecodeProxyGraphics(std::string_view data, const Document& document,
                                  const CodePage& codePage);
} // namespace detail

} // namespace kw::drawing

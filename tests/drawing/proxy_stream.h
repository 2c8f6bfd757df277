#pragma once

// Proxy graphics streams written in tests, record by record, and the ACAD_PROXY_ENTITY that
// carries one in a DXF file.

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "drawing/geometry.h"

namespace kw::drawing::test {

class ProxyStream {
public:
    ProxyStream& Record(std::uint32_t type, const std::string& data) {
        std::string record;
        U32(record, static_cast<std::uint32_t>(8 + data.size()));
        U32(record, type);
        m_records += record + data;
        ++m_count;
        return *this;
    }
    // Bytes as they are, counted as one record (a damaged one).
    ProxyStream& Raw(const std::string& bytes) {
        m_records += bytes;
        ++m_count;
        return *this;
    }
    // A trait (colour 14, layer 16, linetype 18, fill 20, true colour 22, lineweight 23).
    ProxyStream& Trait(std::uint32_t type, std::uint32_t value) {
        std::string data;
        U32(data, value);
        return Record(type, data);
    }
    ProxyStream& Circle(Vec3 center, double radius, Vec3 normal = {0, 0, 1}) {
        std::string data;
        Point(data, center);
        Real(data, radius);
        Point(data, normal);
        return Record(2, data);
    }
    ProxyStream& Arc(Vec3 center, double radius, Vec3 start, double sweep) {
        std::string data;
        Point(data, center);
        Real(data, radius);
        Point(data, {0, 0, 1});
        Point(data, start);
        Real(data, sweep);
        U32(data, 0);
        return Record(4, data);
    }
    // From `a` through `b` to `c`.
    ProxyStream& Arc3p(Vec3 a, Vec3 b, Vec3 c) {
        std::string data;
        Point(data, a);
        Point(data, b);
        Point(data, c);
        U32(data, 0);
        return Record(5, data);
    }
    ProxyStream& Polyline(const std::vector<Vec3>& points, bool polygon = false) {
        std::string data;
        U32(data, static_cast<std::uint32_t>(points.size()));
        for (const Vec3& p : points)
            Point(data, p);
        return Record(polygon ? 7 : 6, data);
    }
    // Faces as lists of vertex indices.
    ProxyStream& Shell(const std::vector<Vec3>& vertices,
                       const std::vector<std::vector<std::int32_t>>& faces) {
        std::string data;
        U32(data, static_cast<std::uint32_t>(vertices.size()));
        for (const Vec3& p : vertices)
            Point(data, p);
        std::uint32_t entries = 0;
        for (const auto& face : faces)
            entries += 1 + static_cast<std::uint32_t>(face.size());
        U32(data, entries);
        for (const auto& face : faces) {
            U32(data, static_cast<std::uint32_t>(face.size()));
            for (std::int32_t index : face)
                U32(data, static_cast<std::uint32_t>(index));
        }
        U32(data, 0); // no edge traits
        U32(data, 0); // no face traits
        return Record(9, data);
    }
    // An 8-bit text (record 10) at `at`, along the x axis.
    ProxyStream& Text(Vec3 at, double height, const std::string& text) {
        std::string data;
        Point(data, at);
        Point(data, {0, 0, 1});
        Point(data, {1, 0, 0});
        Real(data, height);
        Real(data, 1.0);
        Real(data, 0.0);
        data += text + '\0';
        Pad(data);
        return Record(10, data);
    }
    // A Unicode text with its font (record 38), along `direction`.
    ProxyStream& UnicodeText(Vec3 at, Vec3 direction, double height, const std::u16string& text) {
        std::string data;
        Point(data, at);
        Point(data, {0, 0, 1});
        Point(data, direction);
        Utf16(data, text);
        U32(data, static_cast<std::uint32_t>(text.size()));
        U32(data, 1);
        for (double value : {height, 1.0, 0.0, 0.0})
            Real(data, value);
        for (int flag = 0; flag < 9; ++flag)
            U32(data, 0);
        Utf16(data, u"");
        Utf16(data, u"txt.shx");
        Utf16(data, u"");
        return Record(38, data);
    }
    // Pushes a transform given as three rows of (L | t).
    ProxyStream& Push(const Transform& m) {
        std::string data;
        for (int row = 0; row < 4; ++row)
            for (int column = 0; column < 4; ++column)
                Real(data, row < 3 ? m.m[row][column] : (column == 3 ? 1.0 : 0.0));
        return Record(29, data);
    }
    ProxyStream& Pop() { return Record(31, ""); }

    // The stream: its header, then the records.
    std::string Bytes() const {
        std::string out;
        U32(out, static_cast<std::uint32_t>(8 + m_records.size()));
        U32(out, m_count);
        return out + m_records;
    }

    // The tags of an ACAD_PROXY_ENTITY carrying the stream (release 2000 codes: 92 and 310s).
    std::string ProxyEntityTags(const std::string& handle, const std::string& layer,
                                int color = 256) const {
        static const char kHex[] = "0123456789ABCDEF";
        const std::string bytes = Bytes();
        std::string tags = "0\nACAD_PROXY_ENTITY\n5\n" + handle + "\n100\nAcDbEntity\n8\n" + layer +
                           "\n62\n" + std::to_string(color) +
                           "\n100\nAcDbProxyEntity\n90\n498\n91\n500\n92\n" +
                           std::to_string(bytes.size()) + "\n";
        for (std::size_t at = 0; at < bytes.size(); at += 127) {
            tags += "310\n";
            for (std::size_t i = at; i < std::min(bytes.size(), at + 127); ++i) {
                tags += kHex[static_cast<unsigned char>(bytes[i]) >> 4];
                tags += kHex[static_cast<unsigned char>(bytes[i]) & 15];
            }
            tags += "\n";
        }
        return tags + "93\n0\n94\n0\n95\n0\n70\n0\n";
    }

    static void U32(std::string& out, std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            out += static_cast<char>((v >> (8 * i)) & 0xFF);
    }
    static void Real(std::string& out, double v) {
        std::uint64_t bits = 0;
        std::memcpy(&bits, &v, sizeof bits);
        for (int i = 0; i < 8; ++i)
            out += static_cast<char>((bits >> (8 * i)) & 0xFF);
    }
    static void Point(std::string& out, Vec3 p) {
        Real(out, p.x);
        Real(out, p.y);
        Real(out, p.z);
    }

private:
    static void Pad(std::string& out) {
        while (out.size() % 4 != 0)
            out += '\0';
    }
    static void Utf16(std::string& out, const std::u16string& text) {
        for (char16_t c : text) {
            out += static_cast<char>(c & 0xFF);
            out += static_cast<char>(c >> 8);
        }
        out += std::string(2, '\0');
        Pad(out);
    }

    std::string m_records;
    std::uint32_t m_count = 0;
};

} // namespace kw::drawing::test

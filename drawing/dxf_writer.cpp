// Lossless save: the file's own bytes with only the changed plot settings patched in.

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>

#include "drawing/detail/paths.h"
#include "drawing/detail/plot_fields.h"
#include "drawing/detail/source_data.h"
#include "drawing/detail/tag_reader.h"
#include "drawing/dxf_io.h"
#include "base/error.h"

namespace kw::drawing {
namespace {

struct Patch {
    std::size_t offset;
    std::size_t removed; // bytes replaced at offset (0 for an insertion)
    std::string text;
    int rank; // keeps insertions at one offset in the written order
};

std::string BaseName(const std::string& path) {
    const std::size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

template <typename T> std::string Bytes(T value) {
    std::string out(sizeof(T), '\0');
    std::memcpy(out.data(), &value, sizeof(T));
    return out;
}

class Patcher {
public:
    Patcher(const detail::SourceData& source) : m_src(source) {}

    // The value bytes of a field as this file writes them (ASCII: without the line end; binary:
    // without a string's NUL). `width` right-aligns an integer like the original did.
    std::string Value(const detail::PlotField& field, const LayoutPlotSettings& plot,
                      std::size_t width) const {
        if (field.text) {
            std::string text = m_src.codePage->Encode(plot.*field.text);
            std::replace(text.begin(), text.end(), '\n', ' ');
            std::replace(text.begin(), text.end(), '\r', ' ');
            if (m_src.binary)
                std::replace(text.begin(), text.end(), '\0', ' ');
            return text;
        }
        if (field.real) {
            if (m_src.binary)
                return Bytes(plot.*field.real);
            return detail::FormatDouble(plot.*field.real);
        }
        if (m_src.binary)
            return Bytes(plot.*field.integer);
        std::string text = std::to_string(plot.*field.integer);
        if (text.size() < width)
            text.insert(0, width - text.size(), ' ');
        return text;
    }

    // A whole tag for insertion, formatted like its neighbour tag at `sample` (may be null).
    std::string Tag(const detail::PlotField& field, const LayoutPlotSettings& plot,
                    const detail::TagSite* sample) const {
        if (m_src.binary) {
            std::string out = m_src.oneByteCodes ? std::string(1, static_cast<char>(field.code))
                                                 : Bytes(static_cast<std::int16_t>(field.code));
            out += Value(field, plot, 0);
            if (field.text)
                out.push_back('\0');
            return out;
        }
        const char* eol = m_src.crlf ? "\r\n" : "\n";
        std::string code = std::to_string(field.code);
        bool rightAligned = true;
        if (sample) {
            const std::string_view bytes = m_src.bytes;
            rightAligned = bytes[sample->offset] == ' ';
        }
        if (rightAligned && code.size() < 3)
            code.insert(0, 3 - code.size(), ' ');
        const std::size_t width = field.integer && rightAligned ? 6 : 0;
        return code + eol + Value(field, plot, width) + eol;
    }

    void Collect(const detail::PlotSettingsSource& source, const LayoutPlotSettings& current,
                 std::vector<Patch>& patches) const {
        for (const detail::PlotField& field : detail::kPlotFields) {
            if (detail::PlotFieldEqual(field, source.original, current))
                continue;
            const detail::TagSite* site = nullptr;
            for (const auto& candidate : source.sites)
                if (candidate.code == field.code) {
                    site = &candidate;
                    break;
                }
            if (site) {
                std::size_t width = 0;
                if (field.integer && !m_src.binary) {
                    const std::string_view old(m_src.bytes.data() + site->valueOffset,
                                               site->valueSize);
                    if (!old.empty() && old.front() == ' ')
                        width = old.size();
                }
                patches.push_back(
                    {site->valueOffset, site->valueSize, Value(field, current, width), 0});
                continue;
            }
            // Not in the file: goes before the first tag that is written after it.
            const int rank = detail::PlotFieldRank(field.code);
            std::size_t offset = source.insertOffset;
            const detail::TagSite* sample = source.sites.empty() ? nullptr : &source.sites.front();
            for (const auto& candidate : source.sites)
                if (detail::PlotFieldRank(candidate.code) > rank) {
                    offset = candidate.offset;
                    break;
                }
            patches.push_back({offset, 0, Tag(field, current, sample), rank});
        }
    }

private:
    const detail::SourceData& m_src;
};

} // namespace

namespace {

// The patches of every layout whose plot settings differ from the file, in file order.
std::vector<Patch> CollectPatches(const Document& document, const detail::SourceData& source) {
    std::vector<Patch> patches;
    Patcher patcher(source);
    for (std::size_t i = 0; i < document.layouts.size() && i < source.layoutPlots.size(); ++i)
        if (source.layoutPlots[i])
            patcher.Collect(*source.layoutPlots[i], document.layouts[i].plotSettings, patches);
    std::stable_sort(patches.begin(), patches.end(), [](const Patch& a, const Patch& b) {
        if (a.offset != b.offset)
            return a.offset < b.offset;
        return a.removed == 0 && b.removed == 0 ? a.rank < b.rank : a.removed < b.removed;
    });
    return patches;
}

// Hands the saved file to `write` piece by piece: the file's bytes between the patches.
template <typename Write>
void Emit(std::string_view bytes, const std::vector<Patch>& patches, Write&& write) {
    std::size_t pos = 0;
    for (const Patch& patch : patches) {
        if (patch.offset < pos)
            continue; // cannot happen for well-formed sites; never corrupt the output
        write(bytes.substr(pos, patch.offset - pos));
        write(std::string_view(patch.text));
        pos = patch.offset + patch.removed;
    }
    write(bytes.substr(pos));
}

const detail::SourceData& SourceOf(const Document& document, const std::string& shownName) {
    const auto& source = detail::DocumentAccess::Source(document);
    if (!source)
        throw DxfError(errors::kInvalidCall, shownName, 0, 0,
                       "the drawing was not read from a file and cannot be saved");
    if (!source->keepAll)
        throw DxfError(errors::kInvalidCall, shownName, 0, 0,
                       "the drawing was read for plotting only, without the bytes a save "
                       "writes back; open it again to save it");
    return *source;
}

} // namespace

std::string SaveDrawingToBytes(const Document& document) {
    const detail::SourceData& source = SourceOf(document, BaseName(document.path));
    const std::vector<Patch> patches = CollectPatches(document, source);
    std::string out;
    out.reserve(source.bytes.size() + 256);
    Emit(source.bytes, patches, [&](std::string_view piece) { out.append(piece); });
    return out;
}

void SaveDrawing(const Document& document, const std::string& path) {
    namespace fs = std::filesystem;
    const std::string shownName = BaseName(path);
    const detail::SourceData& source = SourceOf(document, shownName);
    const std::vector<Patch> patches = CollectPatches(document, source);
    const fs::path target = detail::PathFromUtf8(path);
    const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
    std::error_code ec;
    if (!fs::is_directory(folder, ec))
        throw DxfError(errors::kPathNotFound, shownName, 0, 0, "the folder does not exist");
    std::random_device random;
    fs::path temporary = target;
    temporary += ".kw" + std::to_string(random() % 1000000) + ".tmp";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        if (!out) {
            const int code = errno;
            throw DxfError(code == EACCES || code == EROFS ? errors::kPermissionDenied
                                                           : errors::kPathFileAccess,
                           shownName, 0, 0, std::string("cannot write: ") + std::strerror(code));
        }
        // Straight from the file's bytes in memory: no second copy of a large drawing.
        Emit(source.bytes, patches, [&](std::string_view piece) {
            out.write(piece.data(), static_cast<std::streamsize>(piece.size()));
        });
        out.flush();
        if (!out) {
            out.close();
            fs::remove(temporary, ec);
            throw DxfError(errors::kPathFileAccess, shownName, 0, 0, "cannot write (disk full?)");
        }
    }
    if (fs::exists(target, ec)) {
        const fs::perms perms = fs::status(target, ec).permissions();
        if (!ec)
            fs::permissions(temporary, perms, ec);
    }
    fs::rename(temporary, target, ec);
    if (ec) {
        std::error_code ignored;
        fs::remove(temporary, ignored);
        throw DxfError(ec == std::errc::permission_denied ? errors::kPermissionDenied
                                                          : errors::kPathFileAccess,
                       shownName, 0, 0, "cannot replace the file: " + ec.message());
    }
}

} // namespace kw::drawing

#include "batch/run_log.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>

#include "base/characters.h"
#include "base/error.h"
#include "engine/plot_run.h"

namespace kw {
namespace {

[[noreturn]] void BadRecord(const std::string& what) {
    throw Error(errors::kTypeMismatch, "not a run log record: " + what);
}

std::string Number(double value) {
    if (!std::isfinite(value)) {
        return "null";
    }
    char text[32];
    const auto result = std::to_chars(text, text + sizeof text, value);
    return std::string(text, result.ptr);
}

void AppendQuoted(std::string& out, const std::string& text) {
    out += '"';
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (byte < 0x20) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
                out += escaped;
            } else {
                out += c; // UTF-8 passes unchanged
            }
        }
    }
    out += '"';
}

std::string Utf8FromCodePoint(char32_t code) {
    std::string out;
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
    return out;
}

// A JSON value of the few shapes a record holds.
struct Value {
    enum class Kind { Null, String, Number, Array } kind = Kind::Null;
    std::string text;
    double number = 0.0;
    std::vector<double> numbers;
    std::vector<std::string> texts; // an array of strings
};

class Reader {
public:
    explicit Reader(const std::string& line) : m_text(line) {}

    std::map<std::string, Value> Object() {
        std::map<std::string, Value> fields;
        Expect('{');
        if (Peek() == '}') {
            ++m_at;
        } else {
            for (;;) {
                std::string key = String();
                Expect(':');
                fields[key] = Any();
                const char next = Next();
                if (next == '}') {
                    break;
                }
                if (next != ',') {
                    BadRecord("expected , or } at column " + std::to_string(m_at));
                }
            }
        }
        if (Peek() != '\0') {
            BadRecord("text after the object at column " + std::to_string(m_at + 1));
        }
        return fields;
    }

private:
    char Peek() {
        while (m_at < m_text.size() && std::strchr(" \t\r\n", m_text[m_at]) != nullptr) {
            ++m_at;
        }
        return m_at < m_text.size() ? m_text[m_at] : '\0';
    }
    char Next() {
        const char c = Peek();
        if (c == '\0') {
            BadRecord("the line ends early");
        }
        ++m_at;
        return c;
    }
    void Expect(char c) {
        if (Next() != c) {
            BadRecord(std::string("expected ") + c + " at column " + std::to_string(m_at));
        }
    }

    Value Any() {
        Value value;
        const char c = Peek();
        if (c == '"') {
            value.kind = Value::Kind::String;
            value.text = String();
        } else if (c == '[') {
            value.kind = Value::Kind::Array;
            ++m_at;
            if (Peek() == ']') {
                ++m_at;
                return value;
            }
            const bool texts = Peek() == '"';
            for (;;) {
                if (texts) {
                    value.texts.push_back(String());
                } else {
                    value.numbers.push_back(NumberValue());
                }
                const char next = Next();
                if (next == ']') {
                    break;
                }
                if (next != ',') {
                    BadRecord("expected , or ] at column " + std::to_string(m_at));
                }
            }
        } else if (m_text.compare(m_at, 4, "null") == 0) {
            m_at += 4;
        } else {
            value.kind = Value::Kind::Number;
            value.number = NumberValue();
        }
        return value;
    }

    double NumberValue() {
        Peek();
        double value = 0.0;
        const char* begin = m_text.data() + m_at;
        const auto result = std::from_chars(begin, m_text.data() + m_text.size(), value);
        if (result.ec != std::errc()) {
            BadRecord("expected a number at column " + std::to_string(m_at + 1));
        }
        m_at += static_cast<std::size_t>(result.ptr - begin);
        return value;
    }

    std::string String() {
        Expect('"');
        std::string text;
        while (m_at < m_text.size() && m_text[m_at] != '"') {
            char c = m_text[m_at++];
            if (c != '\\') {
                text += c;
                continue;
            }
            if (m_at >= m_text.size()) {
                break;
            }
            c = m_text[m_at++];
            switch (c) {
            case 'n':
                text += '\n';
                break;
            case 'r':
                text += '\r';
                break;
            case 't':
                text += '\t';
                break;
            case 'b':
                text += '\b';
                break;
            case 'f':
                text += '\f';
                break;
            case 'u': {
                if (m_at + 4 > m_text.size()) {
                    BadRecord("a cut-off \\u escape");
                }
                unsigned code = 0;
                std::from_chars(m_text.data() + m_at, m_text.data() + m_at + 4, code, 16);
                m_at += 4;
                // Surrogate pairs of a writer that escapes everything beyond ASCII.
                if (code >= 0xD800 && code < 0xDC00 && m_text.compare(m_at, 2, "\\u") == 0 &&
                    m_at + 6 <= m_text.size()) {
                    unsigned low = 0;
                    std::from_chars(m_text.data() + m_at + 2, m_text.data() + m_at + 6, low, 16);
                    if (low >= 0xDC00 && low < 0xE000) {
                        code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
                        m_at += 6;
                    }
                }
                text += Utf8FromCodePoint(static_cast<char32_t>(code));
                break;
            }
            default:
                text += c; // \" \\ \/
            }
        }
        if (m_at >= m_text.size()) {
            BadRecord("a string without its closing quote");
        }
        ++m_at;
        return text;
    }

    const std::string& m_text;
    std::size_t m_at = 0;
};

std::string TextField(const std::map<std::string, Value>& fields, const char* name) {
    const auto found = fields.find(name);
    if (found == fields.end() || found->second.kind == Value::Kind::Null) {
        return {};
    }
    if (found->second.kind != Value::Kind::String) {
        BadRecord(std::string("\"") + name + "\" is not a text");
    }
    return found->second.text;
}

double NumberField(const std::map<std::string, Value>& fields, const char* name) {
    const auto found = fields.find(name);
    if (found == fields.end() || found->second.kind == Value::Kind::Null) {
        return 0.0;
    }
    if (found->second.kind != Value::Kind::Number) {
        BadRecord(std::string("\"") + name + "\" is not a number");
    }
    return found->second.number;
}

} // namespace

std::string QuoteJson(const std::string& text) {
    std::string out;
    AppendQuoted(out, text);
    return out;
}

std::string UnquoteJson(const std::string& quoted) {
    const std::map<std::string, Value> fields = Reader("{\"text\":" + quoted + "}").Object();
    const Value& value = fields.at("text");
    if (value.kind != Value::Kind::String) {
        BadRecord("not a JSON string");
    }
    return value.text;
}

const char* StatusName(PageStatus status) {
    switch (status) {
    case PageStatus::Plotted:
        return "plotted";
    case PageStatus::Failed:
        return "failed";
    case PageStatus::NoFrames:
        return "no-frames";
    case PageStatus::Skipped:
        return "skipped";
    }
    return "failed";
}

PageStatus StatusFromName(const std::string& name) {
    for (const PageStatus status :
         {PageStatus::Plotted, PageStatus::Failed, PageStatus::NoFrames, PageStatus::Skipped}) {
        if (name == StatusName(status)) {
            return status;
        }
    }
    BadRecord("unknown status \"" + name + "\"");
}

std::string RecordToJson(const PageRecord& record) {
    std::string out = "{\"drawing\":";
    AppendQuoted(out, record.drawing);
    out += ",\"page\":";
    out += std::to_string(record.page);
    if (!record.layout.empty()) {
        out += ",\"layout\":";
        AppendQuoted(out, record.layout);
    }
    out += ",\"frame\":";
    if (record.frame) {
        const FrameExtent& f = *record.frame;
        for (const double edge : {f.xMin, f.yMin, f.xMax, f.yMax}) {
            out += out.back() == ':' ? '[' : ',';
            out += Number(edge);
        }
        out += ']';
    } else {
        out += "null";
    }
    out += ",\"device\":";
    AppendQuoted(out, record.device);
    out += ",\"paper\":";
    AppendQuoted(out, record.paper);
    out += ",\"output\":";
    AppendQuoted(out, record.outputFile);
    out += ",\"status\":";
    AppendQuoted(out, StatusName(record.status));
    out += ",\"errorNumber\":";
    out += std::to_string(record.errorNumber);
    out += ",\"error\":";
    AppendQuoted(out, record.error);
    out += ",\"seconds\":";
    out += Number(record.seconds);
    out += ",\"finished\":";
    AppendQuoted(out, record.finishedAt);
    if (!record.note.empty()) {
        out += ",\"note\":";
        AppendQuoted(out, record.note);
    }
    if (!record.fonts.empty()) {
        out += ",\"fonts\":";
        for (const std::string& font : record.fonts) {
            out += out.back() == ':' ? '[' : ',';
            AppendQuoted(out, font);
        }
        out += ']';
    }
    out += '}';
    return out;
}

PageRecord RecordFromJson(const std::string& line) {
    const std::map<std::string, Value> fields = Reader(line).Object();
    PageRecord record;
    record.drawing = TextField(fields, "drawing");
    if (record.drawing.empty()) {
        BadRecord("no \"drawing\"");
    }
    const double page = NumberField(fields, "page");
    if (page < 0 || page > 1e9 || page != std::floor(page)) {
        BadRecord("\"page\" is no page number");
    }
    record.page = static_cast<int>(page);
    if (const auto frame = fields.find("frame");
        frame != fields.end() && frame->second.kind != Value::Kind::Null) {
        const std::vector<double>& n = frame->second.numbers;
        if (frame->second.kind != Value::Kind::Array || n.size() != 4) {
            BadRecord("\"frame\" is not four numbers");
        }
        record.frame = FrameExtent{n[0], n[1], n[2], n[3]};
    }
    record.device = TextField(fields, "device");
    record.paper = TextField(fields, "paper");
    record.outputFile = TextField(fields, "output");
    record.status = StatusFromName(TextField(fields, "status"));
    const double errorNumber = NumberField(fields, "errorNumber");
    if (errorNumber < INT32_MIN || errorNumber > INT32_MAX ||
        errorNumber != std::floor(errorNumber)) {
        BadRecord("\"errorNumber\" is no error number");
    }
    record.errorNumber = static_cast<std::int32_t>(errorNumber);
    record.error = TextField(fields, "error");
    record.seconds = NumberField(fields, "seconds");
    record.finishedAt = TextField(fields, "finished");
    record.note = TextField(fields, "note");
    record.layout = TextField(fields, "layout");
    if (const auto fonts = fields.find("fonts"); fonts != fields.end()) {
        if (fonts->second.kind != Value::Kind::Array || !fonts->second.numbers.empty()) {
            BadRecord("\"fonts\" is not a list of texts");
        }
        record.fonts = fonts->second.texts;
    }
    return record;
}

std::vector<PageRecord> ReadRunLog(const std::string& path, RunLogLines lines) {
    const bool passOver = lines == RunLogLines::PassOverCut;
    std::ifstream in(std::filesystem::path(std::u8string(path.begin(), path.end())),
                     std::ios::binary);
    if (!in) {
        if (passOver) {
            return {};
        }
        throw Error(errors::kFileNotFound, "cannot read the run log " + path);
    }
    std::vector<PageRecord> records;
    int number = 0;
    for (std::string line; std::getline(in, line);) {
        ++number;
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (line.find_first_not_of(" \t") == std::string::npos) {
            continue;
        }
        try {
            records.push_back(RecordFromJson(line));
        } catch (const Error& failure) {
            if (passOver) {
                continue;
            }
            throw Error(failure.Number(),
                        path + ", line " + std::to_string(number) + ": " + failure.Description());
        }
    }
    return records;
}

namespace {

// A record a killed run was writing is cut off: the log ends after its last whole line.
void DropUnfinishedLine(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return;
    }
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    in.close();
    if (!text.empty() && text.back() != '\n') {
        const std::size_t lastLine = text.find_last_of('\n');
        std::error_code ignored;
        std::filesystem::resize_file(path, lastLine == std::string::npos ? 0 : lastLine + 1,
                                     ignored);
    }
}

} // namespace

RunLogWriter::RunLogWriter(const std::string& path, Mode mode) : m_path(path) {
    const std::filesystem::path file(std::u8string(path.begin(), path.end()));
    if (mode == Mode::Append) {
        DropUnfinishedLine(file);
    }
#ifdef _WIN32
    m_file = _wfopen(file.c_str(), mode == Mode::Append ? L"ab" : L"wb");
#else
    m_file = std::fopen(path.c_str(), mode == Mode::Append ? "ab" : "wb");
#endif
    if (m_file == nullptr) {
        throw Error(errors::kPathFileAccess,
                    "cannot write the run log " + path + ": " + std::strerror(errno));
    }
}

RunLogWriter::~RunLogWriter() {
    if (m_file != nullptr) {
        std::fclose(m_file);
    }
}

void RunLogWriter::Append(const PageRecord& record) {
    const std::string line = RecordToJson(record) + "\n";
    if (std::fwrite(line.data(), 1, line.size(), m_file) != line.size() ||
        std::fflush(m_file) != 0) {
        throw Error(errors::kPathFileAccess, "cannot write the run log " + m_path);
    }
}

std::vector<PageRecord> MergeRunLogs(const std::vector<std::string>& paths) {
    std::vector<PageRecord> records;
    for (const std::string& path : paths) {
        std::vector<PageRecord> part = ReadRunLog(path);
        records.insert(records.end(), std::make_move_iterator(part.begin()),
                       std::make_move_iterator(part.end()));
    }
    const TextCollator collator;
    std::stable_sort(records.begin(), records.end(),
                     [&collator](const PageRecord& a, const PageRecord& b) {
                         const int byDrawing = collator.Compare(a.drawing, b.drawing);
                         if (byDrawing != 0) {
                             return byDrawing < 0;
                         }
                         return a.page < b.page;
                     });
    return records;
}

ResumePlan PlanResume(const std::vector<PageRecord>& log) {
    ResumePlan plan;
    // A drawing's records stand together in a log; a drawing met again (logs joined by hand)
    // is planned once.
    std::map<std::string, std::size_t> planned;
    for (const PageRecord& record : log) {
        bool redo = record.status == PageStatus::Failed || record.status == PageStatus::Skipped;
        if (record.status == PageStatus::Plotted && !record.outputFile.empty()) {
            std::error_code error;
            const std::filesystem::path output(
                std::u8string(record.outputFile.begin(), record.outputFile.end()));
            redo = !std::filesystem::exists(output, error);
        }
        if (!redo) {
            plan.kept.push_back(record);
            continue;
        }
        auto [at, isNew] = planned.try_emplace(record.drawing, plan.drawings.size());
        if (isNew) {
            plan.drawings.push_back({record.drawing, false, {}});
        }
        ResumeDrawing& drawing = plan.drawings[at->second];
        if (record.page == 0) {
            drawing.wholeDrawing = true;
            drawing.pages.clear();
        } else if (!drawing.wholeDrawing) {
            drawing.pages.push_back(record.page);
        }
    }
    return plan;
}

RunCounts CountRecords(const std::vector<PageRecord>& records) {
    RunCounts counts;
    const std::string* last = nullptr;
    for (const PageRecord& record : records) {
        if (last == nullptr || *last != record.drawing) {
            ++counts.drawings;
        }
        last = &record.drawing;
        switch (record.status) {
        case PageStatus::Plotted:
            ++counts.plotted;
            break;
        case PageStatus::Failed:
            ++counts.failed;
            break;
        case PageStatus::NoFrames:
            ++counts.withoutFrames;
            break;
        case PageStatus::Skipped:
            ++counts.skipped;
            break;
        }
    }
    return counts;
}

void FontSubstitutions::MoveIntoNote(PageRecord& record) {
    std::string named;
    for (const std::string& substitution : record.fonts) {
        const std::string font = AsciiLower(substitution.substr(0, substitution.find(" → ")));
        if (std::find(m_fonts.begin(), m_fonts.end(), font) != m_fonts.end()) {
            continue;
        }
        m_fonts.push_back(font);
        m_all.push_back(substitution);
        named += (named.empty() ? "" : "，") + substitution;
    }
    record.fonts.clear();
    if (!named.empty()) {
        record.note += (record.note.empty() ? "" : "；") + std::string("字体已替换：") + named;
    }
}

std::string FontSubstitutions::Summary() const {
    return FontSubstitutionSummary(m_all);
}

std::string UtcTimestamp() {
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
#ifdef _WIN32
    gmtime_s(&utc, &now);
#else
    gmtime_r(&now, &utc);
#endif
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return text;
}

} // namespace kw

#pragma once

// Records read by tables: what each group code of a record sets, declared once per record type
// (entity family, table entry, object) and read by one routine. Internal to drawing/.
//
//     constexpr GroupTable<CircleGeometry> kCircleGroups{
//         Groups<CircleGeometry>::Point<&CircleGeometry::center>(10), // 10, 20, 30
//         Groups<CircleGeometry>::Real<&CircleGeometry::radius>(40),
//     };
//
// A table's target may be the model struct itself or a struct derived from it that also holds
// what the record's special cases need while it is read (which subclass the tags are in, text
// put together from several tags); those cases are small functions in the table (Call, Run).

#include <array>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <stdexcept>
#include <type_traits>
#include <vector>

#include "drawing/detail/dxf_loader.h"

namespace kw::drawing::detail {

// Skips the application groups of a record (102 {NAME … 102 }: reactors, extension
// dictionaries): their codes belong to another application, and the same codes (330, 360) mean
// other things in the record itself.
class AppGroups {
public:
    // Whether the tag belongs to an application group, its opening and closing 102 included.
    bool Skip(const RawTag& tag) {
        if (m_open) {
            if (tag.code == 102)
                m_open = false;
            return true;
        }
        if (tag.code != 102)
            return false;
        const std::string_view value = Trim(tag.value);
        m_open = !value.empty() && value.front() == '{';
        return true;
    }

private:
    bool m_open = false;
};

// One group code of a record and how it is read.
template <typename T> struct GroupField {
    // Reads the tag at `at` (a run reads the tags after it too, up to `end`) into `into`; returns
    // how many tags it took, 0 when it leaves the tag to the next table (an entity's common
    // properties).
    using Reader = std::size_t (*)(Loader& loader, const RawTag* at, const RawTag* end, T& into);
    std::int16_t code = 0;
    bool point = false; // code, code + 10 and code + 20 are x, y and z
    Reader read = nullptr;
};

template <typename T> class GroupTable {
public:
    constexpr GroupTable(std::initializer_list<GroupField<T>> fields) {
        for (const GroupField<T>& field : fields)
            Add(field);
    }

    // This table with more fields; a field for a code the table has replaces the old one.
    constexpr GroupTable With(std::initializer_list<GroupField<T>> fields) const {
        GroupTable table = *this;
        for (const GroupField<T>& field : fields)
            table.Add(field);
        return table;
    }

    // Reads the tag at `at` when the table has its code: the number of tags taken, else 0.
    std::size_t Read(Loader& loader, const RawTag* at, const RawTag* end, T& into) const {
        if (at->code < 0 || at->code >= kCodes)
            return 0;
        const std::uint8_t slot = m_index[static_cast<std::size_t>(at->code)];
        return slot == 0 ? 0 : m_fields[slot - 1].read(loader, at, end, into);
    }

private:
    static constexpr std::size_t kMaxFields = 40;
    static constexpr int kCodes = 1072; // every group code a record may hold (0 … 1071)

    constexpr void Add(const GroupField<T>& field) {
        // Thrown while the table is made at compile time: a compile error, never at run time.
        if (m_count == kMaxFields || field.code < 0 ||
            field.code + (field.point ? 20 : 0) >= kCodes)
            throw std::logic_error("group table: too many fields or a code out of range");
        m_fields[m_count++] = field;
        for (int axis = 0; axis < (field.point ? 3 : 1); ++axis)
            m_index[static_cast<std::size_t>(field.code + 10 * axis)] =
                static_cast<std::uint8_t>(m_count);
    }

    std::array<GroupField<T>, kMaxFields> m_fields{};
    std::array<std::uint8_t, kCodes> m_index{}; // code → field + 1, 0 = not in the table
    std::size_t m_count = 0;
};

// The member that a chain of member pointers names: Member<&A::b, &B::c>(a) is a.b.c.
template <auto First, auto... Rest, typename U> constexpr auto& Member(U& object) {
    if constexpr (sizeof...(Rest) == 0)
        return object.*First;
    else
        return Member<Rest...>(object.*First);
}

// The fields of a table whose target is T; M… name a member of T (or of a base of T), or a
// member of that member.
template <typename T> struct Groups {
    using Field = GroupField<T>;

    template <auto... M> static constexpr Field Real(std::int16_t code) {
        return {code, false, [](Loader& l, const RawTag* t, const RawTag*, T& into) -> std::size_t {
                    Member<M...>(into) = l.Real(*t);
                    return 1;
                }};
    }
    template <auto... M> static constexpr Field Short(std::int16_t code) {
        return {code, false, [](Loader& l, const RawTag* t, const RawTag*, T& into) -> std::size_t {
                    Member<M...>(into) = l.Short(*t);
                    return 1;
                }};
    }
    // A 32-bit value (a colour 0x00RRGGBB, flags).
    template <auto... M> static constexpr Field Int32(std::int16_t code) {
        return {code, false, [](Loader& l, const RawTag* t, const RawTag*, T& into) -> std::size_t {
                    Member<M...>(into) = static_cast<std::int32_t>(l.Integer(*t));
                    return 1;
                }};
    }
    template <auto... M> static constexpr Field Flag(std::int16_t code) {
        return {code, false, [](Loader& l, const RawTag* t, const RawTag*, T& into) -> std::size_t {
                    Member<M...>(into) = l.Integer(*t) != 0;
                    return 1;
                }};
    }
    // A name (layer, style, block): decoded once per distinct name.
    template <auto... M> static constexpr Field Name(std::int16_t code) {
        return {code, false, [](Loader& l, const RawTag* t, const RawTag*, T& into) -> std::size_t {
                    Member<M...>(into) = l.Name(*t);
                    return 1;
                }};
    }
    template <auto... M> static constexpr Field Text(std::int16_t code) {
        return {code, false, [](Loader& l, const RawTag* t, const RawTag*, T& into) -> std::size_t {
                    Member<M...>(into) = l.Text(*t);
                    return 1;
                }};
    }
    template <auto... M> static constexpr Field Handle(std::int16_t code) {
        return {code, false, [](Loader& l, const RawTag* t, const RawTag*, T& into) -> std::size_t {
                    Member<M...>(into) = l.tags.Handle(*t);
                    return 1;
                }};
    }
    // A point: `code` is its x, code + 10 its y, code + 20 its z.
    template <auto... M> static constexpr Field Point(std::int16_t code) {
        return {code, true, [](Loader& l, const RawTag* t, const RawTag*, T& into) -> std::size_t {
                    SetAxis(Member<M...>(into), t->code, l.Real(*t));
                    return 1;
                }};
    }
    // Each tag adds a value to a list: numbers, or handles for a list of handles.
    template <auto M> static constexpr Field Append(std::int16_t code) {
        return {code, false, [](Loader& l, const RawTag* t, const RawTag*, T& into) -> std::size_t {
                    auto& list = into.*M;
                    if constexpr (std::is_same_v<std::decay_t<decltype(list)>,
                                                 std::vector<std::uint64_t>>)
                        list.push_back(l.tags.Handle(*t));
                    else
                        list.push_back(l.Real(*t));
                    return 1;
                }};
    }
    // A list of points: x starts a point, y and z complete the last one.
    template <auto M> static constexpr Field Points(std::int16_t code) {
        return {code, true, [](Loader& l, const RawTag* t, const RawTag*, T& into) -> std::size_t {
                    auto& list = into.*M;
                    if (t->code % 100 / 10 == 1)
                        list.push_back({l.Real(*t), 0.0, 0.0});
                    else if (!list.empty())
                        SetAxis(list.back(), t->code, l.Real(*t));
                    return 1;
                }};
    }
    // A list of records (polyline vertices): the code starts one and sets its member Item.
    template <auto List, auto Item> static constexpr Field Start(std::int16_t code) {
        return {code, false, [](Loader& l, const RawTag* t, const RawTag*, T& into) -> std::size_t {
                    ((into.*List).emplace_back()).*Item = l.Real(*t);
                    return 1;
                }};
    }
    // Sets member Item of the last record of the list, when there is one.
    template <auto List, auto Item> static constexpr Field Last(std::int16_t code) {
        return {code, false, [](Loader& l, const RawTag* t, const RawTag*, T& into) -> std::size_t {
                    if (!(into.*List).empty())
                        (into.*List).back().*Item = l.Real(*t);
                    return 1;
                }};
    }
    // A code the record has but the model does not keep, which must not be read as anything else.
    static constexpr Field Ignore(std::int16_t code) {
        return {code, false,
                [](Loader&, const RawTag*, const RawTag*, T&) -> std::size_t { return 1; }};
    }
    // A special case: F(loader, tag, into) reads the tag; when F returns bool, false leaves the
    // tag to the next table.
    template <auto F> static constexpr Field Call(std::int16_t code, bool point = false) {
        return {code, point, [](Loader& l, const RawTag* t, const RawTag*, T& into) -> std::size_t {
                    if constexpr (std::is_void_v<decltype(F(l, *t, into))>) {
                        F(l, *t, into);
                        return 1;
                    } else {
                        return F(l, *t, into) ? 1 : 0;
                    }
                }};
    }
    // A special case that reads a run of tags: F(loader, at, end, into) returns how many it took.
    template <auto F> static constexpr Field Run(std::int16_t code) { return {code, false, F}; }
};

// Reads a record (table entry, object) by its table: application groups skipped, up to its
// extended data (1001).
template <typename T>
void ReadGroups(Loader& loader, const std::vector<RawTag>& rec, const GroupTable<T>& table,
                T& into) {
    AppGroups groups;
    const RawTag* const end = rec.data() + rec.size();
    for (const RawTag* t = rec.data(); t < end;) {
        if (groups.Skip(*t)) {
            ++t;
            continue;
        }
        if (t->code == 1001)
            break;
        const std::size_t taken = table.Read(loader, t, end, into);
        t += taken == 0 ? 1 : taken;
    }
}

} // namespace kw::drawing::detail

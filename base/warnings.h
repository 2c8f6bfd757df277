#pragma once

#include <cstddef>
#include <string>
#include <unordered_set>
#include <vector>

namespace kw {

// What was skipped, repaired or missing while a drawing was read or painted, one text each: a
// text given again is kept once, and past the cap nothing more is kept, so that a badly damaged
// file cannot fill memory with warnings. Not locked: a caller shared by threads holds its own
// lock.
class Warnings {
public:
    static constexpr std::size_t kCap = 200;

    using value_type = std::string;
    using const_iterator = std::vector<std::string>::const_iterator;
    using iterator = const_iterator;

    explicit Warnings(std::size_t cap = kCap) : m_cap(cap) {}

    // Keeps the text unless it is kept already or the cap is reached; true when it was kept.
    bool Add(std::string text);
    // The texts kept since the last Take (all of them at the first), each handed out once.
    std::vector<std::string> Take();

    // Every text kept, in the order first given.
    const std::vector<std::string>& All() const { return m_texts; }
    std::size_t size() const { return m_texts.size(); }
    bool empty() const { return m_texts.empty(); }
    const std::string& operator[](std::size_t index) const { return m_texts[index]; }
    const std::string& front() const { return m_texts.front(); }
    const_iterator begin() const { return m_texts.begin(); }
    const_iterator end() const { return m_texts.end(); }

    friend bool operator==(const Warnings& a, const Warnings& b) { return a.m_texts == b.m_texts; }

private:
    std::size_t m_cap;
    std::vector<std::string> m_texts;
    std::unordered_set<std::string> m_kept;
    std::size_t m_taken = 0; // m_texts[0, m_taken) have been taken
};

} // namespace kw

#include "base/warnings.h"

#include <cstddef>
#include <utility>

namespace kw {

bool Warnings::Add(std::string text) {
    if (m_texts.size() >= m_cap || m_kept.count(text) != 0)
        return false;
    m_kept.insert(text);
    m_texts.push_back(std::move(text));
    return true;
}

std::vector<std::string> Warnings::Take() {
    std::vector<std::string> fresh(m_texts.begin() + static_cast<std::ptrdiff_t>(m_taken),
                                   m_texts.end());
    m_taken = m_texts.size();
    return fresh;
}

} // namespace kw

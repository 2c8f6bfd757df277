#pragma once

#include <string>
#include <vector>

namespace kw::output {

// Writes the catalogue table (CatalogueTable) as the pages of a PDF: A4 portrait, the title
// "图纸目录", the heading repeated on every page, as many rows a page as fit. Needs the fonts
// of a GUI application. Returns the number of pages; throws kw::Error 75 naming the file.
int WriteCataloguePdf(const std::string& path, const std::string& title,
                      const std::vector<std::vector<std::string>>& table);

} // namespace kw::output

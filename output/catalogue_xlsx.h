#pragma once

#include <string>
#include <vector>

namespace kw::output {

// Writes the catalogue table (CatalogueTable) as a workbook of one sheet "图纸目录": the heading
// bold, whole numbers and decimals as numbers, columns wide enough for their texts. Throws
// kw::Error 75 naming the file and libxlsxwriter's reason.
void WriteCatalogueXlsx(const std::string& path,
                        const std::vector<std::vector<std::string>>& table);

} // namespace kw::output

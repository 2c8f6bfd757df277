#pragma once

#include <string>
#include <vector>

namespace kw {

// UTF-8 to code page 936 (GBK); a character GBK cannot hold is written in its GB18030 form.
std::string EncodeGbk(const std::string& utf8);
// GB18030 (and so every GBK text, 0x80 included) to UTF-8. Error 13 on bytes that are no text.
std::string DecodeGb18030(const std::string& bytes);

// The text without its leading and trailing blanks (spaces only, as the panel's boxes hold them).
std::string TrimBlanks(const std::string& text);

#ifdef _WIN32
// UTF-8 to and from the UTF-16 of the Windows API; Error 13 for bytes that are no UTF-8.
std::wstring WidenUtf8(const std::string& utf8);
std::string NarrowUtf16(const wchar_t* text, int length = -1);
#endif

// Splits at line ends: CR LF, a lone CR or a lone LF. A final line end opens no further line.
std::vector<std::string> SplitLines(const std::string& text);

// Reads a GBK/GB18030 text file into lines. Throws Error with a file error number.
std::vector<std::string> ReadTextLines(const std::string& path);

// Writes the lines in GBK, each ending in CR LF, through a temporary file in the same folder that
// then replaces the target, so a failed write leaves the previous file intact. Throws Error.
void WriteTextLines(const std::string& path, const std::vector<std::string>& lines);

} // namespace kw

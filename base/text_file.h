#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kw {

// UTF-8 to code page 936 (GBK); a character GBK cannot hold is written in its GB18030 form, and
// a byte that is no UTF-8 (carried through by DecodeGb18030) is written back as it is.
std::string EncodeGbk(const std::string& utf8);
// GB18030 (and so every GBK text, 0x80 included) to UTF-8. A byte that cannot be decoded is
// carried through unchanged, and `complete` (when given) set to false.
std::string DecodeGb18030(const std::string& bytes, bool* complete = nullptr);
// The text of a settings or list file: UTF-8 when the bytes start with a UTF-8 byte order mark
// and are UTF-8 after it, or are UTF-8 and not GB18030 (a file saved by an editor set to UTF-8);
// GB18030 otherwise, with what cannot be decoded carried through. Never fails.
std::string DecodeTextFile(const std::string& bytes);

// The text without its leading and trailing blanks (spaces only, as the panel's boxes hold them).
std::string TrimBlanks(const std::string& text);

// The text without white space (blanks, tabs, line ends) at either end.
std::string TrimWhitespace(std::string_view text);

#ifdef _WIN32
// UTF-8 to and from the UTF-16 of the Windows API; Error 13 for bytes that are no UTF-8.
std::wstring WidenUtf8(const std::string& utf8);
std::string NarrowUtf16(const wchar_t* text, int length = -1);
#endif

// Splits at line ends: CR LF, a lone CR or a lone LF. A final line end opens no further line.
std::vector<std::string> SplitLines(const std::string& text);

// Reads a text file (DecodeTextFile) into lines. Throws Error with a file error number when
// the file cannot be read, never for its bytes.
std::vector<std::string> ReadTextLines(const std::string& path);

// Writes the lines in GBK, each ending in CR LF, through a temporary file in the same folder that
// then replaces the target, so a failed write leaves the previous file intact. Throws Error.
void WriteTextLines(const std::string& path, const std::vector<std::string>& lines);

} // namespace kw

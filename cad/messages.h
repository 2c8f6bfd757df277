#pragma once

#include <cstdint>
#include <string>

namespace kw {

inline constexpr const char* kOldReleaseMessage = "程序仅支持R2000以上版本！";
inline constexpr const char* kCannotSaveMessage = "文件已打开，不能保存！";
inline constexpr const char* kConvertStylesMessage =
    "执行命令【convertpstyles】转换打印样式表类型！";
inline constexpr const char* kUnknownErrorPrefix = "操作不当或其它未知错误：";
inline constexpr const char* kPrinterSettingsMessage = "操作不当或设置文件格式有误！";
inline constexpr const char* kErrorCaption = "错误";

// The one message a failed command shows for an error number: the three CAD codes the user can
// act on have their own text, everything else shows its number.
std::string MessageForError(std::int32_t number);

} // namespace kw

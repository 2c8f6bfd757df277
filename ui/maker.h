#pragma once

// Who makes the program and where to reach them: the About window, the web links and the
// promotional pages all take their addresses from here.

namespace kw::ui::maker {

inline constexpr const char* kProgramName = "Kestrelwick";
// The main window is captioned "Kestrelwick V<major>.<minor>" from the version (base/version.h).

inline constexpr const char* kBrand = "Quillmere";
inline constexpr const char* kSlogan = "Quillmere－原创、专业、免费、无限制";
inline constexpr const char* kWebSite = "https://www.quillmere.example/";
inline constexpr const char* kSloganTip = "https://www.quillmere.example/kestrelwick/";
inline constexpr const char* kAuthorName = "林启文";
inline constexpr const char* kAuthorOrganisation = "Quillmere 软件工作室";
inline constexpr const char* kAuthorMail = "lqw@quillmere.example";

// The two promotional pages ship with the program, in "pages" beside the executable; their
// links lead to the web site above.
inline constexpr const char* kPagesFolder = "pages";
inline constexpr const char* kRightPage = "ad.html"; // adfrm
inline constexpr const char* kLeftPage = "ad1.html"; // ad1frm

} // namespace kw::ui::maker

#pragma once

// Owning wrappers for BSTR, VARIANT and SAFEARRAY, and the one place where the program's values
// become automation values and back. Text is UTF-8 inside the program and UTF-16 across COM.

#include <windows.h>

#include <oaidl.h>
#include <oleauto.h>

#include <cstdint>
#include <string>
#include <vector>

#include "cad/automation.h"

namespace kw::com {

std::wstring Widen(const std::string& utf8);
std::string Narrow(const wchar_t* text, int length = -1);
std::string Narrow(const std::wstring& text);

class Bstr {
public:
    Bstr() = default;
    explicit Bstr(const std::string& utf8);
    explicit Bstr(const std::wstring& text);
    ~Bstr();
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    Bstr(Bstr&& other) noexcept : m_text(other.Release()) {}
    Bstr& operator=(Bstr&& other) noexcept;

    BSTR Get() const { return m_text; }
    // Hands the string over; the caller frees it.
    BSTR Release() noexcept;
    std::string Utf8() const;

private:
    BSTR m_text = nullptr;
};

class SafeArray {
public:
    SafeArray() = default;
    explicit SafeArray(SAFEARRAY* owned) : m_array(owned) {}
    // A one-dimensional array of `count` elements numbered from 0.
    SafeArray(VARTYPE elementType, std::size_t count);
    ~SafeArray();
    SafeArray(const SafeArray&) = delete;
    SafeArray& operator=(const SafeArray&) = delete;
    SafeArray(SafeArray&& other) noexcept : m_array(other.Release()) {}
    SafeArray& operator=(SafeArray&& other) noexcept;

    SAFEARRAY* Get() const { return m_array; }
    SAFEARRAY* Release() noexcept;
    // Copies `value` into element `index` (strings and variants are copied, not adopted).
    void Put(LONG index, void* value);

private:
    SAFEARRAY* m_array = nullptr;
};

class Variant {
public:
    Variant() noexcept { VariantInit(&m_value); }
    ~Variant() { VariantClear(&m_value); }
    Variant(const Variant& other);
    Variant& operator=(const Variant& other);
    Variant(Variant&& other) noexcept;
    Variant& operator=(Variant&& other) noexcept;

    static Variant FromBool(bool value);
    static Variant FromInt32(std::int32_t value);
    static Variant FromDouble(double value);
    static Variant FromString(const std::string& utf8);
    static Variant FromArray(VARTYPE elementType, SafeArray array);
    // An object argument (VT_DISPATCH), holding its own reference.
    static Variant FromDispatch(IDispatch* object);
    // An argument left out: VT_ERROR holding DISP_E_PARAMNOTFOUND.
    static Variant Missing();
    // A by-reference VARIANT argument; `target` must outlive the call.
    static Variant RefTo(Variant& target);

    VARIANT& Raw() { return m_value; }
    const VARIANT& Raw() const { return m_value; }
    // Clears the value and returns it to be filled by a call.
    VARIANT* Out();
    VARTYPE Type() const { return m_value.vt; }

private:
    VARIANT m_value;
};

// Point arguments: a VARIANT holding VT_ARRAY|VT_R8 of two elements (x, y).
Variant MakePoint(Point point);
// Selection filters: codes as VT_ARRAY|VT_I2, values as VT_ARRAY|VT_VARIANT of strings.
Variant MakeFilterCodes(const std::vector<FilterEntry>& filter);
Variant MakeFilterValues(const std::vector<FilterEntry>& filter);

// Readers of what the host returns; by-reference values are followed. A value of the wrong kind
// is Error 13 (type mismatch).
std::int32_t ToInt32(const VARIANT& value);
bool ToBool(const VARIANT& value);
double ToDouble(const VARIANT& value);
std::string ToString(const VARIANT& value);
// VT_ARRAY of VT_R8 or of VT_VARIANT, from the lower to the upper bound.
std::vector<double> ToDoubles(const VARIANT& value);
// VT_ARRAY of VT_BSTR or of VT_VARIANT, from the lower to the upper bound; VT_EMPTY is no names.
std::vector<std::string> ToStrings(const VARIANT& value);
// A two- or three-element coordinate array; x and y are its first two elements.
Point ToPoint(const VARIANT& value);

} // namespace kw::com

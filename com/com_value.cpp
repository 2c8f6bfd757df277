#include "com/com_value.h"

#include <utility>

#include "cad/cad_error.h"
#include "base/text_file.h"

namespace kw::com {
namespace {

[[noreturn]] void TypeMismatch() {
    throw Error(errors::kTypeMismatch, "类型不匹配");
}

// The classic run-time error number for "out of memory".
[[noreturn]] void OutOfMemory() {
    throw Error(errors::kOutOfMemory, "内存溢出");
}

const VARIANT& Followed(const VARIANT& value) {
    if (value.vt == (VT_BYREF | VT_VARIANT) && value.pvarVal != nullptr) {
        return Followed(*value.pvarVal);
    }
    return value;
}

// The array inside `value` and its element type, by value or by reference.
SAFEARRAY* ArrayOf(const VARIANT& value, VARTYPE& elementType) {
    if ((value.vt & VT_ARRAY) == 0) {
        TypeMismatch();
    }
    elementType = value.vt & VT_TYPEMASK;
    SAFEARRAY* array =
        (value.vt & VT_BYREF) ? (value.pparray ? *value.pparray : nullptr) : value.parray;
    if (array == nullptr) {
        TypeMismatch();
    }
    if (SafeArrayGetDim(array) != 1) {
        TypeMismatch();
    }
    return array;
}

// Calls `read(index)` for every element from the lower bound to the upper bound.
template <typename Read> void ForEachIndex(SAFEARRAY* array, Read read) {
    LONG lower = 0;
    LONG upper = -1;
    if (FAILED(SafeArrayGetLBound(array, 1, &lower)) ||
        FAILED(SafeArrayGetUBound(array, 1, &upper))) {
        TypeMismatch();
    }
    for (LONG index = lower; index <= upper; ++index) {
        read(index);
    }
}

Variant Converted(const VARIANT& value, VARTYPE type) {
    Variant result;
    if (FAILED(VariantChangeType(result.Out(), const_cast<VARIANT*>(&value), 0, type))) {
        TypeMismatch();
    }
    return result;
}

} // namespace

std::wstring Widen(const std::string& utf8) {
    return WidenUtf8(utf8);
}

std::string Narrow(const wchar_t* text, int length) {
    return NarrowUtf16(text, length);
}

std::string Narrow(const std::wstring& text) {
    return Narrow(text.data(), static_cast<int>(text.size()));
}

Bstr::Bstr(const std::string& utf8) : Bstr(Widen(utf8)) {}

Bstr::Bstr(const std::wstring& text)
    : m_text(SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {
    if (m_text == nullptr) {
        OutOfMemory();
    }
}

Bstr::~Bstr() {
    SysFreeString(m_text);
}

Bstr& Bstr::operator=(Bstr&& other) noexcept {
    if (this != &other) {
        SysFreeString(m_text);
        m_text = other.Release();
    }
    return *this;
}

BSTR Bstr::Release() noexcept {
    return std::exchange(m_text, nullptr);
}

std::string Bstr::Utf8() const {
    return m_text ? Narrow(m_text, static_cast<int>(SysStringLen(m_text))) : std::string();
}

SafeArray::SafeArray(VARTYPE elementType, std::size_t count)
    : m_array(SafeArrayCreateVector(elementType, 0, static_cast<ULONG>(count))) {
    if (m_array == nullptr) {
        OutOfMemory();
    }
}

SafeArray::~SafeArray() {
    if (m_array != nullptr) {
        SafeArrayDestroy(m_array);
    }
}

SafeArray& SafeArray::operator=(SafeArray&& other) noexcept {
    if (this != &other) {
        if (m_array != nullptr) {
            SafeArrayDestroy(m_array);
        }
        m_array = other.Release();
    }
    return *this;
}

SAFEARRAY* SafeArray::Release() noexcept {
    return std::exchange(m_array, nullptr);
}

void SafeArray::Put(LONG index, void* value) {
    if (FAILED(SafeArrayPutElement(m_array, &index, value))) {
        throw Error(errors::kSubscriptOutOfRange, "下标越界");
    }
}

Variant::Variant(const Variant& other) {
    VariantInit(&m_value);
    if (FAILED(VariantCopy(&m_value, const_cast<VARIANT*>(&other.m_value)))) {
        OutOfMemory();
    }
}

Variant& Variant::operator=(const Variant& other) {
    if (this != &other) {
        Variant copy(other);
        *this = std::move(copy);
    }
    return *this;
}

Variant::Variant(Variant&& other) noexcept : m_value(other.m_value) {
    VariantInit(&other.m_value);
}

Variant& Variant::operator=(Variant&& other) noexcept {
    if (this != &other) {
        VariantClear(&m_value);
        m_value = other.m_value;
        VariantInit(&other.m_value);
    }
    return *this;
}

VARIANT* Variant::Out() {
    VariantClear(&m_value);
    return &m_value;
}

Variant Variant::FromBool(bool value) {
    Variant result;
    result.m_value.vt = VT_BOOL;
    result.m_value.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
    return result;
}

Variant Variant::FromInt32(std::int32_t value) {
    Variant result;
    result.m_value.vt = VT_I4;
    result.m_value.lVal = value;
    return result;
}

Variant Variant::FromDouble(double value) {
    Variant result;
    result.m_value.vt = VT_R8;
    result.m_value.dblVal = value;
    return result;
}

Variant Variant::FromString(const std::string& utf8) {
    Variant result;
    Bstr text(utf8);
    result.m_value.vt = VT_BSTR;
    result.m_value.bstrVal = text.Release();
    return result;
}

Variant Variant::FromDispatch(IDispatch* object) {
    Variant result;
    result.m_value.vt = VT_DISPATCH;
    result.m_value.pdispVal = object;
    if (object != nullptr)
        object->AddRef();
    return result;
}

Variant Variant::FromArray(VARTYPE elementType, SafeArray array) {
    Variant result;
    result.m_value.vt = VT_ARRAY | elementType;
    result.m_value.parray = array.Release();
    return result;
}

Variant Variant::Missing() {
    Variant result;
    result.m_value.vt = VT_ERROR;
    result.m_value.scode = DISP_E_PARAMNOTFOUND;
    return result;
}

Variant Variant::RefTo(Variant& target) {
    Variant result;
    result.m_value.vt = VT_BYREF | VT_VARIANT;
    result.m_value.pvarVal = &target.m_value;
    return result;
}

Variant MakePoint(Point point) {
    SafeArray array(VT_R8, 2);
    array.Put(0, &point.x);
    array.Put(1, &point.y);
    return Variant::FromArray(VT_R8, std::move(array));
}

Variant MakeFilterCodes(const std::vector<FilterEntry>& filter) {
    SafeArray array(VT_I2, filter.size());
    for (std::size_t i = 0; i < filter.size(); ++i) {
        SHORT code = filter[i].code;
        array.Put(static_cast<LONG>(i), &code);
    }
    return Variant::FromArray(VT_I2, std::move(array));
}

Variant MakeFilterValues(const std::vector<FilterEntry>& filter) {
    SafeArray array(VT_VARIANT, filter.size());
    for (std::size_t i = 0; i < filter.size(); ++i) {
        Variant value = Variant::FromString(filter[i].value);
        array.Put(static_cast<LONG>(i), &value.Raw());
    }
    return Variant::FromArray(VT_VARIANT, std::move(array));
}

std::int32_t ToInt32(const VARIANT& value) {
    const VARIANT& v = Followed(value);
    switch (v.vt) {
    case VT_I4:
        return v.lVal;
    case VT_I2:
        return v.iVal;
    case VT_BOOL:
        return v.boolVal ? -1 : 0;
    default:
        return Converted(v, VT_I4).Raw().lVal;
    }
}

bool ToBool(const VARIANT& value) {
    const VARIANT& v = Followed(value);
    return v.vt == VT_BOOL ? v.boolVal != VARIANT_FALSE : Converted(v, VT_BOOL).Raw().boolVal;
}

double ToDouble(const VARIANT& value) {
    const VARIANT& v = Followed(value);
    return v.vt == VT_R8 ? v.dblVal : Converted(v, VT_R8).Raw().dblVal;
}

std::string ToString(const VARIANT& value) {
    const VARIANT& v = Followed(value);
    if (v.vt == VT_BSTR) {
        return v.bstrVal ? Narrow(v.bstrVal, static_cast<int>(SysStringLen(v.bstrVal)))
                         : std::string();
    }
    if (v.vt == (VT_BYREF | VT_BSTR) && v.pbstrVal != nullptr) {
        return Narrow(*v.pbstrVal, static_cast<int>(SysStringLen(*v.pbstrVal)));
    }
    if ((v.vt & VT_ARRAY) != 0 || v.vt == VT_DISPATCH || v.vt == VT_UNKNOWN) {
        TypeMismatch();
    }
    return ToString(Converted(v, VT_BSTR).Raw());
}

std::vector<double> ToDoubles(const VARIANT& value) {
    VARTYPE type = VT_EMPTY;
    SAFEARRAY* array = ArrayOf(Followed(value), type);
    std::vector<double> numbers;
    ForEachIndex(array, [&](LONG index) {
        if (type == VT_R8) {
            double number = 0.0;
            SafeArrayGetElement(array, &index, &number);
            numbers.push_back(number);
        } else if (type == VT_VARIANT) {
            Variant element;
            SafeArrayGetElement(array, &index, element.Out());
            numbers.push_back(ToDouble(element.Raw()));
        } else {
            TypeMismatch();
        }
    });
    return numbers;
}

std::vector<std::string> ToStrings(const VARIANT& value) {
    const VARIANT& v = Followed(value);
    if (v.vt == VT_EMPTY) {
        return {};
    }
    VARTYPE type = VT_EMPTY;
    SAFEARRAY* array = ArrayOf(v, type);
    std::vector<std::string> names;
    ForEachIndex(array, [&](LONG index) {
        if (type == VT_BSTR) {
            BSTR raw = nullptr;
            SafeArrayGetElement(array, &index, &raw);
            Variant holder;
            holder.Out()->vt = VT_BSTR;
            holder.Raw().bstrVal = raw;
            names.push_back(ToString(holder.Raw()));
        } else if (type == VT_VARIANT) {
            Variant element;
            SafeArrayGetElement(array, &index, element.Out());
            names.push_back(ToString(element.Raw()));
        } else {
            TypeMismatch();
        }
    });
    return names;
}

Point ToPoint(const VARIANT& value) {
    const std::vector<double> numbers = ToDoubles(value);
    if (numbers.size() < 2 || numbers.size() > 3) {
        TypeMismatch();
    }
    return Point{numbers[0], numbers[1]};
}

} // namespace kw::com

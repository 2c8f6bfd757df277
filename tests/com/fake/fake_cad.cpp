#include "tests/com/fake/fake_cad.h"

#include "com/com_object.h"

#include <algorithm>
#include <cstdio>
#include <cwctype>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace kw::fake {
namespace {

LONG g_liveObjects = 0;
void (*g_quitHandler)() = nullptr;
void (*g_captionHandler)(const wchar_t*) = nullptr;

std::wstring Lower(std::wstring text) {
    for (auto& c : text) {
        c = static_cast<wchar_t>(std::towlower(c));
    }
    return text;
}

bool SameText(const std::wstring& a, const std::wstring& b) {
    return Lower(a) == Lower(b);
}

// A failure raised the way the host raises it: DISP_E_EXCEPTION with the code in scode.
struct Fault {
    HRESULT code;
    std::wstring description;
};

// A failure returned as the bare HRESULT of Invoke.
struct BareFailure {
    HRESULT code;
};

constexpr HRESULT kInvalidArgument = E_INVALIDARG;
constexpr HRESULT kNoActiveDocument = static_cast<HRESULT>(0x80004005);
constexpr HRESULT kCannotOpen = static_cast<HRESULT>(0x80070002);

struct EntityData {
    long type = 0;         // the host's entitytype
    std::wstring dxfName;  // what filter code 0 matches
    std::wstring subclass; // what filter code 100 matches
    std::wstring layer;
    std::wstring name;
    double box[4] = {0, 0, 0, 0}; // xMin, yMin, xMax, yMax
    std::vector<double> coordinates;
};

struct LayoutData {
    std::wstring name;
    long tabOrder = 0;
};

struct DocumentData {
    std::wstring path;
    std::vector<EntityData> entities;
    std::set<std::wstring> selectionSetNames;
    long activeSpace = 1;
    std::shared_ptr<LayoutData> model = std::make_shared<LayoutData>(LayoutData{L"Model", 0});
    std::shared_ptr<LayoutData> paper = std::make_shared<LayoutData>(LayoutData{L"Layout1", 1});
};

struct Injected {
    HRESULT code;
    std::wstring description;
    long skip; // calls to let through first
};

struct World {
    std::map<std::wstring, std::vector<EntityData>> files;
    std::vector<std::shared_ptr<DocumentData>> open; // the last one is active
    long newDrawings = 0;
    bool visible = false;
    long busyCalls = 0;
    HRESULT busyCode = RPC_E_CALL_REJECTED;
    std::set<std::wstring> lacking;            // "kind.member" or "member", lower case
    std::set<std::wstring> lackingInvoke;      // found by name, missing when invoked
    std::map<std::wstring, Injected> failures; // "kind.member", lower case
    std::vector<std::wstring> log;
    std::vector<std::wstring> devices{L"无", L"DWG To PDF.pc3", L"HP LaserJet 5200"};
    std::vector<std::pair<std::wstring, std::wstring>> media{
        {L"ISO_A4_(210.00_x_297.00_MM)", L"ISO A4 (210.00 x 297.00 毫米)"},
        {L"ISO_A3_(420.00_x_297.00_MM)", L"ISO A3 (420.00 x 297.00 毫米)"},
        {L"ISO_A1_(841.00_x_594.00_MM)", L"ISO A1 (841.00 x 594.00 毫米)"}};
    std::vector<std::wstring> styleTables{L"acad.ctb", L"monochrome.ctb", L"黑白.ctb"};
};

std::wstring Number(double value) {
    wchar_t text[64];
    std::swprintf(text, 64, L"%.15g", value);
    return text;
}

// Line breaks shown as \r and \n, so that one call stays one line of the log.
std::wstring Escaped(const std::wstring& text) {
    std::wstring escaped;
    for (wchar_t c : text) {
        escaped += c == L'\r' ? L"\\r" : c == L'\n' ? L"\\n" : std::wstring(1, c);
    }
    return escaped;
}

std::wstring Render(const VARIANT& value);

std::wstring RenderArray(SAFEARRAY* array, VARTYPE type) {
    if (array == nullptr) {
        return L"[null]";
    }
    LONG lower = 0;
    LONG upper = -1;
    SafeArrayGetLBound(array, 1, &lower);
    SafeArrayGetUBound(array, 1, &upper);
    std::wstring text = L"[";
    for (LONG i = lower; i <= upper; ++i) {
        VARIANT element;
        VariantInit(&element);
        if (type == VT_VARIANT) {
            SafeArrayGetElement(array, &i, &element);
        } else {
            element.vt = type;
            SafeArrayGetElement(array, &i, &element.lVal);
        }
        text += (i > lower ? L"," : L"") + Render(element);
        VariantClear(&element);
    }
    return text + L"]";
}

std::wstring Render(const VARIANT& value) {
    if (value.vt == (VT_BYREF | VT_VARIANT)) {
        return L"&" + Render(*value.pvarVal);
    }
    if (value.vt & VT_ARRAY) {
        return RenderArray((value.vt & VT_BYREF) ? *value.pparray : value.parray,
                           value.vt & VT_TYPEMASK);
    }
    switch (value.vt) {
    case VT_EMPTY:
        return L"Empty";
    case VT_ERROR:
        return value.scode == DISP_E_PARAMNOTFOUND ? L"-" : L"Error";
    case VT_BOOL:
        return value.boolVal ? L"True" : L"False";
    case VT_I2:
        return std::to_wstring(value.iVal);
    case VT_I4:
        return std::to_wstring(value.lVal);
    case VT_R8:
        return Number(value.dblVal);
    case VT_BSTR:
        return L"\"" + Escaped(value.bstrVal ? value.bstrVal : L"") + L"\"";
    case VT_DISPATCH:
        return L"Object";
    default:
        return L"vt" + std::to_wstring(value.vt);
    }
}

const VARIANT& Deref(const VARIANT& value) {
    return value.vt == (VT_BYREF | VT_VARIANT) ? *value.pvarVal : value;
}

// One call as the object sees it: arguments in natural order.
class Call {
public:
    Call(DISPPARAMS* parameters, WORD flags, VARIANT* result, std::wstring member)
        : m_parameters(parameters), m_flags(flags), m_result(result), m_member(std::move(member)) {}

    bool IsPut() const { return (m_flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0; }
    UINT Count() const { return m_parameters ? m_parameters->cArgs : 0; }
    const VARIANT& Arg(UINT index) const {
        return m_parameters->rgvarg[m_parameters->cArgs - 1 - index];
    }
    std::wstring Rendered() const {
        std::wstring text;
        for (UINT i = 0; i < Count(); ++i) {
            text += (i ? L", " : L"") + Render(Arg(i));
        }
        return text;
    }

    [[noreturn]] void Invalid(const std::wstring& what) const {
        throw Fault{kInvalidArgument, L"Invalid argument " + what + L" in " + m_member};
    }
    void ExpectCount(UINT low, UINT high) const {
        if (Count() < low || Count() > high) {
            throw BareFailure{DISP_E_BADPARAMCOUNT};
        }
    }
    // A property put must come flagged as one, with DISPID_PROPERTYPUT named.
    void ExpectPut() const {
        if (!IsPut() || m_parameters->cNamedArgs != 1 ||
            m_parameters->rgdispidNamedArgs[0] != DISPID_PROPERTYPUT || Count() != 1) {
            throw BareFailure{DISP_E_MEMBERNOTFOUND};
        }
    }
    void ExpectGet() const {
        if ((m_flags & DISPATCH_PROPERTYGET) == 0 || Count() != 0) {
            throw BareFailure{DISP_E_MEMBERNOTFOUND};
        }
    }
    void ExpectMethod(UINT low, UINT high) const {
        if ((m_flags & DISPATCH_METHOD) == 0) {
            throw BareFailure{DISP_E_MEMBERNOTFOUND};
        }
        ExpectCount(low, high);
    }

    std::wstring String(UINT index, const wchar_t* what) const {
        const VARIANT& v = Deref(Arg(index));
        if (v.vt == VT_BSTR) {
            return v.bstrVal ? v.bstrVal : L"";
        }
        if (v.vt == (VT_BYREF | VT_BSTR)) {
            return *v.pbstrVal ? *v.pbstrVal : L"";
        }
        Invalid(what);
    }
    // The host coerces scalar numbers, as any automation server does.
    long Integer(UINT index, const wchar_t* what) const {
        const VARIANT& v = Deref(Arg(index));
        switch (v.vt) {
        case VT_I2:
            return v.iVal;
        case VT_I4:
            return v.lVal;
        case VT_UI1:
            return v.bVal;
        default:
            Invalid(what);
        }
    }
    double Real(UINT index, const wchar_t* what) const {
        const VARIANT& v = Deref(Arg(index));
        if (v.vt == VT_R8) {
            return v.dblVal;
        }
        if (v.vt == VT_R4) {
            return v.fltVal;
        }
        return Integer(index, what);
    }
    bool Boolean(UINT index, const wchar_t* what) const {
        const VARIANT& v = Deref(Arg(index));
        if (v.vt != VT_BOOL) {
            Invalid(what);
        }
        return v.boolVal != VARIANT_FALSE;
    }
    // An object argument, by value or by reference.
    IDispatch* Object(UINT index, const wchar_t* what) const {
        const VARIANT& v = Deref(Arg(index));
        IDispatch* object = v.vt == VT_DISPATCH                  ? v.pdispVal
                            : v.vt == (VT_BYREF | VT_DISPATCH) ? *v.ppdispVal
                                                                 : nullptr;
        if (object == nullptr) {
            Invalid(what);
        }
        return object;
    }
    bool Omitted(UINT index) const {
        const VARIANT& v = Arg(index);
        return v.vt == VT_ERROR && v.scode == DISP_E_PARAMNOTFOUND;
    }
    // The array inside an argument, by value or by reference, of exactly this element type.
    SAFEARRAY* Array(UINT index, VARTYPE elementType, const wchar_t* what) const {
        const VARIANT& v = Deref(Arg(index));
        SAFEARRAY* array = nullptr;
        if (v.vt == (VT_ARRAY | elementType)) {
            array = v.parray;
        } else if (v.vt == (VT_BYREF | VT_ARRAY | elementType)) {
            array = *v.pparray;
        }
        if (array == nullptr || SafeArrayGetDim(array) != 1) {
            Invalid(what);
        }
        return array;
    }
    // A point: VT_ARRAY|VT_R8 with `size` elements.
    std::vector<double> Point(UINT index, LONG size, const wchar_t* what) const {
        SAFEARRAY* array = Array(index, VT_R8, what);
        LONG lower = 0;
        LONG upper = -1;
        SafeArrayGetLBound(array, 1, &lower);
        SafeArrayGetUBound(array, 1, &upper);
        if (upper - lower + 1 != size) {
            Invalid(what);
        }
        std::vector<double> values;
        for (LONG i = lower; i <= upper; ++i) {
            double value = 0;
            SafeArrayGetElement(array, &i, &value);
            values.push_back(value);
        }
        return values;
    }

    VARIANT* Result() const { return m_result; }
    void ReturnString(const std::wstring& text) const {
        if (m_result) {
            m_result->vt = VT_BSTR;
            m_result->bstrVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
        }
    }
    void ReturnLong(long value) const {
        if (m_result) {
            m_result->vt = VT_I4;
            m_result->lVal = value;
        }
    }
    void ReturnBool(bool value) const {
        if (m_result) {
            m_result->vt = VT_BOOL;
            m_result->boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
        }
    }
    void ReturnObject(IDispatch* object) const {
        if (m_result) {
            m_result->vt = VT_DISPATCH;
            m_result->pdispVal = object;
        } else {
            object->Release();
        }
    }
    void ReturnArray(SAFEARRAY* array, VARTYPE type) const {
        if (m_result) {
            m_result->vt = VT_ARRAY | type;
            m_result->parray = array;
        } else {
            SafeArrayDestroy(array);
        }
    }

private:
    DISPPARAMS* m_parameters;
    WORD m_flags;
    VARIANT* m_result;
    std::wstring m_member;
};

SAFEARRAY* DoubleArray(const std::vector<double>& values) {
    SAFEARRAY* array = SafeArrayCreateVector(VT_R8, 0, static_cast<ULONG>(values.size()));
    for (LONG i = 0; i < static_cast<LONG>(values.size()); ++i) {
        double value = values[static_cast<std::size_t>(i)];
        SafeArrayPutElement(array, &i, &value);
    }
    return array;
}

// Names as VT_BSTR or VT_VARIANT elements, numbered from `lower`.
SAFEARRAY* NameArray(const std::vector<std::wstring>& names, VARTYPE type, LONG lower) {
    SAFEARRAYBOUND bound{static_cast<ULONG>(names.size()), lower};
    SAFEARRAY* array = SafeArrayCreate(type, 1, &bound);
    for (std::size_t i = 0; i < names.size(); ++i) {
        LONG index = lower + static_cast<LONG>(i);
        BSTR text = SysAllocString(names[i].c_str());
        if (type == VT_BSTR) {
            SafeArrayPutElement(array, &index, text);
        } else {
            VARIANT element;
            element.vt = VT_BSTR;
            element.bstrVal = text;
            SafeArrayPutElement(array, &index, &element);
        }
        SysFreeString(text);
    }
    return array;
}

class Object : public com::ComObject<IDispatch, IID_IDispatch> {
public:
    Object(std::shared_ptr<World> world, std::wstring kind)
        : m_world(std::move(world)), m_kind(std::move(kind)) {
        InterlockedIncrement(&g_liveObjects);
    }
    virtual ~Object() { InterlockedDecrement(&g_liveObjects); }

    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        if (count) {
            *count = 0;
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }

    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID,
                                            DISPID* ids) override {
        if (names == nullptr || ids == nullptr || count == 0) {
            return E_INVALIDARG;
        }
        const std::wstring name = Lower(names[0]);
        const auto& members = Members();
        HRESULT result = DISP_E_UNKNOWNNAME;
        ids[0] = DISPID_UNKNOWN;
        if (!m_world->lacking.count(name) && !m_world->lacking.count(Lower(m_kind) + L"." + name)) {
            for (std::size_t i = 0; i < members.size(); ++i) {
                if (Lower(members[i]) == name) {
                    ids[0] = static_cast<DISPID>(i + 1);
                    result = S_OK;
                }
            }
        }
        for (UINT i = 1; i < count; ++i) {
            ids[i] = DISPID_UNKNOWN;
        }
        return count > 1 && SUCCEEDED(result) ? DISP_E_UNKNOWNNAME : result;
    }

    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* parameters,
                                     VARIANT* result, EXCEPINFO* exception,
                                     UINT* argumentError) override {
        const auto& members = Members();
        if (id < 1 || static_cast<std::size_t>(id) > members.size()) {
            return DISP_E_MEMBERNOTFOUND;
        }
        if (argumentError) {
            *argumentError = 0;
        }
        const std::wstring& member = members[static_cast<std::size_t>(id - 1)];
        const std::wstring qualified = Lower(m_kind + L"." + member);
        const bool control = member.rfind(L"Fake", 0) == 0;
        World& world = *m_world;
        if (result) {
            VariantInit(result);
        }
        if (!control) {
            if (world.busyCalls > 0) {
                --world.busyCalls;
                return world.busyCode;
            }
            if (world.lackingInvoke.count(Lower(member)) || world.lackingInvoke.count(qualified)) {
                return DISP_E_MEMBERNOTFOUND;
            }
        }
        Call call(parameters, flags, result, member);
        try {
            if (!control) {
                std::wstring line = m_kind + L"." + member;
                if (call.IsPut()) {
                    line += L" = " + call.Rendered();
                } else if ((flags & DISPATCH_METHOD) && call.Count() > 0) {
                    line += L"(" + call.Rendered() + L")";
                }
                world.log.push_back(line);
                if (auto found = world.failures.find(qualified); found != world.failures.end()) {
                    if (found->second.skip-- <= 0) {
                        const Fault fault{found->second.code, found->second.description};
                        world.failures.erase(found);
                        throw fault;
                    }
                }
            }
            Handle(member, call);
            return S_OK;
        } catch (const Fault& fault) {
            if (result) {
                VariantClear(result);
            }
            if (exception == nullptr) {
                return fault.code;
            }
            *exception = EXCEPINFO{};
            exception->bstrSource = SysAllocString(L"AutoCAD.Application");
            exception->bstrDescription = SysAllocString(fault.description.c_str());
            exception->scode = fault.code;
            return DISP_E_EXCEPTION;
        } catch (const BareFailure& failure) {
            if (result) {
                VariantClear(result);
            }
            return failure.code;
        }
    }

protected:
    virtual const std::vector<std::wstring>& Members() const = 0;
    virtual void Handle(const std::wstring& member, const Call& call) = 0;

    std::shared_ptr<World> m_world;
    std::wstring m_kind;

private:
};

template <typename T, typename... Args> IDispatch* New(Args&&... args) {
    return new T(std::forward<Args>(args)...);
}

class Entity final : public Object {
public:
    Entity(std::shared_ptr<World> world, std::shared_ptr<DocumentData> document, std::size_t index)
        : Object(std::move(world), L"Entity"), m_document(std::move(document)), m_index(index) {}

protected:
    const std::vector<std::wstring>& Members() const override {
        // Polylines and lines have no Name; only polylines have Coordinates.
        static const std::vector<std::wstring> polyline{L"EntityType", L"Layer", L"ObjectName",
                                                        L"GetBoundingBox", L"Coordinates"};
        static const std::vector<std::wstring> reference{L"EntityType", L"Layer", L"ObjectName",
                                                         L"GetBoundingBox", L"Name"};
        static const std::vector<std::wstring> other{L"EntityType", L"Layer", L"ObjectName",
                                                     L"GetBoundingBox"};
        const long type = Data().type;
        return type == 24 ? polyline : (type == 7 || type == 42) ? reference : other;
    }

    void Handle(const std::wstring& member, const Call& call) override {
        const EntityData& data = Data();
        if (member == L"EntityType") {
            call.ExpectGet();
            call.ReturnLong(data.type);
        } else if (member == L"Layer") {
            call.ExpectGet();
            call.ReturnString(data.layer);
        } else if (member == L"Name") {
            call.ExpectGet();
            call.ReturnString(data.name);
        } else if (member == L"ObjectName") {
            call.ExpectGet();
            call.ReturnString(data.subclass);
        } else if (member == L"Coordinates") {
            call.ExpectGet();
            call.ReturnArray(DoubleArray(data.coordinates), VT_R8);
        } else if (member == L"GetBoundingBox") {
            call.ExpectMethod(2, 2);
            for (UINT i = 0; i < 2; ++i) {
                if (call.Arg(i).vt != (VT_BYREF | VT_VARIANT)) {
                    call.Invalid(i == 0 ? L"MinPoint" : L"MaxPoint");
                }
            }
            for (UINT i = 0; i < 2; ++i) {
                VARIANT* out = call.Arg(i).pvarVal;
                VariantClear(out);
                out->vt = VT_ARRAY | VT_R8;
                out->parray = DoubleArray({data.box[i * 2], data.box[i * 2 + 1], 0.0});
            }
        }
    }

private:
    const EntityData& Data() const { return m_document->entities[m_index]; }

    std::shared_ptr<DocumentData> m_document;
    std::size_t m_index;
};

bool Matches(const EntityData& entity, short code, const std::wstring& value) {
    switch (code) {
    case 0:
        return SameText(entity.dxfName, value);
    case 8:
        return SameText(entity.layer, value);
    case 2:
        return SameText(entity.name, value);
    case 100:
        return SameText(entity.subclass, value) ||
               (entity.type != 24 && SameText(value, L"AcDbBlockReference") &&
                (entity.type == 7 || entity.type == 42));
    default:
        return false;
    }
}

class SelectionSet final : public Object {
public:
    SelectionSet(std::shared_ptr<World> world, std::shared_ptr<DocumentData> document,
                 std::wstring name)
        : Object(std::move(world), L"SelectionSet"), m_document(std::move(document)),
          m_name(std::move(name)) {}

protected:
    const std::vector<std::wstring>& Members() const override {
        static const std::vector<std::wstring> members{L"Select", L"SelectOnScreen", L"Count",
                                                       L"Item",   L"Delete",         L"Clear"};
        return members;
    }

    void Handle(const std::wstring& member, const Call& call) override {
        if (member == L"Select") {
            Select(call);
        } else if (member == L"SelectOnScreen") {
            // The user of the fake picks everything in the drawing.
            call.ExpectMethod(0, 2);
            for (std::size_t i = 0; i < m_document->entities.size(); ++i) {
                m_items.push_back(i);
            }
        } else if (member == L"Count") {
            call.ExpectGet();
            call.ReturnLong(static_cast<long>(m_items.size()));
        } else if (member == L"Item") {
            call.ExpectMethod(1, 1);
            const long index = call.Integer(0, L"Index");
            if (index < 0 || index >= static_cast<long>(m_items.size())) {
                call.Invalid(L"Index");
            }
            call.ReturnObject(
                New<Entity>(m_world, m_document, m_items[static_cast<std::size_t>(index)]));
        } else if (member == L"Delete" || member == L"Clear") {
            call.ExpectMethod(0, 0);
            m_items.clear();
            if (member == L"Delete") {
                m_document->selectionSetNames.erase(Lower(m_name));
            }
        }
    }

private:
    void Select(const Call& call) {
        call.ExpectMethod(1, 5);
        if (call.Integer(0, L"Mode") != 5) {
            call.Invalid(L"Mode");
        }
        // Select all takes no corners: both must be left out.
        if (call.Count() < 5 || !call.Omitted(1) || !call.Omitted(2)) {
            call.Invalid(L"Point1");
        }
        SAFEARRAY* codes = call.Array(3, VT_I2, L"FilterType");
        SAFEARRAY* values = call.Array(4, VT_VARIANT, L"FilterData");
        LONG codeLower = 0, codeUpper = -1, valueLower = 0, valueUpper = -1;
        SafeArrayGetLBound(codes, 1, &codeLower);
        SafeArrayGetUBound(codes, 1, &codeUpper);
        SafeArrayGetLBound(values, 1, &valueLower);
        SafeArrayGetUBound(values, 1, &valueUpper);
        if (codeUpper - codeLower != valueUpper - valueLower) {
            call.Invalid(L"FilterData");
        }
        std::vector<std::pair<short, std::wstring>> filter;
        for (LONG i = 0; i <= codeUpper - codeLower; ++i) {
            LONG codeIndex = codeLower + i;
            LONG valueIndex = valueLower + i;
            short code = 0;
            SafeArrayGetElement(codes, &codeIndex, &code);
            VARIANT value;
            VariantInit(&value);
            SafeArrayGetElement(values, &valueIndex, &value);
            if (value.vt != VT_BSTR) {
                VariantClear(&value);
                call.Invalid(L"FilterData");
            }
            filter.emplace_back(code, value.bstrVal ? value.bstrVal : L"");
            VariantClear(&value);
        }
        for (std::size_t i = 0; i < m_document->entities.size(); ++i) {
            const EntityData& entity = m_document->entities[i];
            if (std::all_of(filter.begin(), filter.end(), [&](const auto& entry) {
                    return Matches(entity, entry.first, entry.second);
                })) {
                m_items.push_back(i);
            }
        }
    }

    std::shared_ptr<DocumentData> m_document;
    std::wstring m_name;
    std::vector<std::size_t> m_items;
};

class SelectionSets final : public Object {
public:
    SelectionSets(std::shared_ptr<World> world, std::shared_ptr<DocumentData> document)
        : Object(std::move(world), L"SelectionSets"), m_document(std::move(document)) {}

protected:
    const std::vector<std::wstring>& Members() const override {
        static const std::vector<std::wstring> members{L"Add", L"Count"};
        return members;
    }

    void Handle(const std::wstring& member, const Call& call) override {
        if (member == L"Count") {
            call.ExpectGet();
            call.ReturnLong(static_cast<long>(m_document->selectionSetNames.size()));
            return;
        }
        call.ExpectMethod(1, 1);
        const std::wstring name = call.String(0, L"Name");
        if (name.empty() || !m_document->selectionSetNames.insert(Lower(name)).second) {
            throw Fault{kInvalidArgument, L"Duplicate record name"};
        }
        call.ReturnObject(New<SelectionSet>(m_world, m_document, name));
    }

private:
    std::shared_ptr<DocumentData> m_document;
};

class Layout final : public Object {
public:
    Layout(std::shared_ptr<World> world, std::shared_ptr<LayoutData> data)
        : Object(std::move(world), L"Layout:" + data->name), m_data(std::move(data)) {}

protected:
    const std::vector<std::wstring>& Members() const override {
        static const std::vector<std::wstring> members{L"ConfigName",
                                                       L"StyleSheet",
                                                       L"CanonicalMediaName",
                                                       L"PaperUnits",
                                                       L"PlotType",
                                                       L"PlotRotation",
                                                       L"PlotWithLineweights",
                                                       L"PlotWithPlotStyles",
                                                       L"PlotHidden",
                                                       L"CenterPlot",
                                                       L"PlotOrigin",
                                                       L"SetWindowToPlot",
                                                       L"SetCustomScale",
                                                       L"RefreshPlotDeviceInfo",
                                                       L"GetPlotDeviceNames",
                                                       L"GetCanonicalMediaNames",
                                                       L"GetPlotStyleTableNames",
                                                       L"GetLocaleMediaName",
                                                       L"Name",
                                                       L"TabOrder"};
        return members;
    }

    void Handle(const std::wstring& member, const Call& call) override {
        World& world = *m_world;
        if (member == L"Name") {
            call.ExpectGet();
            call.ReturnString(m_data->name);
        } else if (member == L"TabOrder") {
            call.ExpectGet();
            call.ReturnLong(m_data->tabOrder);
        } else if (member == L"ConfigName" || member == L"StyleSheet" ||
                   member == L"CanonicalMediaName") {
            call.ExpectPut();
            call.String(0, member.c_str());
        } else if (member == L"PaperUnits" || member == L"PlotType" || member == L"PlotRotation") {
            call.ExpectPut();
            const long value = call.Integer(0, member.c_str());
            const long highest = member == L"PaperUnits" ? 2 : member == L"PlotType" ? 5 : 3;
            if (value < 0 || value > highest) {
                call.Invalid(member);
            }
        } else if (member == L"PlotWithLineweights" || member == L"PlotWithPlotStyles" ||
                   member == L"PlotHidden" || member == L"CenterPlot") {
            call.ExpectPut();
            call.Boolean(0, member.c_str());
        } else if (member == L"PlotOrigin") {
            call.ExpectPut();
            call.Point(0, 2, L"PlotOrigin");
        } else if (member == L"SetWindowToPlot") {
            call.ExpectMethod(2, 2);
            call.Point(0, 2, L"LowerLeft");
            call.Point(1, 2, L"UpperRight");
        } else if (member == L"SetCustomScale") {
            call.ExpectMethod(2, 2);
            if (call.Real(0, L"Numerator") <= 0) {
                call.Invalid(L"Numerator");
            }
            if (call.Real(1, L"Denominator") <= 0) {
                call.Invalid(L"Denominator");
            }
        } else if (member == L"RefreshPlotDeviceInfo") {
            call.ExpectMethod(0, 0);
        } else if (member == L"GetPlotDeviceNames") {
            call.ExpectMethod(0, 0);
            call.ReturnArray(NameArray(world.devices, VT_BSTR, 0), VT_BSTR);
        } else if (member == L"GetCanonicalMediaNames") {
            call.ExpectMethod(0, 0);
            std::vector<std::wstring> names;
            for (const auto& [canonical, local] : world.media) {
                names.push_back(canonical);
            }
            call.ReturnArray(NameArray(names, VT_VARIANT, 0), VT_VARIANT);
        } else if (member == L"GetPlotStyleTableNames") {
            call.ExpectMethod(0, 0);
            call.ReturnArray(NameArray(world.styleTables, VT_BSTR, 0), VT_BSTR);
        } else if (member == L"GetLocaleMediaName") {
            call.ExpectMethod(1, 1);
            const std::wstring canonical = call.String(0, L"Name");
            for (const auto& [name, local] : world.media) {
                if (name == canonical) {
                    call.ReturnString(local);
                    return;
                }
            }
            call.Invalid(L"Name");
        }
    }

private:
    std::shared_ptr<LayoutData> m_data;
};

class Space final : public Object {
public:
    Space(std::shared_ptr<World> world, std::wstring kind, std::shared_ptr<LayoutData> layout)
        : Object(std::move(world), std::move(kind)), m_layout(std::move(layout)) {}

protected:
    const std::vector<std::wstring>& Members() const override {
        static const std::vector<std::wstring> members{L"Layout", L"Count"};
        return members;
    }
    void Handle(const std::wstring& member, const Call& call) override {
        call.ExpectGet();
        if (member == L"Count") {
            call.ReturnLong(0);
        } else {
            call.ReturnObject(New<Layout>(m_world, m_layout));
        }
    }

private:
    std::shared_ptr<LayoutData> m_layout;
};

class Plot final : public Object {
public:
    explicit Plot(std::shared_ptr<World> world) : Object(std::move(world), L"Plot") {}

protected:
    const std::vector<std::wstring>& Members() const override {
        static const std::vector<std::wstring> members{L"NumberOfCopies", L"PlotToDevice",
                                                       L"DisplayPlotPreview"};
        return members;
    }
    void Handle(const std::wstring& member, const Call& call) override {
        if (member == L"NumberOfCopies") {
            call.ExpectPut();
            if (call.Integer(0, L"NumberOfCopies") < 1) {
                call.Invalid(L"NumberOfCopies");
            }
        } else if (member == L"PlotToDevice") {
            call.ExpectMethod(0, 1);
            call.ReturnBool(true);
        } else {
            call.ExpectMethod(1, 1);
            const long type = call.Integer(0, L"Preview");
            if (type != 0 && type != 1) {
                call.Invalid(L"Preview");
            }
        }
    }
};

class Utility final : public Object {
public:
    explicit Utility(std::shared_ptr<World> world) : Object(std::move(world), L"Utility") {}

protected:
    const std::vector<std::wstring>& Members() const override {
        static const std::vector<std::wstring> members{L"Prompt"};
        return members;
    }
    void Handle(const std::wstring&, const Call& call) override {
        call.ExpectMethod(1, 1);
        call.String(0, L"Message");
    }
};

// The name of a layout handed back by a client: asked through its own IDispatch, as the host
// would, since an object of the out-of-process fake reaches it as a proxy.
std::wstring LayoutNameOf(IDispatch* layout) {
    OLECHAR name[] = L"Name";
    LPOLESTR names[] = {name};
    DISPID id = 0;
    VARIANT result;
    VariantInit(&result);
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    if (FAILED(layout->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id)) ||
        FAILED(layout->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none,
                              &result, nullptr, nullptr)) ||
        result.vt != VT_BSTR) {
        VariantClear(&result);
        return {};
    }
    std::wstring text = result.bstrVal ? result.bstrVal : L"";
    VariantClear(&result);
    return text;
}

// A drawing's layouts: Model and Layout1, by index or by name.
class Layouts final : public Object {
public:
    Layouts(std::shared_ptr<World> world, std::shared_ptr<DocumentData> data)
        : Object(std::move(world), L"Layouts"), m_data(std::move(data)) {}

protected:
    const std::vector<std::wstring>& Members() const override {
        static const std::vector<std::wstring> members{L"Count", L"Item"};
        return members;
    }
    void Handle(const std::wstring& member, const Call& call) override {
        // The paper layout comes first, as the host's collection need not follow the tabs.
        const std::shared_ptr<LayoutData> layouts[] = {m_data->paper, m_data->model};
        if (member == L"Count") {
            call.ExpectGet();
            call.ReturnLong(2);
            return;
        }
        call.ExpectMethod(1, 1);
        const VARIANT& index = call.Arg(0);
        if (index.vt == VT_BSTR || index.vt == (VT_BYREF | VT_BSTR)) {
            const std::wstring name = call.String(0, L"Index");
            for (const auto& layout : layouts) {
                if (_wcsicmp(layout->name.c_str(), name.c_str()) == 0) {
                    call.ReturnObject(New<Layout>(m_world, layout));
                    return;
                }
            }
            call.Invalid(L"Index");
        }
        const long at = call.Integer(0, L"Index");
        if (at < 0 || at > 1) {
            call.Invalid(L"Index");
        }
        call.ReturnObject(New<Layout>(m_world, layouts[at]));
    }

private:
    std::shared_ptr<DocumentData> m_data;
};

class Document final : public Object {
public:
    Document(std::shared_ptr<World> world, std::shared_ptr<DocumentData> data)
        : Object(std::move(world), L"Document"), m_data(std::move(data)) {}

protected:
    const std::vector<std::wstring>& Members() const override {
        static const std::vector<std::wstring> members{
            L"ActiveLayout", L"ActiveSpace",   L"ModelSpace", L"PaperSpace",
            L"Utility",      L"SelectionSets", L"Plot",       L"SendCommand",
            L"Close",        L"Name",          L"FullName",   L"Layouts"};
        return members;
    }

    void Handle(const std::wstring& member, const Call& call) override {
        if (member == L"ActiveLayout" && call.IsPut()) {
            call.ExpectPut();
            const std::wstring name = LayoutNameOf(call.Object(0, L"ActiveLayout"));
            if (name == m_data->model->name) {
                m_data->activeSpace = 1;
            } else if (name == m_data->paper->name) {
                m_data->activeSpace = 0;
            } else {
                call.Invalid(L"ActiveLayout");
            }
        } else if (member == L"SendCommand") {
            call.ExpectMethod(1, 1);
            call.String(0, L"Command");
        } else if (member == L"Close") {
            call.ExpectMethod(0, 2);
            if (call.Count() > 0) {
                call.Boolean(0, L"SaveChanges");
            }
            auto& open = m_world->open;
            open.erase(std::remove(open.begin(), open.end(), m_data), open.end());
        } else {
            call.ExpectGet();
            if (member == L"ActiveLayout") {
                call.ReturnObject(
                    New<Layout>(m_world, m_data->activeSpace == 1 ? m_data->model : m_data->paper));
            } else if (member == L"ActiveSpace") {
                call.ReturnLong(m_data->activeSpace);
            } else if (member == L"ModelSpace") {
                call.ReturnObject(New<Space>(m_world, L"ModelSpace", m_data->model));
            } else if (member == L"PaperSpace") {
                call.ReturnObject(New<Space>(m_world, L"PaperSpace", m_data->paper));
            } else if (member == L"Utility") {
                call.ReturnObject(New<Utility>(m_world));
            } else if (member == L"SelectionSets") {
                call.ReturnObject(New<SelectionSets>(m_world, m_data));
            } else if (member == L"Plot") {
                call.ReturnObject(New<Plot>(m_world));
            } else if (member == L"Layouts") {
                call.ReturnObject(New<Layouts>(m_world, m_data));
            } else if (member == L"Name" || member == L"FullName") {
                const std::wstring& path = m_data->path;
                const auto slash = path.find_last_of(L"\\/");
                call.ReturnString(member == L"Name" && slash != std::wstring::npos
                                      ? path.substr(slash + 1)
                                      : path);
            }
        }
    }

private:
    std::shared_ptr<DocumentData> m_data;
};

IDispatch* NewDocument(const std::shared_ptr<World>& world, std::shared_ptr<DocumentData> data) {
    return New<Document>(world, std::move(data));
}

std::shared_ptr<DocumentData> NewDrawing(World& world) {
    auto data = std::make_shared<DocumentData>();
    data->path = L"Drawing" + std::to_wstring(++world.newDrawings) + L".dwg";
    world.open.push_back(data);
    return data;
}

std::shared_ptr<DocumentData> OpenDrawing(World& world, const std::wstring& path) {
    auto file = world.files.find(path);
    if (file == world.files.end()) {
        throw Fault{kCannotOpen, L"Error opening drawing " + path};
    }
    auto data = std::make_shared<DocumentData>();
    data->path = path;
    data->entities = file->second;
    world.open.push_back(data);
    return data;
}

class Documents final : public Object {
public:
    explicit Documents(std::shared_ptr<World> world) : Object(std::move(world), L"Documents") {}

protected:
    const std::vector<std::wstring>& Members() const override {
        static const std::vector<std::wstring> members{L"Add", L"Open", L"Count"};
        return members;
    }
    void Handle(const std::wstring& member, const Call& call) override {
        World& world = *m_world;
        if (member == L"Count") {
            call.ExpectGet();
            call.ReturnLong(static_cast<long>(world.open.size()));
        } else if (member == L"Add") {
            call.ExpectMethod(0, 1);
            if (call.Count() == 1) {
                const std::wstring path = call.String(0, L"TemplateName");
                if (!world.files.count(path)) {
                    throw Fault{kCannotOpen, L"Error opening template " + path};
                }
            }
            call.ReturnObject(NewDocument(m_world, NewDrawing(world)));
        } else {
            call.ExpectMethod(1, 3);
            call.ReturnObject(NewDocument(m_world, OpenDrawing(world, call.String(0, L"Name"))));
        }
    }
};

EntityData MakeEntity(long type, std::wstring layer, std::wstring name) {
    EntityData entity;
    entity.type = type;
    entity.layer = std::move(layer);
    entity.name = std::move(name);
    switch (type) {
    case 24:
        entity.dxfName = L"LWPOLYLINE";
        entity.subclass = L"AcDbPolyline";
        break;
    case 7:
        entity.dxfName = L"INSERT";
        entity.subclass = L"AcDbBlockReference";
        break;
    case 42:
        entity.dxfName = L"INSERT";
        entity.subclass = L"AcDbExternalReference";
        break;
    case 19:
        entity.dxfName = L"LINE";
        entity.subclass = L"AcDbLine";
        break;
    default:
        entity.dxfName = L"POLYLINE";
        entity.subclass = L"AcDb2dPolyline";
        break;
    }
    return entity;
}

class Application final : public Object {
public:
    Application() : Object(std::make_shared<World>(), L"Application") {
        m_world->files[kTemplate] = {};
    }

    static constexpr const wchar_t* kFullName = L"C:\\Program Files\\Fake CAD\\acad.exe";
    static constexpr const wchar_t* kTemplate = L"C:\\Program Files\\Fake CAD\\TEMPLATE\\acad.dwt";

protected:
    const std::vector<std::wstring>& Members() const override {
        static const std::vector<std::wstring> members{
            L"Visible", L"ActiveDocument", L"Documents", L"Caption", L"FullName", L"Version",
            // Steering from the tests.
            L"FakeAddDrawing", L"FakeAddPolyline", L"FakeAddEntity", L"FakeOpen", L"FakeSetBusy",
            L"FakeBusyLeft", L"FakeLack", L"FakeFail", L"FakeLog", L"FakeClearLog",
            L"FakeOpenDocuments", L"FakeRaise", L"FakeNames", L"FakeSetActiveSpace",
            L"FakeSelectionSetCount", L"FakeQuit", L"FakeProcessId"};
        return members;
    }

    void Handle(const std::wstring& member, const Call& call) override {
        World& world = *m_world;
        if (member == L"Visible") {
            if (call.IsPut()) {
                call.ExpectPut();
                world.visible = call.Boolean(0, L"Visible");
            } else {
                call.ExpectGet();
                call.ReturnBool(world.visible);
            }
        } else if (member == L"ActiveDocument") {
            call.ExpectGet();
            if (world.open.empty()) {
                throw Fault{kNoActiveDocument, L"No active document"};
            }
            call.ReturnObject(NewDocument(m_world, world.open.back()));
        } else if (member == L"Documents") {
            call.ExpectGet();
            call.ReturnObject(New<Documents>(m_world));
        } else if (member == L"Caption") {
            call.ExpectGet();
            const std::wstring caption =
                L"Fake CAD - [" +
                (world.open.empty() ? std::wstring() : world.open.back()->path) + L"]";
            // The main window's title says the same, as the host's does.
            if (g_captionHandler) {
                g_captionHandler(caption.c_str());
            }
            call.ReturnString(caption);
        } else if (member == L"FullName") {
            call.ExpectGet();
            call.ReturnString(kFullName);
        } else if (member == L"Version") {
            call.ExpectGet();
            call.ReturnString(L"15.0");
        } else {
            Steer(member, call);
        }
    }

private:
    void Steer(const std::wstring& member, const Call& call) {
        World& world = *m_world;
        if (member == L"FakeAddDrawing") {
            world.files[call.String(0, L"Path")];
        } else if (member == L"FakeAddPolyline") {
            // (path, layer, coordinates as VT_ARRAY|VT_R8)
            EntityData entity = MakeEntity(24, call.String(1, L"Layer"), L"");
            SAFEARRAY* array = call.Array(2, VT_R8, L"Coordinates");
            LONG lower = 0, upper = -1;
            SafeArrayGetLBound(array, 1, &lower);
            SafeArrayGetUBound(array, 1, &upper);
            for (LONG i = lower; i <= upper; ++i) {
                double value = 0;
                SafeArrayGetElement(array, &i, &value);
                entity.coordinates.push_back(value);
            }
            entity.box[0] = entity.box[1] = 1e300;
            entity.box[2] = entity.box[3] = -1e300;
            for (std::size_t i = 0; i + 1 < entity.coordinates.size(); i += 2) {
                entity.box[0] = std::min(entity.box[0], entity.coordinates[i]);
                entity.box[1] = std::min(entity.box[1], entity.coordinates[i + 1]);
                entity.box[2] = std::max(entity.box[2], entity.coordinates[i]);
                entity.box[3] = std::max(entity.box[3], entity.coordinates[i + 1]);
            }
            world.files[call.String(0, L"Path")].push_back(entity);
        } else if (member == L"FakeAddEntity") {
            // (path, type, layer, name, xMin, yMin, xMax, yMax)
            EntityData entity = MakeEntity(call.Integer(1, L"Type"), call.String(2, L"Layer"),
                                           call.String(3, L"Name"));
            for (UINT i = 0; i < 4; ++i) {
                entity.box[i] = call.Real(4 + i, L"Box");
            }
            world.files[call.String(0, L"Path")].push_back(entity);
        } else if (member == L"FakeOpen") {
            // Opens a drawing as the user would, outside the log.
            OpenDrawing(world, call.String(0, L"Path"));
        } else if (member == L"FakeSetActiveSpace") {
            if (!world.open.empty()) {
                world.open.back()->activeSpace = call.Integer(0, L"Space");
            }
        } else if (member == L"FakeSetBusy") {
            // (calls, code): the next `calls` calls are rejected with `code`.
            world.busyCalls = call.Integer(0, L"Calls");
            world.busyCode = call.Count() > 1 ? call.Integer(1, L"Code") : RPC_E_CALL_REJECTED;
        } else if (member == L"FakeBusyLeft") {
            call.ReturnLong(world.busyCalls);
        } else if (member == L"FakeLack") {
            // (member or kind.member, atInvoke): unknown by name, or found but missing on call.
            const std::wstring name = Lower(call.String(0, L"Member"));
            (call.Count() > 1 && call.Boolean(1, L"AtInvoke") ? world.lackingInvoke : world.lacking)
                .insert(name);
        } else if (member == L"FakeFail") {
            // (kind.member, code, description, skip): that call raises the code.
            world.failures[Lower(call.String(0, L"Member"))] =
                Injected{call.Integer(1, L"Code"), call.String(2, L"Description"),
                         call.Count() > 3 ? call.Integer(3, L"Skip") : 0};
        } else if (member == L"FakeLog") {
            std::wstring text;
            for (const auto& line : world.log) {
                text += line + L"\n";
            }
            call.ReturnString(text);
        } else if (member == L"FakeClearLog") {
            world.log.clear();
        } else if (member == L"FakeOpenDocuments") {
            std::wstring text;
            for (const auto& document : world.open) {
                text += document->path + L"\n";
            }
            call.ReturnString(text);
        } else if (member == L"FakeSelectionSetCount") {
            long count = 0;
            for (const auto& document : world.open) {
                count += static_cast<long>(document->selectionSetNames.size());
            }
            call.ReturnLong(count);
        } else if (member == L"FakeRaise") {
            Raise(call);
        } else if (member == L"FakeNames") {
            // (element type VT_BSTR or VT_VARIANT, lower bound)
            const auto type = static_cast<VARTYPE>(call.Integer(0, L"Type"));
            call.ReturnArray(NameArray({L"甲", L"B", L"c"}, type, call.Integer(1, L"Lower")), type);
        } else if (member == L"FakeQuit") {
            if (g_quitHandler) {
                g_quitHandler();
            }
        } else if (member == L"FakeProcessId") {
            call.ReturnLong(static_cast<long>(GetCurrentProcessId()));
        }
    }

    // (shape, code, description): fails in one of the shapes automation servers use.
    static HRESULT STDAPICALLTYPE FillIn(EXCEPINFO* exception) {
        exception->scode = static_cast<HRESULT>(0x80210063);
        exception->bstrDescription = SysAllocString(L"filled in later");
        return S_OK;
    }

    void Raise(const Call& call) {
        const long shape = call.Integer(0, L"Shape");
        const auto code = static_cast<HRESULT>(call.Integer(1, L"Code"));
        const std::wstring description = call.String(2, L"Description");
        switch (shape) {
        case 0: // EXCEPINFO with scode
            throw Fault{code, description};
        default: // a bare HRESULT
            throw BareFailure{code};
        case 1: // EXCEPINFO with wCode only, or with nothing at all (code 0)
        case 2: // deferred fill-in
            throw Shaped{shape, static_cast<WORD>(code), description};
        }
    }

public:
    // Exception shapes that the generic Invoke does not produce.
    struct Shaped {
        long shape;
        WORD wCode;
        std::wstring description;
    };

    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID iid, LCID locale, WORD flags,
                                     DISPPARAMS* parameters, VARIANT* result, EXCEPINFO* exception,
                                     UINT* argumentError) override {
        try {
            return Object::Invoke(id, iid, locale, flags, parameters, result, exception,
                                  argumentError);
        } catch (const Shaped& shaped) {
            if (exception == nullptr) {
                return DISP_E_EXCEPTION;
            }
            *exception = EXCEPINFO{};
            if (shaped.shape == 1) {
                exception->wCode = shaped.wCode;
                exception->bstrDescription = SysAllocString(shaped.description.c_str());
            } else {
                exception->pfnDeferredFillIn = &FillIn;
            }
            return DISP_E_EXCEPTION;
        }
    }
};

class ClassFactory final : public com::ComObject<IClassFactory, IID_IClassFactory> {
public:
    explicit ClassFactory(IDispatch* single) : m_single(single) {
        if (m_single) {
            m_single->AddRef();
        }
        InterlockedIncrement(&g_liveObjects);
    }
    ~ClassFactory() {
        if (m_single) {
            m_single->Release();
        }
        InterlockedDecrement(&g_liveObjects);
    }

    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** object) override {
        if (object == nullptr) {
            return E_POINTER;
        }
        *object = nullptr;
        if (outer != nullptr) {
            return CLASS_E_NOAGGREGATION;
        }
        IDispatch* application = m_single ? (m_single->AddRef(), m_single) : NewApplication();
        const HRESULT result = application->QueryInterface(iid, object);
        application->Release();
        return result;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }

private:
    IDispatch* m_single;
};

LONG SetKey(HKEY root, const std::wstring& path, const wchar_t* name, const std::wstring& value) {
    HKEY key = nullptr;
    LONG result =
        RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr);
    if (result == ERROR_SUCCESS) {
        result = RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
        RegCloseKey(key);
    }
    return result;
}

std::wstring ClassKey() {
    wchar_t text[64];
    StringFromGUID2(kFakeClassId, text, 64);
    return std::wstring(L"CLSID\\") + text;
}

} // namespace

IDispatch* NewApplication() {
    return new Application();
}

void SetQuitHandler(void (*handler)()) {
    g_quitHandler = handler;
}

void SetCaptionHandler(void (*handler)(const wchar_t* caption)) {
    g_captionHandler = handler;
}

LONG LiveObjects() {
    return g_liveObjects;
}

IClassFactory* NewClassFactory(IDispatch* single) {
    return new ClassFactory(single);
}

HRESULT RegisterServer(const wchar_t* modulePath, bool inproc) {
    const std::wstring classKey = ClassKey();
    wchar_t id[64];
    StringFromGUID2(kFakeClassId, id, 64);
    // Never take the ProgID from an installed host CAD.
    wchar_t current[64] = L"";
    LONG size = sizeof current;
    if (RegQueryValueW(HKEY_CLASSES_ROOT, (std::wstring(kProgId) + L"\\CLSID").c_str(), current,
                       &size) == ERROR_SUCCESS &&
        _wcsicmp(current, id) != 0) {
        return HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS);
    }
    LONG result = SetKey(HKEY_CLASSES_ROOT, kProgId, nullptr, L"Fake CAD application");
    if (result == ERROR_SUCCESS) {
        result = SetKey(HKEY_CLASSES_ROOT, std::wstring(kProgId) + L"\\CLSID", nullptr, id);
    }
    if (result == ERROR_SUCCESS) {
        result = SetKey(HKEY_CLASSES_ROOT, classKey + L"\\ProgID", nullptr, kProgId);
    }
    if (result == ERROR_SUCCESS && inproc) {
        result = SetKey(HKEY_CLASSES_ROOT, classKey + L"\\InprocServer32", nullptr, modulePath);
        if (result == ERROR_SUCCESS) {
            result = SetKey(HKEY_CLASSES_ROOT, classKey + L"\\InprocServer32", L"ThreadingModel",
                            L"Apartment");
        }
    } else if (result == ERROR_SUCCESS) {
        result = SetKey(HKEY_CLASSES_ROOT, classKey + L"\\LocalServer32", nullptr,
                        std::wstring(L"\"") + modulePath + L"\"");
    }
    return result == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(result);
}

HRESULT UnregisterServer(bool inproc) {
    const std::wstring classKey = ClassKey();
    RegDeleteTreeW(HKEY_CLASSES_ROOT,
                   (classKey + (inproc ? L"\\InprocServer32" : L"\\LocalServer32")).c_str());
    HKEY remaining = nullptr;
    const bool otherServer =
        RegOpenKeyExW(HKEY_CLASSES_ROOT,
                      (classKey + (inproc ? L"\\LocalServer32" : L"\\InprocServer32")).c_str(), 0,
                      KEY_READ, &remaining) == ERROR_SUCCESS;
    if (remaining != nullptr) {
        RegCloseKey(remaining);
    }
    if (!otherServer) {
        RegDeleteTreeW(HKEY_CLASSES_ROOT, classKey.c_str());
        // The ProgID goes only while it still names the fake, never the host's own class.
        wchar_t id[64];
        StringFromGUID2(kFakeClassId, id, 64);
        wchar_t current[64] = L"";
        LONG size = sizeof current;
        if (RegQueryValueW(HKEY_CLASSES_ROOT, (std::wstring(kProgId) + L"\\CLSID").c_str(), current,
                           &size) == ERROR_SUCCESS &&
            _wcsicmp(current, id) == 0) {
            RegDeleteTreeW(HKEY_CLASSES_ROOT, kProgId);
        }
    }
    return S_OK;
}

} // namespace kw::fake

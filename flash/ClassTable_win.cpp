#include "flash/ClassTable.h"

#include <cwctype>
#include <string_view>

namespace lumen::flash {
namespace {

bool SameText(std::wstring_view a, std::wstring_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::towlower(a[i]) != std::towlower(b[i])) return false;
  }
  return true;
}

// "Name" matches "Name" and "Name.<digits>".
bool MatchesProgId(std::wstring_view name, std::wstring_view prog_id) {
  if (name.size() < prog_id.size() || !SameText(name.substr(0, prog_id.size()), prog_id)) {
    return false;
  }
  std::wstring_view rest = name.substr(prog_id.size());
  if (rest.empty()) return true;
  if (rest.front() != L'.' || rest.size() == 1) return false;
  for (const wchar_t c : rest.substr(1)) {
    if (c < L'0' || c > L'9') return false;
  }
  return true;
}

}  // namespace

HRESULT CreateBuiltInObject(REFCLSID clsid, REFIID iid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  for (const BuiltInClass& entry : BuiltInClasses()) {
    if (IsEqualCLSID(entry.clsid, clsid)) return entry.create(iid, object);
  }
  return REGDB_E_CLASSNOTREG;
}

HRESULT CreateBuiltInObject(const wchar_t* name, REFIID iid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (!name) return CO_E_CLASSSTRING;
  const std::wstring_view text(name);
  if (!text.empty() && text.front() == L'{') {
    CLSID clsid;
    // IIDFromString parses the text only; it never consults the registry.
    if (FAILED(IIDFromString(name, &clsid))) return CO_E_CLASSSTRING;
    return CreateBuiltInObject(clsid, iid, object);
  }
  for (const BuiltInClass& entry : BuiltInClasses()) {
    if (MatchesProgId(text, entry.prog_id)) return entry.create(iid, object);
  }
  return CO_E_CLASSSTRING;
}

}  // namespace lumen::flash

#pragma once

// The program's own table of built-in COM classes. Objects are created from it directly, without
// the registry, so no component registered elsewhere under the same identifiers is ever loaded.
#include <objbase.h>
#include <windows.h>

#include <span>

namespace lumen::flash {

// {D27CDB6E-AE6D-11CF-96B8-444553540000}
inline constexpr CLSID kClsidShockwaveFlash = {
    0xD27CDB6E, 0xAE6D, 0x11CF, {0x96, 0xB8, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
inline constexpr wchar_t kProgIdShockwaveFlash[] = L"ShockwaveFlash.ShockwaveFlash";

struct BuiltInClass {
  CLSID clsid;
  const wchar_t* prog_id;
  HRESULT (*create)(REFIID iid, void** object);
};

// The classes this program carries; each program links one definition.
std::span<const BuiltInClass> BuiltInClasses();

// Creates an object of a built-in class; REGDB_E_CLASSNOTREG for any other class.
HRESULT CreateBuiltInObject(REFCLSID clsid, REFIID iid, void** object);
// The same by program identifier (also with a version suffix, "X.Y.9") or by "{CLSID}" text.
HRESULT CreateBuiltInObject(const wchar_t* name, REFIID iid, void** object);

}  // namespace lumen::flash

// The stand-in movie control as an in-process server, registered by the player's window tests.
#include "tests/player/FlashDouble.h"

extern "C" __declspec(dllexport) HRESULT
    __stdcall DllGetClassObject(REFCLSID, REFIID iid, void** out) {
  return lumen::testing::FlashDoubleFactory()->QueryInterface(iid, out);
}

extern "C" __declspec(dllexport) HRESULT __stdcall DllCanUnloadNow() {
  return S_FALSE;
}

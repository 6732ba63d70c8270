#pragma once

#include <ole2.h>
#include <windows.h>

#include <map>
#include <string>

namespace lumen::testing {

// What the stand-in movie control saw; shared by every instance in the process.
struct FlashDoubleLog {
  int instances = 0;
  int verbs = 0;          // DoVerb(OLEIVERB_INPLACEACTIVATE) calls
  int object_rects = 0;   // SetObjectRects calls
  int double_clicks = 0;  // WM_LBUTTONDBLCLK reaching the control's window
  int closes = 0;
  RECT last_verb_rect{};
  bool client_site_seen = false;
  bool window_context_seen = false;
  std::map<DISPID, std::wstring> properties;  // every put, as text ("true"/"false" for Booleans)
};

FlashDoubleLog& FlashLog();

// A minimal in-place OLE control that answers the movie control's class ID: it keeps the
// properties put through IDispatch, shows the Movie value as its window's text (so another
// process can read it) and paints a dark stage.
IClassFactory* FlashDoubleFactory();

}  // namespace lumen::testing

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
  HRESULT creation_result = S_OK;             // set to a failure to refuse creation
};

FlashDoubleLog& FlashLog();

// Creates a minimal in-place OLE control to stand in for the movie control in a class table: it
// keeps the properties put through IDispatch, shows the Movie value as its window's text and paints
// a dark stage.
HRESULT CreateFlashDouble(REFIID iid, void** object);

}  // namespace lumen::testing

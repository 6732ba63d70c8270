// Writes the test harness clip that the ActionScript suite's imported cases expect beside them
// (they import "dejagnu" from Dejagnu.swf). Ours, built with the project's own movie writer: an
// SWF 5 movie exporting a clip whose first frame gives _root the harness's functions: pass,
// fail, xpass and xfail trace their message after "PASSED: ", ... and count it; note traces a
// message; xtrace keeps it in the clip's log; totals traces the counts. The clip also holds an
// empty text field as large as the original's trace window: the cases' _root bounds include it.
//
//   make_harness OUT.swf

#include <cstdio>
#include <fstream>
#include <string>

#include "authoring/ActionWriter.h"
#include "authoring/SwfWriter.h"
#include "authoring/TextWriter.h"

namespace {

using namespace lumen::authoring;

constexpr uint16_t kHarnessSprite = 1;
constexpr uint16_t kTraceWindow = 2;

// A function of one parameter (register 1), stored as a member of _root.
void SetRootFunction(ActionWriter& a, const char* name, const ActionWriter& body) {
  a.SetMember("_root", name, [&](ActionWriter& w) { w.DefineFunction("", 1, body); });
}

// Traces `text` followed by the value of the clip's variable `counter`.
void TraceCount(ActionWriter& a, const char* text, const char* counter) {
  a.Push({text}).Load(counter).Op(kAdd2).Op(kTrace);
}

ActionWriter HarnessActions() {
  ActionWriter a;
  for (const char* counter : {"passed", "failed", "xpassed", "xfailed"}) {
    a.SetVariable(counter, [](ActionWriter& w) { w.Push({0.0}); });
  }
  a.SetVariable("log", [](ActionWriter& w) { w.Push({""}); });

  ActionWriter xtrace;
  xtrace.SetVariable("log", [](ActionWriter& w) {
    w.Load("log").Push({Register{1}}).Op(kAdd2).Push({"\n"}).Op(kAdd2);
  });
  SetRootFunction(a, "xtrace", xtrace);
  ActionWriter note;
  note.Push({Register{1}}).Op(kTrace);
  SetRootFunction(a, "note", note);

  struct Outcome {
    const char* function;
    const char* prefix;
    const char* counter;
  };
  for (const Outcome& o :
       {Outcome{"pass", "PASSED: ", "passed"}, Outcome{"fail", "FAILED: ", "failed"},
        Outcome{"xpass", "XPASSED: ", "xpassed"}, Outcome{"xfail", "XFAILED: ", "xfailed"}}) {
    ActionWriter body;
    body.SetVariable(o.counter, [&](ActionWriter& w) { w.Load(o.counter).Op(kIncrement); });
    body.Push({o.prefix}).Push({Register{1}}).Op(kAdd2).Op(kTrace);
    SetRootFunction(a, o.function, body);
  }

  // The expected count and the caller's place it may be given are not checked: the counts
  // themselves show a difference.
  ActionWriter totals;
  TraceCount(totals, "#passed: ", "passed");
  TraceCount(totals, "#failed: ", "failed");
  for (const char* counter : {"xpassed", "xfailed"}) {
    const std::string skip = std::string("no_") + counter;
    totals.Load(counter).Op(kNot).If(skip);
    TraceCount(totals, (std::string("#") + counter + ": ").c_str(), counter);
    totals.Label(skip);
  }
  totals.Push({"#total tests run: "})
      .Load("passed")
      .Load("failed")
      .Op(kAdd2)
      .Load("xpassed")
      .Op(kAdd2)
      .Load("xfailed")
      .Op(kAdd2)
      .Op(kAdd2)
      .Op(kTrace);
  SetRootFunction(a, "totals", totals);

  a.SetMember("_root", "dejagnu_module_initialized", [](ActionWriter& w) { w.Push({1.0}); });
  return a;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_harness OUT.swf\n");
    return 2;
  }
  Bytes body;
  EditTextSpec window;
  window.id = kTraceWindow;
  window.x_min = window.y_min = -40;  // twips
  window.x_max = window.y_max = 4040;
  DefineEditText(body, window);
  Bytes sprite;
  DoAction(sprite, HarnessActions().Finish());
  PlaceSpec place;
  place.depth = 10;
  place.character = kTraceWindow;
  place.name = "_xtrace_win";
  PlaceObject2(sprite, place);
  ShowFrame(sprite);
  End(sprite);
  DefineSprite(body, kHarnessSprite, 1, sprite);
  ExportAsset(body, kHarnessSprite, "dejagnu");
  ShowFrame(body);
  End(body);
  MovieSpec spec;
  spec.version = 5;
  const Bytes movie = BuildMovie(spec, body);
  std::ofstream out(argv[1], std::ios::binary);
  out.write(reinterpret_cast<const char*>(movie.data()),
            static_cast<std::streamsize>(movie.size()));
  return out ? 0 : 1;
}

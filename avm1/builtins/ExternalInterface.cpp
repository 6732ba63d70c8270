// flash.external.ExternalInterface: the bridge to a scripting host around the player. The
// slideshow player has none, so no host is available and calls reach nothing; the class still
// offers what movies use of it without a host, such as unescaping XML text.

#include <string>
#include <string_view>
#include <utility>

#include "avm1/Builtins.h"
#include "avm1/Vm.h"

namespace lumen::avm1 {
namespace {

Value Unavailable(Vm&, const Arguments&) {
  return false;
}

Value CallHost(Vm&, const Arguments&) {
  return Value::Null();
}

// The five XML entities, as written (letter case counts); everything else stays.
std::string UnescapeXml(std::string_view text) {
  static constexpr std::pair<std::string_view, char> kEntities[] = {
      {"&amp;", '&'}, {"&quot;", '"'}, {"&apos;", '\''}, {"&lt;", '<'}, {"&gt;", '>'}};
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    bool replaced = false;
    for (const auto& [entity, c] : kEntities) {
      if (text.substr(i, entity.size()) == entity) {
        out += c;
        i += entity.size();
        replaced = true;
        break;
      }
    }
    if (!replaced) out += text[i++];
  }
  return out;
}

// An empty text, or none, gives null.
Value UnescapeXmlMethod(Vm& vm, const Arguments& args) {
  if (args.size() == 0) return Value::Null();
  const std::string text = vm.ToString(args[0]);
  if (text.empty()) return Value::Null();
  return vm.Str(UnescapeXml(text));
}

Value Nothing(Vm&, const Arguments&) {
  return Value();
}

}  // namespace

void InstallExternalInterface(Vm& vm) {
  FunctionObject* ei = vm.NewClass(vm.NewObject(), Nothing);
  vm.DefineValue(ei, "available", false);
  vm.DefineMethod(ei, "addCallback", Unavailable);
  vm.DefineMethod(ei, "call", CallHost);
  vm.DefineMethod(ei, "_unescapeXML", UnescapeXmlMethod);
  Object* external = vm.NewObject();
  vm.SetOwn(external, "ExternalInterface", static_cast<Object*>(ei));
  vm.SetOwn(FlashPackage(vm), "external", external);
}

}  // namespace lumen::avm1

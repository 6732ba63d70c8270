// flash.external.ExternalInterface: calls between the movie and the page that holds the player.
//
// Design: a standalone player has no page: the interface is not available, callbacks are not
// registered and calls answer null. What works without a page does: the conversions of values
// to the XML and JavaScript forms of the container protocol and back (from XML nodes), and the
// escaping they use. All members are the class's own and hidden from movies before version 8.
// Nesting deeper than kMaxDepth converts as null, so cyclic objects end.

#include <cmath>
#include <string>
#include <string_view>

#include "avm1/Builtins.h"
#include "avm1/Vm.h"
#include "avm1/XmlTree.h"

namespace lumen::avm1 {
namespace {

constexpr int kMaxDepth = 64;
constexpr size_t kMaxItems = 1 << 16;

constexpr std::pair<std::string_view, std::string_view> kEntities[] = {
    {"&amp;", "&"}, {"&quot;", "\""}, {"&apos;", "'"}, {"&lt;", "<"}, {"&gt;", ">"}};

std::string UnescapeXml(std::string_view text) {
  std::string out;
  for (size_t i = 0; i < text.size();) {
    bool replaced = false;
    for (const auto& [entity, plain] : kEntities) {
      if (text.substr(i, entity.size()) == entity) {
        out += plain;
        i += entity.size();
        replaced = true;
        break;
      }
    }
    if (!replaced) out += text[i++];
  }
  return out;
}

std::string QuoteJs(std::string_view text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      default:
        out += c;
    }
  }
  return out;
}

size_t Length(Vm& vm, Object* o) {
  const double n = vm.ToNumber(vm.Get(o, "length"));
  return n > 0 ? static_cast<size_t>(std::min(n, static_cast<double>(kMaxItems))) : 0;
}

bool IsArray(Object* o) {
  return o->native_class == "Array";
}

// --- Values to the container's forms ----------------------------------------------------------

std::string ToXml(Vm& vm, const Value& v, int depth);

std::string PropertyXml(Vm& vm, std::string_view id, const Value& v, int depth) {
  return "<property id=\"" + std::string(id) + "\">" + ToXml(vm, v, depth + 1) + "</property>";
}

std::string ArrayToXml(Vm& vm, Object* a, int depth) {
  std::string out = "<array>";
  const size_t n = Length(vm, a);
  for (size_t i = 0; i < n; ++i) {
    out += PropertyXml(vm, std::to_string(i), vm.Get(a, std::to_string(i)), depth);
  }
  return out + "</array>";
}

std::string ObjectToXml(Vm& vm, Object* o, int depth) {
  std::string out = "<object>";
  for (const std::string& key : vm.Keys(o)) out += PropertyXml(vm, key, vm.Get(o, key), depth);
  return out + "</object>";
}

std::string ToXml(Vm& vm, const Value& v, int depth) {
  vm.CheckBudget();
  switch (v.type()) {
    case Value::Type::Undefined:
      return "<undefined/>";
    case Value::Type::Null:
      return "<null/>";
    case Value::Type::Boolean:
      return v.AsBoolean() ? "<true/>" : "<false/>";
    case Value::Type::Number:
      return "<number>" + vm.ToString(v) + "</number>";
    case Value::Type::String: {
      std::string out = "<string>";
      AppendXmlEscaped(out, v.AsString());
      return out + "</string>";
    }
    case Value::Type::Object:
      break;
  }
  Object* o = v.AsObject();
  if (depth > kMaxDepth || o->TypeOf() == "function") return "<null/>";
  return IsArray(o) ? ArrayToXml(vm, o, depth) : ObjectToXml(vm, o, depth);
}

std::string ToJs(Vm& vm, const Value& v, int depth) {
  vm.CheckBudget();
  switch (v.type()) {
    case Value::Type::Undefined:
      return "undefined";
    case Value::Type::Null:
      return "null";
    case Value::Type::Boolean:
    case Value::Type::Number:
      return vm.ToString(v);
    case Value::Type::String:
      return "\"" + QuoteJs(v.AsString()) + "\"";
    case Value::Type::Object:
      break;
  }
  Object* o = v.AsObject();
  if (depth > kMaxDepth || o->TypeOf() == "function") return "null";
  std::string out;
  if (IsArray(o)) {
    const size_t n = Length(vm, o);
    for (size_t i = 0; i < n; ++i) {
      out += (i ? "," : "") + ToJs(vm, vm.Get(o, std::to_string(i)), depth + 1);
    }
    return "[" + out + "]";
  }
  for (const std::string& key : vm.Keys(o)) {
    out += (out.empty() ? "" : ",") + key + ":" + ToJs(vm, vm.Get(o, key), depth + 1);
  }
  return "({" + out + "})";
}

// --- XML nodes back to values -----------------------------------------------------------------

Value ToAs(Vm& vm, const Value& node, int depth);

// The values of a node's children, in order (the properties of an array, or arguments).
ArrayObject* ChildValues(Vm& vm, const Value& node, bool properties, int depth) {
  ArrayObject* out = vm.NewArray();
  Object* children = vm.GetMember(node, "childNodes").AsObject();
  if (children == nullptr || depth > kMaxDepth) return out;
  const size_t n = Length(vm, children);
  for (size_t i = 0; i < n; ++i) {
    Value child = vm.Get(children, std::to_string(i));
    if (properties) child = vm.GetMember(child, "firstChild");
    out->elements.push_back(ToAs(vm, child, depth + 1));
  }
  return out;
}

Object* ObjectFromXml(Vm& vm, const Value& node, int depth) {
  Object* out = vm.NewObject();
  Object* children = vm.GetMember(node, "childNodes").AsObject();
  if (children == nullptr || depth > kMaxDepth) return out;
  const size_t n = Length(vm, children);
  for (size_t i = 0; i < n; ++i) {
    const Value property = vm.Get(children, std::to_string(i));
    const std::string id = vm.ToString(vm.GetMember(vm.GetMember(property, "attributes"), "id"));
    vm.Set(out, id, ToAs(vm, vm.GetMember(property, "firstChild"), depth + 1));
  }
  return out;
}

Value ToAs(Vm& vm, const Value& node, int depth) {
  vm.CheckBudget();
  if (!node.IsObject()) return Value();
  const std::string name = vm.ToString(vm.GetMember(node, "nodeName"));
  if (name == "true") return true;
  if (name == "false") return false;
  if (name == "null") return Value::Null();
  const Value text = vm.GetMember(vm.GetMember(node, "firstChild"), "nodeValue");
  if (name == "number") return vm.ToNumber(text);
  if (name == "string")
    return text.IsNullish() ? vm.Str("") : vm.Str(UnescapeXml(vm.ToString(text)));
  if (name == "array") return static_cast<Object*>(ChildValues(vm, node, true, depth));
  if (name == "object") return ObjectFromXml(vm, node, depth);
  return Value();
}

// --- The members ------------------------------------------------------------------------------

Value EscapeXmlMember(Vm& vm, const Arguments& args) {
  if (args[0].IsNullish()) return Value::Null();
  std::string out;
  AppendXmlEscaped(out, vm.ToString(args[0]));
  return vm.Str(out);
}

Value UnescapeXmlMember(Vm& vm, const Arguments& args) {
  const std::string text = args.size() == 0 ? std::string() : vm.ToString(args[0]);
  return text.empty() ? Value::Null() : vm.Str(UnescapeXml(text));
}

Value JsQuoteString(Vm& vm, const Arguments& args) {
  return vm.Str(QuoteJs(vm.ToString(args[0])));
}

Value ToXmlMember(Vm& vm, const Arguments& args) {
  return vm.Str(ToXml(vm, args[0], 0));
}

Value ArrayToXmlMember(Vm& vm, const Arguments& args) {
  Object* a = args[0].AsObject();
  return vm.Str(a ? ArrayToXml(vm, a, 0) : "<array></array>");
}

Value ObjectToXmlMember(Vm& vm, const Arguments& args) {
  Object* o = args[0].AsObject();
  return vm.Str(o ? ObjectToXml(vm, o, 0) : "<object></object>");
}

// _argumentsToXML(args, first): the arguments from index `first` on.
Value ArgumentsToXml(Vm& vm, const Arguments& args) {
  std::string out = "<arguments>";
  if (Object* list = args[0].AsObject()) {
    const double first = vm.ToNumber(args[1]);
    const size_t n = Length(vm, list);
    for (size_t i = first > 0 ? static_cast<size_t>(first) : 0; i < n; ++i) {
      out += ToXml(vm, vm.Get(list, std::to_string(i)), 1);
    }
  }
  return vm.Str(out + "</arguments>");
}

Value ToJsMember(Vm& vm, const Arguments& args) {
  return vm.Str(ToJs(vm, args[0], 0));
}

Value ToAsMember(Vm& vm, const Arguments& args) {
  return ToAs(vm, args[0], 0);
}

Value ChildrenToAs(Vm& vm, const Arguments& args) {
  return static_cast<Object*>(ChildValues(vm, args[0], false, 0));
}

Value PropertiesToAs(Vm& vm, const Arguments& args) {
  return static_cast<Object*>(ChildValues(vm, args[0], true, 0));
}

Value ObjectToAs(Vm& vm, const Arguments& args) {
  return ObjectFromXml(vm, args[0], 0);
}

}  // namespace

void InstallExternalInterface(Vm& vm) {
  FunctionObject* ei = vm.NewClass(vm.NewObject(), Nothing);
  static constexpr std::pair<const char*, NativeFunction> kMembers[] = {
      {"addCallback", False},  // no page to call in
      {"call", Null},
      {"_callIn", Null},
      {"_callOut", Null},
      {"_evalJS", Null},
      {"_initJS", Nothing},
      {"_objectID", Null},
      {"_escapeXML", EscapeXmlMember},
      {"_unescapeXML", UnescapeXmlMember},
      {"_jsQuoteString", JsQuoteString},
      {"_toXML", ToXmlMember},
      {"_arrayToXML", ArrayToXmlMember},
      {"_objectToXML", ObjectToXmlMember},
      {"_argumentsToXML", ArgumentsToXml},
      {"_toJS", ToJsMember},
      {"_arrayToJS", ToJsMember},
      {"_objectToJS", ToJsMember},
      {"_toAS", ToAsMember},
      {"_arrayToAS", PropertiesToAs},
      {"_objectToAS", ObjectToAs},
      {"_argumentsToAS", ChildrenToAs}};
  for (const auto& [name, fn] : kMembers) vm.DefineMethod(ei, name, fn);
  vm.DefineValue(ei, "available", false);
  for (Property& p : ei->Properties().Entries()) {
    if (p.name != "prototype") p.min_version = 8;
  }
  Object* external = vm.NewObject();
  vm.SetOwn(external, "ExternalInterface", static_cast<Object*>(ei));
  vm.SetOwn(FlashPackage(vm), "external", external);
}

}  // namespace lumen::avm1

// XMLNode, XML and LoadVars.
//
// Design: a script object is an XML node when its `primitive` slot holds an XmlNodeState, the
// native half of the node. Keeping the state beside the object rather than in a subclass of it
// lets a script class that extends XML or XMLNode turn its own plain instance into a node by
// calling super(). The tree links (parent, children) point at the script objects, so what
// firstChild or parentNode answer is always the object scripts hold. The node properties are
// getters on XMLNode.prototype; childNodes is one array per node, rebuilt whenever the node's
// children change, so a script that pushes into it changes only the array. Nothing recurses:
// building, printing and cloning trees use explicit stacks, and the parser bounds the tree.

#include <algorithm>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "avm1/Builtins.h"
#include "avm1/Vm.h"
#include "avm1/XmlTree.h"

namespace lumen::avm1 {

namespace {

constexpr size_t kMaxParsedNodes = 100000;
constexpr size_t kMaxParsedDepth = 256;
// Printing a tree or a LoadVars may repeat one long string many times; past this the run stops
// as it would for any other allocation beyond the heap's means.
constexpr size_t kMaxTextBytes = size_t{64} << 20;
constexpr std::string_view kNodeClass = "XMLNode";
constexpr std::string_view kFormContentType = "application/x-www-form-urlencoded";

// What only the XML object itself has, behind the accessors of XML.prototype.
struct DocumentFields {
  Value status = 0;
  Value xml_decl;
  Value doctype;
  Value loaded;
};

class XmlNodeState final : public Object {
 public:
  explicit XmlNodeState(Object* node) : owner(node) {}
  void Trace(Heap& heap) override {
    Object::Trace(heap);
    heap.Mark(owner);
    heap.Mark(name);
    heap.Mark(value);
    heap.Mark(attributes);
    heap.Mark(parent);
    heap.Mark(child_array);
    for (Object* child : children) heap.Mark(child);
    if (document) {
      for (const Value* v :
           {&document->status, &document->xml_decl, &document->doctype, &document->loaded}) {
        heap.Mark(*v);
      }
    }
  }
  size_t Footprint() const override {
    return Object::Footprint() + sizeof(*this) - sizeof(Object) +
           children.capacity() * sizeof(Object*) + (document ? sizeof(DocumentFields) : 0);
  }

  Object* owner;
  int type = XmlNode::Element;
  std::unique_ptr<DocumentFields> document;  // XML objects only
  Value name = Value::Null();                // elements; null prints only the children
  Value value = Value::Null();               // text nodes
  Object* attributes = nullptr;              // made when first asked for
  Object* parent = nullptr;
  size_t index = 0;  // among the parent's children
  std::vector<Object*> children;
  ArrayObject* child_array = nullptr;  // childNodes, made when first asked for
};

XmlNodeState* StateOf(const Value& v) {
  Object* o = v.AsObject();
  if (o == nullptr || o->native_class != kNodeClass) return nullptr;
  return dynamic_cast<XmlNodeState*>(o->primitive.AsObject());
}

XmlNodeState* Attach(Vm& vm, Object* o) {
  auto* state = vm.heap().Make<XmlNodeState>(o);
  o->primitive = static_cast<Object*>(state);
  o->native_class = kNodeClass;
  return state;
}

// Nodes the engine makes take whatever XMLNode.prototype is at the time.
Object* CurrentNodeProto(Vm& vm) {
  Object* original = vm.builtins().xmlnode_proto;
  const Property* ctor = original->Properties().Find("constructor", vm.CaseSensitive());
  if (ctor != nullptr && ctor->value.IsObject()) {
    if (Object* proto = vm.Get(ctor->value.AsObject(), "prototype").AsObject()) return proto;
  }
  return original;
}

XmlNodeState* NewNode(Vm& vm, int type, const Value& text, Object* proto) {
  XmlNodeState* state = Attach(vm, vm.NewObject(proto));
  state->type = type;
  (type == XmlNode::Text ? state->value : state->name) = text;
  return state;
}

void SyncChildArray(Vm& vm, XmlNodeState& state) {
  if (state.child_array == nullptr) return;
  std::vector<Value>& elements = state.child_array->elements;
  if (state.children.size() > elements.capacity()) {
    vm.heap().Charge((state.children.size() - elements.capacity()) * sizeof(Value));
  }
  elements.assign(state.children.begin(), state.children.end());
}

void Renumber(XmlNodeState& state, size_t from) {
  for (size_t i = from; i < state.children.size(); ++i) StateOf(state.children[i])->index = i;
}

void Detach(Vm& vm, XmlNodeState& node) {
  XmlNodeState* parent = StateOf(node.parent);
  node.parent = nullptr;
  if (parent == nullptr || node.index >= parent->children.size() ||
      parent->children[node.index] != node.owner) {
    return;
  }
  parent->children.erase(parent->children.begin() + static_cast<ptrdiff_t>(node.index));
  Renumber(*parent, node.index);
  SyncChildArray(vm, *parent);
}

// Whether `node` is `parent` or one of its ancestors: adopting it would make a cycle.
bool WouldCycle(const XmlNodeState& parent, const XmlNodeState& node) {
  if (&parent == &node) return true;
  if (node.children.empty()) return false;
  for (const XmlNodeState* p = StateOf(parent.parent); p != nullptr; p = StateOf(p->parent)) {
    if (p == &node) return true;
  }
  return false;
}

void InsertChild(Vm& vm, XmlNodeState& parent, XmlNodeState& child, size_t at) {
  Detach(vm, child);
  at = std::min(at, parent.children.size());
  parent.children.insert(parent.children.begin() + static_cast<ptrdiff_t>(at), child.owner);
  vm.heap().Charge(sizeof(Object*));
  child.parent = parent.owner;
  Renumber(parent, at);
  SyncChildArray(vm, parent);
}

void RemoveAllChildren(Vm& vm, XmlNodeState& state) {
  for (Object* child : state.children) StateOf(child)->parent = nullptr;
  state.children.clear();
  SyncChildArray(vm, state);
}

Object* AttributesOf(Vm& vm, XmlNodeState& state) {
  if (state.attributes == nullptr) state.attributes = vm.NewObject();
  return state.attributes;
}

// --- Building from a parse ---------------------------------------------------------------

// Properties enumerate last made first, so attributes are made last to first to list in
// document order.
void SetParsedAttributes(Vm& vm, XmlNodeState& state, const XmlNode& parsed) {
  if (parsed.attributes.empty()) return;
  Object* attributes = AttributesOf(vm, state);
  for (auto it = parsed.attributes.rbegin(); it != parsed.attributes.rend(); ++it) {
    vm.SetOwn(attributes, it->first, vm.Str(it->second));
  }
}

void AdoptParsedChildren(Vm& vm, XmlNodeState& document, const XmlNode& root) {
  Object* proto = CurrentNodeProto(vm);
  std::vector<std::pair<const XmlNode*, XmlNodeState*>> pending{{&root, &document}};
  while (!pending.empty()) {
    auto [parsed, parent] = pending.back();
    pending.pop_back();
    for (const XmlNode& child : parsed->children) {
      const bool text = child.type == XmlNode::Text;
      XmlNodeState* node = NewNode(vm, child.type, vm.Str(text ? child.value : child.name), proto);
      SetParsedAttributes(vm, *node, child);
      InsertChild(vm, *parent, *node, parent->children.size());
      if (!child.children.empty()) pending.emplace_back(&child, node);
    }
  }
}

Value TextOrUndefined(Vm& vm, const std::string& text) {
  return text.empty() ? Value() : vm.Str(text);
}

void ParseInto(Vm& vm, Object* o, XmlNodeState& state, std::string_view text) {
  if (!state.document) return;
  const bool ignore_white = vm.ToBoolean(vm.Get(o, "ignoreWhite"));
  XmlParseResult result = ParseXml(text, ignore_white, kMaxParsedNodes, kMaxParsedDepth);
  RemoveAllChildren(vm, state);
  AdoptParsedChildren(vm, state, result.root);
  DocumentFields& fields = *state.document;
  fields.status = result.status;
  fields.xml_decl = TextOrUndefined(vm, result.xml_decl);
  fields.doctype = TextOrUndefined(vm, result.doctype);
}

// --- Printing ------------------------------------------------------------------------------

void CheckTextSize(const std::string& out) {
  if (out.size() > kMaxTextBytes) throw ScriptAbort{"memory"};
}

bool PrintsTag(const XmlNodeState& node) {
  return node.type != XmlNode::Text && !node.name.IsNullish();
}

// Writes the node up to its children; true when its children follow.
bool AppendStartOf(Vm& vm, std::string& out, XmlNodeState& node) {
  if (node.type == XmlNode::Text) {
    AppendXmlEscaped(out, vm.ToString(node.value));
    return false;
  }
  if (!PrintsTag(node)) return true;
  out += '<';
  out += vm.ToString(node.name);
  if (node.attributes != nullptr) {
    for (const std::string& key : vm.Keys(node.attributes)) {
      out += ' ';
      out += key;
      out += "=\"";
      AppendXmlEscaped(out, vm.ToString(vm.Get(node.attributes, key)));
      out += '"';
    }
  }
  out += node.children.empty() ? " />" : ">";
  return !node.children.empty();
}

std::string Serialize(Vm& vm, Object* o, XmlNodeState& top) {
  std::string out;
  if (top.document) {
    for (std::string_view name : {"xmlDecl", "docTypeDecl"}) {
      const Value decl = vm.Get(o, name);
      if (!decl.IsNullish()) out += vm.ToString(decl);
    }
  }
  // Printing calls scripts (toString of attribute values) that may change the tree, so each
  // step looks at the children afresh.
  std::vector<std::pair<XmlNodeState*, size_t>> open;
  if (AppendStartOf(vm, out, top)) open.emplace_back(&top, 0);
  while (!open.empty()) {
    auto& [node, next] = open.back();
    if (next < node->children.size()) {
      XmlNodeState* child = StateOf(node->children[next++]);
      if (AppendStartOf(vm, out, *child)) open.emplace_back(child, 0);
      continue;
    }
    if (PrintsTag(*node) && !node->children.empty()) {
      out += "</" + vm.ToString(node->name) + ">";
    }
    open.pop_back();
  }
  return out;
}

// --- XMLNode -------------------------------------------------------------------------------

void InitNode(Vm& vm, Object* o, const Arguments& args) {
  const int type = vm.ToInt32(args[0]) == XmlNode::Text ? XmlNode::Text : XmlNode::Element;
  XmlNodeState* state = Attach(vm, o);
  state->type = type;
  if (!args[1].IsUndefined()) {
    (type == XmlNode::Text ? state->value : state->name) = vm.ToStringValue(args[1]);
  }
}

// Called as a function, as super() does: makes `this` a node.
Value XmlNodeCall(Vm& vm, const Arguments& args) {
  if (SuperTarget(vm, args.self) == nullptr) return Value();
  InitNode(vm, args.self.AsObject(), args);
  return args.self;
}

Value XmlNodeConstruct(Vm& vm, const Arguments& args) {
  Object* o = vm.NewObject(args.self.AsObject());
  InitNode(vm, o, args);
  return o;
}

Value NodeType(Vm&, const Arguments& args) {
  XmlNodeState* s = StateOf(args.self);
  return s ? Value(s->type) : Value();
}

Value NodeName(Vm&, const Arguments& args) {
  XmlNodeState* s = StateOf(args.self);
  if (s == nullptr) return Value();
  return s->type == XmlNode::Text ? Value::Null() : s->name;
}

Value NodeValue(Vm&, const Arguments& args) {
  XmlNodeState* s = StateOf(args.self);
  if (s == nullptr) return Value();
  return s->type == XmlNode::Text ? s->value : Value::Null();
}

// Assigning undefined or null leaves the node as it was.
Value SetNodeName(Vm& vm, const Arguments& args) {
  XmlNodeState* s = StateOf(args.self);
  if (s != nullptr && !args[0].IsNullish()) s->name = vm.ToStringValue(args[0]);
  return Value();
}

Value SetNodeValue(Vm& vm, const Arguments& args) {
  XmlNodeState* s = StateOf(args.self);
  if (s != nullptr && !args[0].IsNullish()) s->value = vm.ToStringValue(args[0]);
  return Value();
}

Value Attributes(Vm& vm, const Arguments& args) {
  XmlNodeState* s = StateOf(args.self);
  return s ? Value(AttributesOf(vm, *s)) : Value();
}

Value SetAttributes(Vm&, const Arguments& args) {
  XmlNodeState* s = StateOf(args.self);
  if (s != nullptr && args[0].IsObject()) s->attributes = args[0].AsObject();
  return Value();
}

Value ChildNodes(Vm& vm, const Arguments& args) {
  XmlNodeState* s = StateOf(args.self);
  if (s == nullptr) return Value();
  if (s->child_array == nullptr) {
    s->child_array = vm.NewArray();
    SyncChildArray(vm, *s);
  }
  return static_cast<Object*>(s->child_array);
}

Value FirstChild(Vm&, const Arguments& args) {
  XmlNodeState* s = StateOf(args.self);
  if (s == nullptr) return Value();
  return s->children.empty() ? Value::Null() : Value(s->children.front());
}

Value LastChild(Vm&, const Arguments& args) {
  XmlNodeState* s = StateOf(args.self);
  if (s == nullptr) return Value();
  return s->children.empty() ? Value::Null() : Value(s->children.back());
}

Value Sibling(const Arguments& args, int step) {
  XmlNodeState* s = StateOf(args.self);
  if (s == nullptr) return Value();
  XmlNodeState* parent = StateOf(s->parent);
  if (parent == nullptr) return Value::Null();
  const size_t at = s->index + static_cast<size_t>(step);
  return at < parent->children.size() ? Value(parent->children[at]) : Value::Null();
}

Value NextSibling(Vm&, const Arguments& args) {
  return Sibling(args, 1);
}
Value PreviousSibling(Vm&, const Arguments& args) {
  return Sibling(args, -1);
}

Value ParentNode(Vm&, const Arguments& args) {
  XmlNodeState* s = StateOf(args.self);
  if (s == nullptr) return Value();
  return s->parent ? Value(s->parent) : Value::Null();
}

// --- Namespaces ----------------------------------------------------------------------------

// The name split at its first colon; false for nodes without a tag name.
bool SplitName(Vm& vm, const XmlNodeState& s, std::string& prefix, std::string& local) {
  if (!PrintsTag(s)) return false;
  const std::string name = vm.ToString(s.name);
  const size_t colon = name.find(':');
  prefix = colon == std::string::npos ? std::string() : name.substr(0, colon);
  local = colon == std::string::npos ? name : name.substr(colon + 1);
  return true;
}

Value Prefix(Vm& vm, const Arguments& args) {
  XmlNodeState* s = StateOf(args.self);
  std::string prefix, local;
  if (s == nullptr) return Value();
  return SplitName(vm, *s, prefix, local) ? vm.Str(prefix) : Value::Null();
}

Value LocalName(Vm& vm, const Arguments& args) {
  XmlNodeState* s = StateOf(args.self);
  std::string prefix, local;
  if (s == nullptr) return Value();
  return SplitName(vm, *s, prefix, local) ? vm.Str(local) : Value::Null();
}

std::string XmlnsName(std::string_view prefix) {
  return prefix.empty() ? std::string("xmlns") : "xmlns:" + std::string(prefix);
}

// The nearest xmlns declaration of `prefix` from the node up; null when none.
Value NamespaceFor(Vm& vm, XmlNodeState* s, std::string_view prefix) {
  const std::string attribute = XmlnsName(prefix);
  for (; s != nullptr; s = StateOf(s->parent)) {
    if (s->attributes != nullptr && vm.HasOwn(s->attributes, attribute)) {
      return vm.ToStringValue(vm.Get(s->attributes, attribute));
    }
  }
  return Value::Null();
}

Value NamespaceUri(Vm& vm, const Arguments& args) {
  XmlNodeState* s = StateOf(args.self);
  std::string prefix, local;
  if (s == nullptr) return Value();
  if (!SplitName(vm, *s, prefix, local)) return Value::Null();
  const Value uri = NamespaceFor(vm, s, prefix);
  return uri.IsNull() ? vm.Str("") : uri;
}

Value GetNamespaceForPrefix(Vm& vm, const Arguments& args) {
  XmlNodeState* s = StateOf(args.self);
  if (s == nullptr) return Value();
  return NamespaceFor(vm, s, vm.ToString(args[0]));
}

Value GetPrefixForNamespace(Vm& vm, const Arguments& args) {
  XmlNodeState* s = StateOf(args.self);
  if (s == nullptr) return Value();
  const std::string uri = vm.ToString(args[0]);
  for (; s != nullptr; s = StateOf(s->parent)) {
    if (s->attributes == nullptr) continue;
    for (const std::string& key : vm.Keys(s->attributes)) {
      if (key.rfind("xmlns", 0) != 0 || (key.size() > 5 && key[5] != ':')) continue;
      if (vm.ToString(vm.Get(s->attributes, key)) == uri) {
        return vm.Str(key.size() > 5 ? key.substr(6) : std::string());
      }
    }
  }
  return Value::Null();
}

// --- Tree methods --------------------------------------------------------------------------

Value AppendChild(Vm& vm, const Arguments& args) {
  XmlNodeState* parent = StateOf(args.self);
  XmlNodeState* child = StateOf(args[0]);
  if (parent != nullptr && child != nullptr && !WouldCycle(*parent, *child)) {
    InsertChild(vm, *parent, *child, parent->children.size());
  }
  return Value();
}

Value InsertBefore(Vm& vm, const Arguments& args) {
  XmlNodeState* parent = StateOf(args.self);
  XmlNodeState* child = StateOf(args[0]);
  XmlNodeState* before = StateOf(args[1]);
  if (parent == nullptr || child == nullptr || before == nullptr || child == before ||
      before->parent != parent->owner || WouldCycle(*parent, *child)) {
    return Value();
  }
  Detach(vm, *child);
  InsertChild(vm, *parent, *child, before->index);
  return Value();
}

Value RemoveNode(Vm& vm, const Arguments& args) {
  if (XmlNodeState* s = StateOf(args.self)) Detach(vm, *s);
  return Value();
}

Value HasChildNodes(Vm&, const Arguments& args) {
  XmlNodeState* s = StateOf(args.self);
  return s != nullptr && !s->children.empty();
}

XmlNodeState* CopyNode(Vm& vm, const XmlNodeState& source) {
  XmlNodeState* copy = NewNode(vm, source.type, Value(), source.owner->Proto());
  copy->name = source.name;
  copy->value = source.value;
  if (source.document) copy->document = std::make_unique<DocumentFields>(*source.document);
  if (source.attributes != nullptr) {
    Object* attributes = AttributesOf(vm, *copy);
    for (const Property& p : source.attributes->Properties().Entries()) {
      vm.SetOwn(attributes, p.name, p.value, p.flags);
    }
  }
  return copy;
}

Value CloneNode(Vm& vm, const Arguments& args) {
  XmlNodeState* source = StateOf(args.self);
  if (source == nullptr) return Value();
  XmlNodeState* top = CopyNode(vm, *source);
  if (!vm.ToBoolean(args[0])) return top->owner;
  std::vector<std::pair<XmlNodeState*, XmlNodeState*>> pending{{source, top}};
  while (!pending.empty()) {
    auto [from, to] = pending.back();
    pending.pop_back();
    for (Object* child : from->children) {
      XmlNodeState* original = StateOf(child);
      XmlNodeState* copy = CopyNode(vm, *original);
      InsertChild(vm, *to, *copy, to->children.size());
      if (!original->children.empty()) pending.emplace_back(original, copy);
    }
  }
  return top->owner;
}

Value NodeToString(Vm& vm, const Arguments& args) {
  XmlNodeState* s = StateOf(args.self);
  if (s == nullptr) return vm.Str("[object Object]");
  return vm.Str(Serialize(vm, args.self.AsObject(), *s));
}

void DefineAccessor(Vm& vm, Object* on, std::string_view name, NativeFunction get,
                    NativeFunction set = nullptr) {
  Property& p = on->Properties().Add(name);
  vm.heap().Charge(sizeof(Property) + name.size());
  p.getter = vm.NewNative(get);
  p.setter = set ? vm.NewNative(set) : nullptr;
  p.flags = kDontEnum | kDontDelete;
}

// --- XML -----------------------------------------------------------------------------------

void InitDocument(Vm& vm, Object* o, const Value& text) {
  XmlNodeState* state = Attach(vm, o);
  state->document = std::make_unique<DocumentFields>();
  if (!text.IsUndefined()) ParseInto(vm, o, *state, vm.ToString(text));
}

Value XmlCall(Vm& vm, const Arguments& args) {
  if (SuperTarget(vm, args.self) == nullptr) return Value();
  InitDocument(vm, args.self.AsObject(), args[0]);
  return args.self;
}

Value XmlConstruct(Vm& vm, const Arguments& args) {
  Object* o = vm.NewObject(args.self.AsObject());
  InitDocument(vm, o, args[0]);
  return o;
}

template <Value DocumentFields::*field>
Value GetDocumentField(Vm&, const Arguments& args) {
  XmlNodeState* s = StateOf(args.self);
  return s && s->document ? (*s->document).*field : Value();
}

template <Value DocumentFields::*field>
Value SetDocumentField(Vm&, const Arguments& args) {
  XmlNodeState* s = StateOf(args.self);
  if (s && s->document) (*s->document).*field = args[0];
  return Value();
}

template <Value DocumentFields::*field>
void DefineDocumentField(Vm& vm, Object* proto, std::string_view name) {
  DefineAccessor(vm, proto, name, GetDocumentField<field>, SetDocumentField<field>);
}

Value ParseXmlMethod(Vm& vm, const Arguments& args) {
  XmlNodeState* s = StateOf(args.self);
  if (s != nullptr) ParseInto(vm, args.self.AsObject(), *s, vm.ToString(args[0]));
  return Value();
}

Value CreateElement(Vm& vm, const Arguments& args) {
  return NewNode(vm, XmlNode::Element, vm.ToStringValue(args[0]), CurrentNodeProto(vm))->owner;
}

Value CreateTextNode(Vm& vm, const Arguments& args) {
  return NewNode(vm, XmlNode::Text, vm.ToStringValue(args[0]), CurrentNodeProto(vm))->owner;
}

// onData's default: undefined means the load failed; otherwise the text is taken in
// (`parse` names the method that does it) and onLoad hears of it.
Value DeliverData(Vm& vm, const Arguments& args, std::string_view parse) {
  if (args[0].IsUndefined()) {
    const Value failed = false;
    vm.CallMethod(args.self, "onLoad", std::span<const Value>(&failed, 1));
    return Value();
  }
  vm.CallMethod(args.self, parse, args.values.subspan(0, 1));
  vm.SetMember(args.self, "loaded", true);
  const Value loaded = true;
  vm.CallMethod(args.self, "onLoad", std::span<const Value>(&loaded, 1));
  return Value();
}

Value XmlOnData(Vm& vm, const Arguments& args) {
  return DeliverData(vm, args, "parseXML");
}
Value LoadVarsOnData(Vm& vm, const Arguments& args) {
  return DeliverData(vm, args, "decode");
}

// Nothing is sent anywhere: a slideshow player has no server to talk to.
Value Refuse(Vm&, const Arguments&) {
  return false;
}

// sendAndLoad(url, target): nothing is sent, but an object target starts loading as far as
// scripts can tell: its `loaded` is false and the call answers true.
Value SendAndLoad(Vm& vm, const Arguments& args) {
  if (args.size() < 2 || args[1].AsObject() == nullptr) return false;
  vm.SetMember(args[1], "loaded", false);
  return true;
}

// load(name): a file beside the movie, whose text reaches onData on the next tick.
Value Load(Vm& vm, const Arguments& args) {
  Object* self = args.self.AsObject();
  if (self == nullptr || args.size() == 0) return false;
  vm.SetMember(args.self, "loaded", false);
  vm.QueueLoad(self, vm.ToString(args[0]));
  return true;
}

Value BytesLoaded(Vm& vm, const Arguments& args) {
  return vm.GetMember(args.self, "_bytesLoaded");
}

Value BytesTotal(Vm& vm, const Arguments& args) {
  return vm.GetMember(args.self, "_bytesTotal");
}

// --- LoadVars ------------------------------------------------------------------------------

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Form decoding: %XX is a byte and '+' a space; a broken escape stays as written.
std::string Unescape(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '+') {
      out += ' ';
    } else if (text[i] == '%' && i + 2 < text.size() && HexDigit(text[i + 1]) >= 0 &&
               HexDigit(text[i + 2]) >= 0) {
      out += static_cast<char>(HexDigit(text[i + 1]) * 16 + HexDigit(text[i + 2]));
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

// As the global escape(): everything but ASCII letters and digits becomes %XX.
std::string Escape(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if ((c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')) {
      out += c;
    } else {
      out += '%';
      out += kHex[byte >> 4];
      out += kHex[byte & 15];
    }
  }
  return out;
}

Value LoadVarsConstruct(Vm& vm, const Arguments& args) {
  Object* o = vm.NewObject(args.self.AsObject());
  o->native_class = "LoadVars";
  return o;
}

Value Decode(Vm& vm, const Arguments& args) {
  Object* o = args.self.AsObject();
  if (o == nullptr || args.size() == 0) return false;
  DecodeVariables(vm, o, vm.ToString(args[0]));
  return Value();
}

// Keys in enumeration order, each side passed through the global escape() so that a movie
// replacing it is heard.
Value LoadVarsToString(Vm& vm, const Arguments& args) {
  Object* o = args.self.AsObject();
  if (o == nullptr) return Value();
  const Value escape = vm.Get(vm.Global(), "escape");
  const bool scripted = escape.IsObject() && escape.AsObject()->TypeOf() == "function";
  auto escaped = [&](const Value& v) {
    if (scripted) return vm.ToString(vm.Call(escape, Value(), std::span<const Value>(&v, 1)));
    return Escape(vm.ToString(v));
  };
  std::string out;
  for (const std::string& key : vm.Keys(o)) {
    if (!out.empty()) out += '&';
    out += escaped(vm.Str(key));
    out += '=';
    out += escaped(vm.Get(o, key));
    CheckTextSize(out);
  }
  return vm.Str(out);
}

// --- Installing ----------------------------------------------------------------------------

void DefineLoadingMethods(Vm& vm, Object* proto) {
  vm.DefineMethod(proto, "load", Load);
  vm.DefineMethod(proto, "send", Refuse);
  vm.DefineMethod(proto, "sendAndLoad", SendAndLoad);
  vm.DefineMethod(proto, "addRequestHeader", Nothing);
  vm.DefineMethod(proto, "getBytesLoaded", BytesLoaded);
  vm.DefineMethod(proto, "getBytesTotal", BytesTotal);
  vm.DefineMethod(proto, "onLoad", Nothing);
  vm.DefineValue(proto, "contentType", vm.Str(kFormContentType));
}

void InstallXmlNode(Vm& vm) {
  Object* proto = vm.NewObject();
  vm.builtins().xmlnode_proto = proto;
  DefineAccessor(vm, proto, "nodeType", NodeType);
  DefineAccessor(vm, proto, "nodeName", NodeName, SetNodeName);
  DefineAccessor(vm, proto, "nodeValue", NodeValue, SetNodeValue);
  DefineAccessor(vm, proto, "attributes", Attributes, SetAttributes);
  DefineAccessor(vm, proto, "childNodes", ChildNodes);
  DefineAccessor(vm, proto, "firstChild", FirstChild);
  DefineAccessor(vm, proto, "lastChild", LastChild);
  DefineAccessor(vm, proto, "nextSibling", NextSibling);
  DefineAccessor(vm, proto, "previousSibling", PreviousSibling);
  DefineAccessor(vm, proto, "parentNode", ParentNode);
  DefineAccessor(vm, proto, "prefix", Prefix);
  DefineAccessor(vm, proto, "localName", LocalName);
  DefineAccessor(vm, proto, "namespaceURI", NamespaceUri);
  vm.DefineMethod(proto, "appendChild", AppendChild);
  vm.DefineMethod(proto, "insertBefore", InsertBefore);
  vm.DefineMethod(proto, "removeNode", RemoveNode);
  vm.DefineMethod(proto, "cloneNode", CloneNode);
  vm.DefineMethod(proto, "hasChildNodes", HasChildNodes);
  vm.DefineMethod(proto, "toString", NodeToString);
  vm.DefineMethod(proto, "getNamespaceForPrefix", GetNamespaceForPrefix);
  vm.DefineMethod(proto, "getPrefixForNamespace", GetPrefixForNamespace);
  FunctionObject* ctor = vm.NewClass(proto, XmlNodeCall, XmlNodeConstruct);
  vm.DefineValue(vm.Global(), "XMLNode", static_cast<Object*>(ctor));
}

void InstallXml(Vm& vm) {
  Object* proto = vm.NewObject(vm.builtins().xmlnode_proto);
  vm.builtins().xml_proto = proto;
  DefineDocumentField<&DocumentFields::status>(vm, proto, "status");
  DefineDocumentField<&DocumentFields::xml_decl>(vm, proto, "xmlDecl");
  DefineDocumentField<&DocumentFields::doctype>(vm, proto, "docTypeDecl");
  DefineDocumentField<&DocumentFields::loaded>(vm, proto, "loaded");
  vm.DefineValue(proto, "ignoreWhite", false);
  vm.DefineMethod(proto, "parseXML", ParseXmlMethod);
  vm.DefineMethod(proto, "createElement", CreateElement);
  vm.DefineMethod(proto, "createTextNode", CreateTextNode);
  vm.DefineMethod(proto, "onData", XmlOnData);
  DefineLoadingMethods(vm, proto);
  FunctionObject* ctor = vm.NewClass(proto, XmlCall, XmlConstruct);
  vm.DefineValue(vm.Global(), "XML", static_cast<Object*>(ctor));
}

void InstallLoadVars(Vm& vm) {
  Object* proto = vm.NewObject();
  vm.DefineMethod(proto, "decode", Decode);
  vm.DefineMethod(proto, "toString", LoadVarsToString);
  vm.DefineMethod(proto, "onData", LoadVarsOnData);
  DefineLoadingMethods(vm, proto);
  FunctionObject* ctor = vm.NewClass(proto, Nothing, LoadVarsConstruct);
  vm.DefineValue(vm.Global(), "LoadVars", static_cast<Object*>(ctor));
}

}  // namespace

void DecodeVariables(Vm& vm, Object* target, std::string_view text) {
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('&', start);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view pair = text.substr(start, end - start);
    start = end + 1;
    if (pair.empty()) continue;
    const size_t equals = pair.find('=');
    const std::string_view value =
        equals == std::string_view::npos ? std::string_view() : pair.substr(equals + 1);
    vm.Set(target, Unescape(pair.substr(0, equals)), vm.Str(Unescape(value)));
  }
}

void InstallXmlClasses(Vm& vm) {
  InstallXmlNode(vm);
  InstallXml(vm);
  InstallLoadVars(vm);
}

}  // namespace lumen::avm1

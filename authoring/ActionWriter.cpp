#include "authoring/ActionWriter.h"

#include <charconv>
#include <cstring>
#include <stdexcept>

namespace lumen::authoring {

namespace {

void Put16(Bytes& out, uint16_t v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}

void Put32(Bytes& out, uint32_t v) {
  Put16(out, static_cast<uint16_t>(v));
  Put16(out, static_cast<uint16_t>(v >> 16));
}

void PutString(Bytes& out, std::string_view s) {
  out.insert(out.end(), s.begin(), s.end());
  out.push_back(0);
}

}  // namespace

void ActionWriter::Record(uint8_t code, const Bytes& operands) {
  code_.push_back(code);
  if (code >= 0x80) {
    Put16(code_, static_cast<uint16_t>(operands.size()));
    code_.insert(code_.end(), operands.begin(), operands.end());
  }
}

ActionWriter& ActionWriter::Push(std::initializer_list<ActionValue> values) {
  Bytes operands;
  for (const ActionValue& v : values) {
    if (const auto* s = std::get_if<std::string>(&v)) {
      operands.push_back(0);
      PutString(operands, *s);
    } else if (const auto* d = std::get_if<double>(&v)) {
      operands.push_back(6);
      uint64_t bits;
      std::memcpy(&bits, d, 8);
      Put32(operands, static_cast<uint32_t>(bits >> 32));  // the high word first
      Put32(operands, static_cast<uint32_t>(bits));
    } else if (const auto* b = std::get_if<bool>(&v)) {
      operands.push_back(5);
      operands.push_back(*b ? 1 : 0);
    } else if (std::holds_alternative<Undefined>(v)) {
      operands.push_back(3);
    } else if (std::holds_alternative<Null>(v)) {
      operands.push_back(2);
    } else {
      operands.push_back(4);
      operands.push_back(std::get<Register>(v).number);
    }
  }
  Record(0x96, operands);
  return *this;
}

ActionWriter& ActionWriter::Op(uint8_t code) {
  Record(code, {});
  return *this;
}

ActionWriter& ActionWriter::StoreRegister(uint8_t number) {
  Record(0x87, {number});
  return *this;
}

ActionWriter& ActionWriter::GotoFrame(uint16_t frame) {
  Bytes operands;
  Put16(operands, frame);
  Record(0x81, operands);
  return *this;
}

ActionWriter& ActionWriter::GotoFrame2(bool play) {
  Record(0x9F, {static_cast<uint8_t>(play ? 1 : 0)});
  return *this;
}

ActionWriter& ActionWriter::GetUrl2(uint8_t flags) {
  Record(0x9A, {flags});
  return *this;
}

ActionWriter& ActionWriter::Label(const std::string& name) {
  labels_[name] = code_.size();
  return *this;
}

ActionWriter& ActionWriter::Jump(const std::string& label) {
  Record(0x99, {0, 0});
  fixups_.push_back({code_.size() - 2, label});
  return *this;
}

ActionWriter& ActionWriter::If(const std::string& label) {
  Record(0x9D, {0, 0});
  fixups_.push_back({code_.size() - 2, label});
  return *this;
}

ActionWriter& ActionWriter::DefineFunction(std::string_view name, uint8_t params,
                                           const ActionWriter& body, uint8_t registers) {
  const Bytes code = body.Body();
  Bytes operands;
  PutString(operands, name);
  Put16(operands, params);
  operands.push_back(registers);
  Put16(operands, 0);  // no preloads: this and arguments stay names
  for (uint8_t i = 0; i < params; ++i) {
    operands.push_back(static_cast<uint8_t>(i + 1));
    char label[8] = {'p'};
    std::to_chars(label + 1, label + sizeof(label) - 1, i + 1);
    PutString(operands, label);
  }
  Put16(operands, static_cast<uint16_t>(code.size()));
  Record(0x8E, operands);
  code_.insert(code_.end(), code.begin(), code.end());
  return *this;
}

ActionWriter& ActionWriter::With(const ActionWriter& body) {
  const Bytes code = body.Body();
  Bytes operands;
  Put16(operands, static_cast<uint16_t>(code.size()));
  Record(0x94, operands);
  code_.insert(code_.end(), code.begin(), code.end());
  return *this;
}

ActionWriter& ActionWriter::Load(const Source& source) {
  if (source.in_register) return Push({Register{source.number}});
  return Push({source.name}).Op(kGetVariable);
}

ActionWriter& ActionWriter::GetMember(const Source& object, std::string_view member) {
  return Load(object).Push({std::string(member)}).Op(kGetMember);
}

ActionWriter& ActionWriter::SetMember(const Source& object, std::string_view member,
                                      const std::function<void(ActionWriter&)>& value) {
  Load(object).Push({std::string(member)});
  value(*this);
  return Op(kSetMember);
}

ActionWriter& ActionWriter::SetVariable(std::string_view name,
                                        const std::function<void(ActionWriter&)>& value) {
  Push({std::string(name)});
  value(*this);
  return Op(kSetVariable);
}

ActionWriter& ActionWriter::CallFunction(std::string_view name, uint8_t args) {
  return Push({static_cast<double>(args), std::string(name)}).Op(kCallFunction);
}

ActionWriter& ActionWriter::CallMethod(const Source& object, std::string_view method,
                                       uint8_t args) {
  Push({static_cast<double>(args)});
  return Load(object).Push({std::string(method)}).Op(kCallMethod);
}

Bytes ActionWriter::Body() const {
  Bytes out = code_;
  for (const Fixup& f : fixups_) {
    const auto it = labels_.find(f.label);
    if (it == labels_.end()) throw std::logic_error("no label " + f.label);
    const long offset = static_cast<long>(it->second) - static_cast<long>(f.at + 2);
    out[f.at] = static_cast<uint8_t>(offset);
    out[f.at + 1] = static_cast<uint8_t>(offset >> 8);
  }
  return out;
}

Bytes ActionWriter::Finish() const {
  Bytes out = Body();
  out.push_back(0);
  return out;
}

void PlaceObject2WithActions(Bytes& out, const PlaceSpec& spec,
                             const std::vector<ClipHandler>& handlers) {
  Bytes plain;
  PlaceObject2(plain, spec);
  // Re-read the tag just written: header, then the body whose flag byte gains clip actions.
  const uint16_t header = static_cast<uint16_t>(plain[0] | plain[1] << 8);
  size_t start = 2;
  size_t length = header & 0x3F;
  if (length == 0x3F) {
    length = plain[2] | plain[3] << 8 | static_cast<size_t>(plain[4]) << 16 |
             static_cast<size_t>(plain[5]) << 24;
    start = 6;
  }
  Bytes body(plain.begin() + static_cast<long>(start),
             plain.begin() + static_cast<long>(start + length));
  body[0] |= 0x80;
  Put16(body, 0);
  uint32_t all = 0;
  for (const ClipHandler& h : handlers) all |= h.events;
  Put32(body, all);
  for (const ClipHandler& h : handlers) {
    Put32(body, h.events);
    Put32(body, static_cast<uint32_t>(h.actions.size()));
    body.insert(body.end(), h.actions.begin(), h.actions.end());
  }
  Put32(body, 0);
  WriteTag(out, kTagPlaceObject2, body);
}

}  // namespace lumen::authoring

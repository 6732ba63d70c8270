#include "authoring/SwfWriter.h"

#include <zlib.h>

#include <algorithm>
#include <stdexcept>

namespace lumen::authoring {

void BitWriter::WriteUnsigned(uint32_t value, int bits) {
  for (int i = bits - 1; i >= 0; --i) {
    pending_ = static_cast<uint8_t>(pending_ << 1 | ((value >> i) & 1u));
    if (++pending_bits_ == 8) {
      bytes_.push_back(pending_);
      pending_ = 0;
      pending_bits_ = 0;
    }
  }
}

void BitWriter::Align() {
  if (pending_bits_ == 0) return;
  bytes_.push_back(static_cast<uint8_t>(pending_ << (8 - pending_bits_)));
  pending_ = 0;
  pending_bits_ = 0;
}

void BitWriter::WriteU8(uint8_t value) {
  Align();
  bytes_.push_back(value);
}

void BitWriter::WriteU16(uint16_t value) {
  WriteU8(static_cast<uint8_t>(value));
  WriteU8(static_cast<uint8_t>(value >> 8));
}

void BitWriter::WriteU32(uint32_t value) {
  WriteU16(static_cast<uint16_t>(value));
  WriteU16(static_cast<uint16_t>(value >> 16));
}

void BitWriter::WriteBytes(std::span<const uint8_t> bytes) {
  Align();
  bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
}

void BitWriter::WriteString(std::string_view text) {
  Align();
  bytes_.insert(bytes_.end(), text.begin(), text.end());
  bytes_.push_back(0);
}

int BitWriter::SignedBitsFor(std::initializer_list<int32_t> values) {
  int bits = 0;
  for (int32_t v : values) {
    int needed = 1;
    while (needed < 32 &&
           (v < -(int64_t{1} << (needed - 1)) || v >= (int64_t{1} << (needed - 1)))) {
      ++needed;
    }
    if (v != 0) bits = std::max(bits, needed);
  }
  return bits;
}

void WriteRect(BitWriter& out, int32_t x_min, int32_t x_max, int32_t y_min, int32_t y_max,
               std::optional<int> bits) {
  const int n = bits.value_or(BitWriter::SignedBitsFor({x_min, x_max, y_min, y_max}));
  out.WriteUnsigned(static_cast<uint32_t>(n), 5);
  for (int32_t v : {x_min, x_max, y_min, y_max}) out.WriteSigned(v, n);
  out.Align();
}

void WriteTag(Bytes& out, uint16_t code, std::span<const uint8_t> body, bool force_long) {
  const bool long_form = force_long || body.size() >= 63;
  const auto head = static_cast<uint16_t>(code << 6 | (long_form ? 63 : body.size()));
  out.push_back(static_cast<uint8_t>(head));
  out.push_back(static_cast<uint8_t>(head >> 8));
  if (long_form) {
    const auto n = static_cast<uint32_t>(body.size());
    for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<uint8_t>(n >> shift));
  }
  out.insert(out.end(), body.begin(), body.end());
}

Bytes Deflate(std::span<const uint8_t> bytes, int level) {
  uLongf size = compressBound(static_cast<uLong>(bytes.size()));
  Bytes out(size);
  if (compress2(out.data(), &size, bytes.data(), static_cast<uLong>(bytes.size()), level) != Z_OK) {
    throw std::runtime_error("compress2 failed");
  }
  out.resize(size);
  return out;
}

Bytes BuildMovie(const MovieSpec& spec, std::span<const uint8_t> body) {
  BitWriter rest;  // everything behind the fixed 8 bytes
  WriteRect(rest, spec.x_min, spec.x_max, spec.y_min, spec.y_max, spec.rect_bits);
  rest.WriteU16(spec.frame_rate);
  rest.WriteU16(spec.frame_count);
  rest.WriteBytes(body);

  const auto length = static_cast<uint32_t>(
      spec.declared_length.value_or(static_cast<int32_t>(8 + rest.bytes().size())));
  BitWriter file;
  file.WriteBytes(std::span<const uint8_t>(
      reinterpret_cast<const uint8_t*>(spec.compressed ? "CWS" : "FWS"), 3));
  file.WriteU8(spec.version);
  file.WriteU32(length);
  file.WriteBytes(spec.compressed ? Deflate(rest.bytes()) : rest.bytes());
  return std::move(file.bytes());
}

}  // namespace lumen::authoring

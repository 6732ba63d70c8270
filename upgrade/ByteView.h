#pragma once

#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>

namespace lumen::upgrade {

// A file whose structure cannot be what it claims; the message says what is wrong in plain words.
class FormatError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Little-endian reads from borrowed bytes. Offsets and counts are 64-bit, so 32-bit fields added
// together cannot wrap; every read outside the bytes throws FormatError with `outside`.
class ByteView {
 public:
  ByteView(std::span<const uint8_t> bytes, std::string outside)
      : bytes_(bytes), outside_(std::move(outside)) {}

  uint64_t size() const { return bytes_.size(); }
  bool Has(uint64_t offset, uint64_t count) const {
    return offset <= bytes_.size() && count <= bytes_.size() - offset;
  }
  std::span<const uint8_t> Slice(uint64_t offset, uint64_t count) const;
  uint16_t U16(uint64_t offset) const;
  uint32_t U32(uint64_t offset) const;

 private:
  std::span<const uint8_t> bytes_;
  std::string outside_;
};

// Little-endian writes at offsets the caller has checked against `bytes`.
void PutU16(std::span<uint8_t> bytes, uint64_t offset, uint16_t value);
void PutU32(std::span<uint8_t> bytes, uint64_t offset, uint32_t value);

}  // namespace lumen::upgrade

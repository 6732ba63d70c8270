#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

#include "stream/MemoryStream.h"
#include "swf/BitsEngine.h"

namespace lumen {

#pragma pack(push, 1)
// The movie head. The first three fields lie exactly like the first 8 bytes of the file.
struct MovieHead {
  char Signature[3] = {0, 0, 0};
  uint8_t Version = 0;
  int32_t FileLength = 0;
  TRect FrameRect;         // twips
  uint16_t FrameRate = 0;  // whole frames per second; the fraction byte is skipped
  uint16_t FrameCount = 0;
};
#pragma pack(pop)

// Recognises an SWF movie file ("FWS" plain or "CWS" zlib-compressed) and reads its head; keeps the
// movie's body in memory. A file that is not a movie is no error: its frame is 0 x 0. Errors of the
// stream layer and of zlib pass through as StreamError.
class TSWFStreamReader {
 public:
  enum HeadMode : uint8_t { HeadWhole = 0, HeadFixed = 1, HeadFrame = 2 };

  TSWFStreamReader();
  // Loads the file at once unless the name is empty.
  explicit TSWFStreamReader(const std::filesystem::path& fileName);

  void LoadFromFile(const std::filesystem::path& fileName);
  void LoadFromStream(Stream& stream);
  bool CheckSignature(Stream& stream);
  // Reads parts of the head from the stream's position; answers the bytes consumed.
  int32_t ReadHead(Stream& stream, uint8_t mode);
  // Creates the empty body on the first call.
  MemoryStream& GetBody();

  int32_t MovieWidth() const;
  int32_t MovieHeight() const;

  const MovieHead& Head() const { return head_; }
  bool Compressed() const { return compressed_; }
  bool HeadValid() const { return head_valid_; }
  const std::string& SignatureText() const { return signature_text_; }
  const MemoryStream* Body() const { return body_.get(); }

 private:
  void ReadFixedPart(Stream& stream);
  void ReadFramePart(Stream& stream);
  void LoadCompressedBody(Stream& stream);

  bool compressed_ = false;
  bool head_valid_ = false;
  std::unique_ptr<MemoryStream> body_;
  std::string signature_text_;
  MovieHead head_;
};

}  // namespace lumen

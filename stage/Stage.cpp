#include "stage/Stage.h"

#include "movie/ShapeBuilder.h"

namespace lumen::stage {

namespace {

// Morph shapes at distinct ratios kept at most; a tween visits one ratio per frame.
constexpr size_t kMaxCachedMorphs = 256;

void Push(render::RenderList& out, render::RenderCommand::Kind kind) {
  render::RenderCommand command;
  command.kind = kind;
  out.commands.push_back(command);
}

}  // namespace

Stage::Stage(std::shared_ptr<const movie::Movie> movie, bool loop, size_t bitmap_bytes)
    : movie_(std::move(movie)), bitmaps_(bitmap_bytes), loop_(loop) {
  context_.movie = movie_.get();
  root_ = std::make_unique<Clip>(context_, movie_->root, 0);
}

void Stage::Advance() {
  root_->Advance(loop_);
}

void Stage::GotoFrame(size_t frame) {
  root_->GotoFrame(frame == 0 ? 0 : frame - 1);
}

void Stage::BuildRenderList(render::RenderList& out) {
  out.Clear();
  out.background = context_.background;
  out.bitmaps = &bitmaps_;
  if (morphs_.size() > kMaxCachedMorphs) {
    morphs_.clear();
    ++shape_generation_;
  }
  masks_.clear();
  EmitClip(*root_, {}, {}, false, out);
}

void Stage::EmitClip(const Clip& clip, const render::Matrix& m, const render::ColorTransform& cx,
                     bool in_mask, render::RenderList& out) {
  const size_t base = masks_.size();
  for (const DisplayObject& object : clip.DisplayList()) {
    while (masks_.size() > base && masks_.back() < object.place.depth) {
      masks_.pop_back();
      Push(out, render::RenderCommand::Kind::PopMask);
    }
    if (object.place.clip_depth == 0) {
      EmitObject(object, m, cx, in_mask, out);
      continue;
    }
    if (in_mask) continue;  // a mask inside a mask's content adds nothing to its shape
    Push(out, render::RenderCommand::Kind::BeginMask);
    EmitObject(object, m, cx, true, out);
    Push(out, render::RenderCommand::Kind::EndMask);
    masks_.push_back(object.place.clip_depth);
  }
  while (masks_.size() > base) {
    masks_.pop_back();
    Push(out, render::RenderCommand::Kind::PopMask);
  }
}

void Stage::EmitObject(const DisplayObject& object, const render::Matrix& parent_m,
                       const render::ColorTransform& parent_cx, bool in_mask,
                       render::RenderList& out) {
  if (object.character == nullptr) return;
  const render::Matrix m = parent_m * object.place.matrix;
  render::ColorTransform cx = parent_cx * object.place.cxform;
  // A blend mode composites the object as one picture: its content is drawn into a layer
  // without the transform that applies to the layer as a whole.
  const bool layer = !in_mask && object.place.blend != render::BlendMode::Normal;
  if (layer) {
    render::RenderCommand begin;
    begin.kind = render::RenderCommand::Kind::BeginLayer;
    begin.blend = object.place.blend;
    out.commands.push_back(begin);
  }
  const render::ColorTransform content_cx = layer ? render::ColorTransform{} : cx;
  if (object.clip) {
    EmitClip(*object.clip, m, content_cx, in_mask, out);
  } else {
    const render::ShapeGeometry* shape = object.character->shape.get();
    if (object.character->morph) shape = MorphAt(object);
    if (shape != nullptr) {
      render::RenderCommand draw;
      draw.kind = render::RenderCommand::Kind::DrawShape;
      draw.shape = shape;
      draw.matrix = m;
      draw.cxform = content_cx;
      out.commands.push_back(draw);
    }
  }
  if (layer) {
    render::RenderCommand end;
    end.kind = render::RenderCommand::Kind::EndLayer;
    end.blend = object.place.blend;
    end.cxform = cx;
    out.commands.push_back(end);
  }
}

const render::ShapeGeometry* Stage::MorphAt(const DisplayObject& object) {
  const uint32_t key = uint32_t{object.place.character} << 16 | object.place.ratio;
  auto it = morphs_.find(key);
  if (it == morphs_.end()) {
    auto geometry = std::make_unique<render::ShapeGeometry>(
        movie::BuildGeometry(object.character->morph->At(object.place.ratio)));
    it = morphs_.emplace(key, std::move(geometry)).first;
  }
  return it->second.get();
}

}  // namespace lumen::stage

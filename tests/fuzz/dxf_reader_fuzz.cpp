// Feeds arbitrary bytes to the DXF reader: it must answer with a status, never crash or hang, and
// a successful read must hold only valid UTF-8 texts.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "cadsim/dxf/dxf_reader.h"
#include "cadsim/dxf/dxf_text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const cadsim::dxf::Result result = cadsim::dxf::ReadText(text);
  if (result.status != cadsim::dxf::Status::kOk) {
    if (result.message.empty() || !result.drawing.entities.empty()) std::abort();
    return 0;
  }
  for (const cadsim::dxf::Layer& layer : result.drawing.layers) {
    if (!cadsim::dxf::IsValidUtf8(layer.name)) std::abort();
  }
  for (const cadsim::dxf::Entity& entity : result.drawing.entities) {
    if (!cadsim::dxf::IsValidUtf8(entity.layer)) std::abort();
    if (const auto* mtext = std::get_if<cadsim::dxf::MText>(&entity.data)) {
      if (!cadsim::dxf::IsValidUtf8(cadsim::dxf::MTextPlainText(mtext->text))) std::abort();
    }
  }
  return 0;
}

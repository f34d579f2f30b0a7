// Feeds arbitrary bytes to the DXF reader: it must answer with a status, never crash or hang, and
// a successful read must hold only valid UTF-8 in every text it decodes, whatever code page the
// file names.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "cadsim/dxf/dxf_reader.h"
#include "cadsim/dxf/dxf_text.h"

namespace {

using namespace cadsim::dxf;

void Utf8(std::string_view text) {
  if (!IsValidUtf8(text)) std::abort();
}

void CheckAttribute(const Attribute& a) {
  for (std::string_view text : {a.tag, a.text, a.prompt, a.style, a.layer}) Utf8(text);
  Utf8(MTextPlainText(a.mtext));
}

void CheckEntities(const std::vector<Entity>& entities) {
  for (const Entity& entity : entities) {
    Utf8(entity.layer);
    Utf8(entity.linetype);
    if (const auto* mtext = std::get_if<MText>(&entity.data)) {
      Utf8(MTextPlainText(mtext->text));
      Utf8(mtext->style);
    } else if (const auto* text = std::get_if<Text>(&entity.data)) {
      Utf8(text->text);
      Utf8(text->style);
    } else if (const auto* attribute = std::get_if<Attribute>(&entity.data)) {
      CheckAttribute(*attribute);
    } else if (const auto* insert = std::get_if<Insert>(&entity.data)) {
      Utf8(insert->blockName);
      for (const Attribute& a : insert->attributes) CheckAttribute(a);
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const Result result = ReadText(text);
  if (result.status != Status::kOk) {
    if (result.message.empty() || !result.drawing.entities.empty()) std::abort();
    return 0;
  }
  const Drawing& drawing = result.drawing;
  for (const Layer& layer : drawing.layers) {
    Utf8(layer.name);
    Utf8(layer.linetype);
  }
  for (const TextStyle& style : drawing.textStyles) {
    for (std::string_view s : {style.name, style.fontFile, style.bigFontFile}) Utf8(s);
  }
  for (const BlockRecord& record : drawing.blockRecords) Utf8(record.name);
  for (const TableRecord& record : drawing.otherTableRecords) Utf8(record.name);
  for (const Block& block : drawing.blocks) {
    for (std::string_view s : {block.name, block.layer, block.description, block.xrefPath}) Utf8(s);
    CheckEntities(block.entities);
  }
  CheckEntities(drawing.entities);
  for (const Dictionary& dictionary : drawing.dictionaries) {
    for (const Dictionary::Entry& entry : dictionary.entries) Utf8(entry.name);
  }
  for (const Layout& layout : drawing.layouts) {
    Utf8(layout.name);
    Utf8(layout.plot.pageSetupName);
  }
  return 0;
}

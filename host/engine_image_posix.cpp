#include "host/engine_image.h"

// Defined by the source the build generates around the engine library (embed_engine_image.cmake).
extern "C" const std::uint8_t zaxEngineImageBegin[];
extern "C" const std::uint8_t zaxEngineImageEnd[];

namespace zax {

std::optional<std::vector<std::uint8_t>> loadRawResource(std::int32_t number, void*) {
  if (number != 1) return std::nullopt;
  return std::vector<std::uint8_t>(zaxEngineImageBegin, zaxEngineImageEnd);
}

}  // namespace zax

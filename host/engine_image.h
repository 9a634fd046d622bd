// The engine library image that the control carries inside its own file: raw-data
// resource 1 (RCDATA) of the module on Windows, a byte array linked in at build time on the
// native build. Both are made by the build from the engine target.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace zax {

// The bytes of raw-data resource `number` of `module` (an HMODULE; null: the module that
// holds this code). Natively only number 1 exists, the linked-in image, and `module` is not
// used. Nothing when there is no such resource.
std::optional<std::vector<std::uint8_t>> loadRawResource(std::int32_t number,
                                                         void* module = nullptr);

}  // namespace zax

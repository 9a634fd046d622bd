// Where the host deploys the engine library: <temporary folder>\ZAXSoftware\<file name>.
#pragma once

namespace zax {

inline constexpr char kDeploymentFolderName[] = "ZAXSoftware";

// The 32-bit and the 64-bit control may run for one user at the same time; each deploys
// an engine of its own width, under a name of its own, so that neither finds the other's
// file, takes it for damaged and replaces it (or loads a module of the wrong width).
#ifdef _WIN64
inline constexpr char kEngineFileName[] = "zaxtargzips200_64.zax";
#else
inline constexpr char kEngineFileName[] = "zaxtargzips200.zax";
#endif

}  // namespace zax

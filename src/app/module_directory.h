#pragma once
// Where the running executable lies: the folder the tool keeps its loaders,
// "Zorbel.ini", "ZorbelSD.ini", "path.ini" and mkrom in.
#include <string>

namespace zorbel {

// The executable's drive and folder, ending in the platform's separator
// ("C:\Tools\Zorbel\" on Windows, "/opt/zorbel/bin/" elsewhere); empty when
// the system cannot tell.
std::string ModuleDirectory();

}  // namespace zorbel

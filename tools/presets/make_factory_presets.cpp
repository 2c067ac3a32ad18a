// Build step: writes one .fxp file per factory preset into a directory, and removes .fxp files
// there that no factory preset makes any more (a renamed preset leaves no stale file behind).
#include "presets/FactoryFiles.h"

#include <cstdio>
#include <filesystem>
#include <set>

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: ombrine-factory-fxp DIRECTORY\n");
    return 2;
  }
  namespace fs = std::filesystem;
  const fs::path dir = argv[1];
  try {
    fs::create_directories(dir);
    std::set<std::string> made;
    for (const FactoryPreset& preset : presets::kFactory) {
      const std::string name = presets::fileName(preset);
      if (!made.insert(name).second) {
        std::fprintf(stderr, "ombrine-factory-fxp: two presets would be written as \"%s\"\n",
                     name.c_str());
        return 1;
      }
      fxp::writeFile((dir / name).string(), presets::program(preset));
    }
    for (const auto& entry : fs::directory_iterator(dir))
      if (entry.path().extension() == ".fxp" && !made.contains(entry.path().filename().string()))
        fs::remove(entry.path());
  } catch (const std::exception& e) {
    std::fprintf(stderr, "ombrine-factory-fxp: %s\n", e.what());
    return 1;
  }
  return 0;
}

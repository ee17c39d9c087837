// regstore: the Linux registry store's counterpart of "regedit /s FILE.reg". Each file is
// applied in one change under the store's lock and saved atomically; everything in the store
// that the files do not name stays as it was, byte for byte. A malformed file or store is
// reported by file and line and nothing is written.
//
//   regstore [--store PATH] import FILE.reg...     (the store defaults to $KIRNOW_REGISTRY)
//   regstore [--store PATH] path                   (prints the store's path)
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/registry/posix/reg_store.h"

namespace {

int Usage() {
  std::fprintf(stderr,
               "usage: regstore [--store PATH] import FILE.reg...\n"
               "       regstore [--store PATH] path\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::string store = kirnow::platform::DefaultRegistryPath();
  int i = 1;
  if (i + 1 < argc && std::strcmp(argv[i], "--store") == 0) {
    store = argv[i + 1];
    i += 2;
  }
  if (i >= argc) return Usage();
  const std::string command = argv[i++];
  if (command == "path" && i == argc) {
    std::printf("%s\n", store.c_str());
    return 0;
  }
  if (command != "import" || i == argc) return Usage();

  kirnow::platform::RegistryStore registry(store);
  for (; i < argc; ++i) {
    std::ifstream in(argv[i], std::ios::binary);
    if (!in) {
      std::fprintf(stderr, "regstore: cannot read %s: %s\n", argv[i], std::strerror(errno));
      return 1;
    }
    std::stringstream text;
    text << in.rdbuf();
    if (!registry.Import(text.str(), argv[i])) {
      std::fprintf(stderr, "regstore: %s\nregstore: nothing was imported from %s\n",
                   registry.LastError().c_str(), argv[i]);
      return 1;
    }
  }
  return 0;
}

#include "polecheck_harness.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

namespace kirnow::it {

namespace {

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

}  // namespace

ProgramResult RunProgram(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                         int timeoutMs) {
  ProgramResult result;
  char dirTemplate[] = "/tmp/polecheck-run.XXXXXX";
  const char* dir = mkdtemp(dirTemplate);
  if (dir == nullptr) return result;
  const std::string outPath = std::string(dir) + "/out";
  const std::string errPath = std::string(dir) + "/err";
  const pid_t pid = fork();
  if (pid == 0) {
    setpgid(0, 0);
    const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int nul = open("/dev/null", O_RDONLY);
    dup2(nul, 0);
    dup2(out, 1);
    dup2(err, 2);
    for (const auto& e : env) putenv(const_cast<char*>(e.c_str()));
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execv(args[0], args.data());
    _exit(127);
  }
  if (pid < 0) return result;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  int status = 0;
  bool done = false;
  while (std::chrono::steady_clock::now() < deadline) {
    if (waitpid(pid, &status, WNOHANG) == pid) {
      done = true;
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  if (!done) {
    kill(-pid, SIGKILL);
    waitpid(pid, &status, 0);
  } else if (WIFEXITED(status)) {
    result.status = WEXITSTATUS(status);
  }
  result.out = ReadFile(outPath);
  result.err = ReadFile(errPath);
  unlink(outPath.c_str());
  unlink(errPath.c_str());
  rmdir(dir);
  return result;
}

std::string BuiltFile(const std::string& name) {
  const char* bin = std::getenv("KIRNOW_BIN_DIR");
  if (bin == nullptr) return {};
  const std::string path = std::string(bin) + "/" + name;
  struct stat st {};
  return stat(path.c_str(), &st) == 0 ? path : std::string();
}

std::string MissingPieces() {
  std::string missing;
  for (const char* f : {"polecheck", "vpoledisplay", "regsvr", "Kirnow.so"}) {
    if (BuiltFile(f).empty()) missing += std::string(missing.empty() ? "" : ", ") + f;
  }
  return missing.empty() ? missing : "not built yet: " + missing;
}

std::string PrepareStore(TestRegistryFile& store, const VirtualDisplay& display) {
  return PrepareStore(store, display.LinkPath());
}

std::string PrepareStore(TestRegistryFile& store, const std::string& displayDevice) {
  store.AddDisplay("JQ POS POLE DISPLAY", 5, displayDevice);
  const ProgramResult reg = RunProgram({BuiltFile("regsvr"), BuiltFile("Kirnow.so")},
                                       {"KIRNOW_REGISTRY=" + store.Path()}, 20000);
  if (reg.status != 0) {
    return "regsvr failed (" + std::to_string(reg.status) + "): " + reg.out + reg.err;
  }
  return {};
}

bool Contains(const std::vector<uint8_t>& haystack, const std::vector<uint8_t>& needle) {
  return std::search(haystack.begin(), haystack.end(), needle.begin(), needle.end()) !=
         haystack.end();
}

std::vector<uint8_t> Bytes(const std::string& text) {
  return std::vector<uint8_t>(text.begin(), text.end());
}

}  // namespace kirnow::it

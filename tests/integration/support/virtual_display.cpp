// The integration-test fixture: spawning vpoledisplay, reading its log and snapshot files, and a
// registry store file for the service object.
#include "virtual_display.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "kirnow_config.h"
#include "platform/text/utf_convert.h"

namespace kirnow::it {

namespace {

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return {};
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

std::string Trim(const std::string& s) {
  size_t b = 0, e = s.size();
  while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) ++b;
  while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) --e;
  return s.substr(b, e - b);
}

// Decodes a JSON string literal starting at s[pos] == '"'; pos ends after the closing quote.
std::string JsonString(const std::string& s, size_t& pos) {
  std::string out;
  if (pos >= s.size() || s[pos] != '"') return out;
  ++pos;
  while (pos < s.size() && s[pos] != '"') {
    char c = s[pos++];
    if (c != '\\' || pos >= s.size()) {
      out += c;
      continue;
    }
    char e = s[pos++];
    switch (e) {
      case 'n':
        out += '\n';
        break;
      case 't':
        out += '\t';
        break;
      case 'r':
        out += '\r';
        break;
      case 'u':
        if (pos + 4 <= s.size()) {
          const auto unit =
              static_cast<char16_t>(std::strtoul(s.substr(pos, 4).c_str(), nullptr, 16));
          out += platform::Utf16ToUtf8(std::u16string_view(&unit, 1));
          pos += 4;
        }
        break;
      default:
        out += e;
        break;
    }
  }
  if (pos < s.size()) ++pos;
  return out;
}

std::vector<uint8_t> Hex(const std::string& s) {
  std::vector<uint8_t> out;
  std::string digits;
  for (char c : s)
    if (std::isxdigit(static_cast<unsigned char>(c))) digits += c;
  for (size_t i = 0; i + 1 < digits.size(); i += 2)
    out.push_back(static_cast<uint8_t>(std::strtoul(digits.substr(i, 2).c_str(), nullptr, 16)));
  return out;
}

// Reads "key": value pairs of one flat object, values as raw text (strings decoded).
std::map<std::string, std::string> FlatObject(const std::string& s) {
  std::map<std::string, std::string> out;
  size_t pos = 0;
  while ((pos = s.find('"', pos)) != std::string::npos) {
    std::string key = JsonString(s, pos);
    pos = s.find(':', pos);
    if (pos == std::string::npos) break;
    ++pos;
    while (pos < s.size() && s[pos] == ' ') ++pos;
    if (pos < s.size() && s[pos] == '"') {
      out[key] = JsonString(s, pos);
    } else {
      size_t end = s.find_first_of(",}", pos);
      out[key] = Trim(s.substr(pos, end == std::string::npos ? std::string::npos : end - pos));
      pos = end == std::string::npos ? s.size() : end;
    }
  }
  return out;
}

int32_t Int(const std::map<std::string, std::string>& m, const char* key) {
  auto it = m.find(key);
  return it == m.end() ? 0 : static_cast<int32_t>(std::strtol(it->second.c_str(), nullptr, 10));
}

double Dbl(const std::map<std::string, std::string>& m, const char* key) {
  auto it = m.find(key);
  return it == m.end() ? 0 : std::strtod(it->second.c_str(), nullptr);
}

std::string Str(const std::map<std::string, std::string>& m, const char* key) {
  auto it = m.find(key);
  return it == m.end() ? std::string() : it->second;
}

std::string BinDir() {
  const char* dir = std::getenv("KIRNOW_BIN_DIR");
  return dir ? dir : "";
}

}  // namespace

Snapshot ParseSnapshot(const std::string& text) {
  Snapshot snap;
  std::istringstream in(text);
  std::string line;
  bool closed = false;
  while (std::getline(in, line)) {
    std::string t = Trim(line);
    if (t == "}") closed = true;
    if (t.empty() || t[0] != '"') continue;
    size_t pos = 0;
    std::string key = JsonString(t, pos);
    pos = t.find(':', pos);
    if (pos == std::string::npos) continue;
    std::string rest = Trim(t.substr(pos + 1));
    if (!rest.empty() && rest.back() == ',') rest.pop_back();
    if (key == "frames") {
      size_t p = 0;
      while ((p = rest.find('{', p)) != std::string::npos) {
        size_t e = rest.find('}', p);
        if (e == std::string::npos) break;
        auto obj = FlatObject(rest.substr(p + 1, e - p - 1));
        FrameStat f;
        f.row = Int(obj, "row");
        f.col = Int(obj, "col");
        f.count = Int(obj, "count");
        f.periodMs = Dbl(obj, "period_ms");
        f.jitterMs = Dbl(obj, "jitter_ms");
        f.minMs = Dbl(obj, "min_ms");
        f.maxMs = Dbl(obj, "max_ms");
        f.charsPerFrame = Dbl(obj, "chars_per_frame");
        snap.frames.push_back(f);
        p = e + 1;
      }
      snap.fields[key] = rest;
    } else if (!rest.empty() && rest[0] == '"') {
      size_t p = 0;
      snap.fields[key] = JsonString(rest, p);
    } else {
      snap.fields[key] = rest;
    }
  }
  const auto& f = snap.fields;
  snap.valid = closed && f.count("line1") && f.count("line2");
  snap.line1 = Str(f, "line1");
  snap.line2 = Str(f, "line2");
  snap.line1Bytes = Hex(Str(f, "line1_hex"));
  snap.line2Bytes = Hex(Str(f, "line2_hex"));
  snap.cursorRow = Int(f, "cursor_row");
  snap.cursorCol = Int(f, "cursor_col");
  snap.reverse1 = Str(f, "reverse1");
  snap.reverse2 = Str(f, "reverse2");
  snap.blink = Int(f, "blink");
  snap.brightness = Int(f, "brightness");
  snap.charset = Str(f, "charset");
  snap.glyph5f = Hex(Str(f, "glyph_5f"));
  snap.bytesReceived = std::strtoull(Str(f, "bytes_received").c_str(), nullptr, 10);
  snap.identityQueries = Int(f, "identity_queries");
  snap.identityReplies = Int(f, "identity_replies");
  snap.ignoredSequences = Int(f, "ignored_sequences");
  snap.generation = Int(f, "generation");
  snap.plugged = Str(f, "plugged") == "true";
  return snap;
}

std::string MakeDisplayFileDir(const std::string& prefix) {
  for (const char* base : {"/dev/shm", "/tmp"}) {
    std::string path = std::string(base) + "/" + prefix + "XXXXXX";
    if (access(base, W_OK) == 0 && mkdtemp(path.data()) != nullptr) return path;
  }
  return {};
}

VirtualDisplay::VirtualDisplay() = default;

VirtualDisplay::~VirtualDisplay() { Stop(); }

bool VirtualDisplay::Start(const VirtualDisplayOptions& options) {
  Stop();
  dir_ = MakeDisplayFileDir("kirnow-vpd-");
  if (dir_.empty()) return false;
  link_ = dir_ + "/pole";
  log_ = dir_ + "/bytes.log";
  snapshot_ = dir_ + "/screen.json";
  std::string program = BinDir().empty() ? std::string("vpoledisplay") : BinDir() + "/vpoledisplay";

  std::vector<std::string> args = {
      program, "--no-render", "--link",  link_,        "--log",
      log_,    "--snapshot",  snapshot_, "--identity", options.identity};
  if (!options.pid.empty()) {
    args.push_back("--pid");
    args.push_back(options.pid);
  }
  if (options.baud > 0) {
    args.push_back("--baud");
    args.push_back(std::to_string(options.baud));
  }
  for (const auto& a : options.extraArgs) args.push_back(a);

  int out[2];
  if (pipe2(out, O_CLOEXEC) != 0) return false;
  pid_t child = fork();
  if (child < 0) {
    close(out[0]);
    close(out[1]);
    return false;
  }
  if (child == 0) {
    dup2(out[1], STDOUT_FILENO);
    // Descriptors the test holds (a port it has open, say) must not live on in the display.
    for (int fd = 3; fd < 1024; ++fd) close(fd);
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(127);
  }
  close(out[1]);
  pid_ = child;
  stdoutFd_ = out[0];

  // First line on stdout: the pty slave path.
  std::string first;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (first.find('\n') == std::string::npos && std::chrono::steady_clock::now() < deadline) {
    pollfd p{stdoutFd_, POLLIN, 0};
    if (poll(&p, 1, 100) <= 0) continue;
    char buf[256];
    ssize_t n = read(stdoutFd_, buf, sizeof buf);
    if (n <= 0) break;
    first.append(buf, static_cast<size_t>(n));
  }
  if (first.find('\n') == std::string::npos) {
    Stop();
    return false;
  }
  slave_ = first.substr(0, first.find('\n'));
  // The rest of stdout is not read; keep the pipe from filling by letting the child write to it
  // only rarely (re-plugs print one line each).
  while (std::chrono::steady_clock::now() < deadline) {
    struct stat st;
    if (stat(link_.c_str(), &st) == 0 && std::filesystem::exists(snapshot_)) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  Stop();
  return false;
}

void VirtualDisplay::Stop() {
  if (pid_ > 0) {
    kill(pid_, SIGTERM);
    int status = 0;
    bool done = false;
    for (int i = 0; i < 300 && !done; ++i) {
      if (waitpid(pid_, &status, WNOHANG) == pid_)
        done = true;
      else
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (!done) {
      kill(pid_, SIGKILL);
      waitpid(pid_, &status, 0);
    }
    pid_ = -1;
  }
  if (stdoutFd_ >= 0) {
    close(stdoutFd_);
    stdoutFd_ = -1;
  }
  if (!dir_.empty()) {
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
    dir_.clear();
  }
}

std::vector<std::pair<double, uint8_t>> VirtualDisplay::ReceivedBytesWithTimes() const {
  return ParseByteLog(ReadFile(log_));
}

std::vector<std::pair<double, uint8_t>> ParseByteLog(const std::string& text) {
  std::vector<std::pair<double, uint8_t>> out;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream fields(line);
    double ms = 0;
    fields >> ms;
    std::string hex;
    while (fields >> hex)
      out.emplace_back(ms, static_cast<uint8_t>(std::strtoul(hex.c_str(), nullptr, 16)));
  }
  return out;
}

std::string VirtualDisplay::Pty() const {
  char buf[4096];
  const ssize_t n = readlink(link_.c_str(), buf, sizeof buf - 1);
  return n > 0 ? std::string(buf, static_cast<size_t>(n)) : std::string();
}

std::vector<uint8_t> VirtualDisplay::ReceivedBytes() const {
  std::vector<uint8_t> out;
  for (const auto& [ms, b] : ReceivedBytesWithTimes()) out.push_back(b);
  return out;
}

Snapshot VirtualDisplay::ReadSnapshot() const { return ParseSnapshot(ReadFile(snapshot_)); }

bool VirtualDisplay::WaitForSnapshot(const std::function<bool(const Snapshot&)>& done,
                                     int timeoutMs) const {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    Snapshot s = ReadSnapshot();
    if (s.valid && done(s)) return true;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

bool VirtualDisplay::WaitForBytes(size_t n, int timeoutMs) const {
  return WaitForSnapshot([n](const Snapshot& s) { return s.bytesReceived >= n; }, timeoutMs);
}

void VirtualDisplay::Unplug() const {
  if (pid_ > 0) kill(pid_, SIGUSR2);
}

void VirtualDisplay::Hold(bool held) const {
  if (pid_ > 0) kill(pid_, held ? SIGRTMIN : SIGRTMIN + 1);
}

void VirtualDisplay::RequestSnapshot() const {
  if (pid_ > 0) kill(pid_, SIGUSR1);
}

// ---- registry store file ----

namespace {

std::string RegQuote(const std::string& s) {
  std::string out = "\"";
  for (char c : s) {
    if (c == '\\' || c == '"') out += '\\';
    out += c;
  }
  return out + "\"";
}

bool SameName(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

std::string Lower(std::string s) {
  for (auto& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

}  // namespace

TestRegistryFile::TestRegistryFile() {
  char tmpl[] = "/tmp/kirnow-reg-XXXXXX";
  if (mkdtemp(tmpl)) dir_ = tmpl;
  path_ = dir_ + "/registry.reg";
  if (const char* prev = std::getenv("KIRNOW_REGISTRY")) {
    hadPrevious_ = true;
    previous_ = prev;
  }
  setenv("KIRNOW_REGISTRY", path_.c_str(), 1);
  Write();
}

TestRegistryFile::~TestRegistryFile() {
  if (hadPrevious_)
    setenv("KIRNOW_REGISTRY", previous_.c_str(), 1);
  else
    unsetenv("KIRNOW_REGISTRY");
  if (!dir_.empty()) {
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }
}

TestRegistryFile::Key& TestRegistryFile::FindOrAdd(const std::string& keyPath) {
  for (auto& k : keys_)
    if (SameName(k.path, keyPath)) return k;
  keys_.push_back(Key{keyPath, {}});
  return keys_.back();
}

void TestRegistryFile::Put(const std::string& keyPath, const std::string& name,
                           const std::string& text) {
  Key& key = FindOrAdd(keyPath);
  for (auto& v : key.values) {
    if (SameName(v.name, name)) {
      v.text = text;
      Write();
      return;
    }
  }
  key.values.push_back(Value{name, text});
  Write();
}

void TestRegistryFile::AddKey(const std::string& keyPath) {
  FindOrAdd(keyPath);
  Write();
}

void TestRegistryFile::SetString(const std::string& keyPath, const std::string& name,
                                 const std::string& data) {
  Put(keyPath, name, RegQuote(data));
}

void TestRegistryFile::SetDword(const std::string& keyPath, const std::string& name,
                                uint32_t data) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "dword:%08x", data);
  Put(keyPath, name, buf);
}

void TestRegistryFile::AddOposDevice(const std::string& name, const std::string& progId) {
  SetString("HKEY_LOCAL_MACHINE\\SOFTWARE\\OLEforRetail\\ServiceOPOS\\LineDisplay\\" + name, "",
            progId);
}

void TestRegistryFile::AddUsbInstance(const std::string& instance, const std::string& portName,
                                      const std::string& vid, const std::string& pid) {
  std::string v = Lower(vid.empty() ? std::string(KIRNOW_USB_VID) : vid);
  std::string p = pid.empty() ? std::string(KIRNOW_USB_PID) : pid;
  SetString("HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Enum\\USB\\Vid_" + v + "&Pid_" + p +
                "\\" + instance + "\\Device Parameters",
            "PortName", portName);
}

void TestRegistryFile::AddComPort(const std::string& devicePath, const std::string& portName) {
  SetString("HKEY_LOCAL_MACHINE\\HARDWARE\\DEVICEMAP\\SERIALCOMM", devicePath, portName);
}

void TestRegistryFile::AddDisplay(const std::string& deviceName, int32_t comNumber,
                                  const std::string& devicePath, const std::string& instance) {
  std::string com = "COM" + std::to_string(comNumber);
  AddOposDevice(deviceName);
  AddUsbInstance(instance, com);
  AddComPort(devicePath, com);
}

void TestRegistryFile::Write() const {
  std::string text = "Windows Registry Editor Version 5.00\n";
  for (const auto& k : keys_) {
    text += "\n[" + k.path + "]\n";
    for (const auto& v : k.values)
      text += (v.name.empty() ? "@" : RegQuote(v.name)) + "=" + v.text + "\n";
  }
  std::string tmp = path_ + ".tmp";
  {
    std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
    out << text;
  }
  std::rename(tmp.c_str(), path_.c_str());
}

std::string TestRegistryFile::Read() const { return ReadFile(path_); }

}  // namespace kirnow::it

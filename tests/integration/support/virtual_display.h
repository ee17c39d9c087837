// Integration-test fixture around the virtual pole display program (vpoledisplay): starts it on a
// fresh pseudo-terminal with a stable link path, and reads back what it received and what its
// screen shows.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace kirnow::it {

struct VirtualDisplayOptions {
  std::string pid;                     // product id answered to 1D 49 02; empty: the build's id
  std::string identity = "answer";     // answer, second, wrong or silent
  int32_t baud = 0;                    // wire pacing; 0: bytes are taken as fast as they come
  std::vector<std::string> extraArgs;  // passed through unchanged (--hangup-after ...)
};

// Statistics of the cursor-move frames repeatedly sent to one cell (a marquee's frames).
struct FrameStat {
  int32_t row = 0;
  int32_t col = 0;
  int32_t count = 0;    // cursor moves to this cell
  double periodMs = 0;  // mean time between two of them
  double jitterMs = 0;  // standard deviation of that time
  double minMs = 0;
  double maxMs = 0;
  double charsPerFrame = 0;
};

// The display's screen and modes as the program last wrote them.
struct Snapshot {
  bool valid = false;
  std::string line1, line2;                     // 20 characters each, as UTF-8 text
  std::vector<uint8_t> line1Bytes, line2Bytes;  // the 20 character bytes of each line
  int32_t cursorRow = 0, cursorCol = 0;         // counted from 1
  std::string reverse1, reverse2;               // 20 characters, 'R' for a reversed cell
  int32_t blink = 0;                            // blink interval byte, 0: not blinking
  int32_t brightness = 0;
  std::string charset;           // "builtin" or "user"
  std::vector<uint8_t> glyph5f;  // column bytes of character 5F, empty: undefined
  uint64_t bytesReceived = 0;
  int32_t identityQueries = 0;
  int32_t identityReplies = 0;
  int32_t ignoredSequences = 0;
  int32_t generation = 0;  // 1, +1 for every re-plug
  bool plugged = false;
  std::vector<FrameStat> frames;
  std::map<std::string, std::string> fields;  // every field as written, for anything else
};

// Parses the snapshot file's text; `valid` is false when it cannot be read.
Snapshot ParseSnapshot(const std::string& text);

class VirtualDisplay {
 public:
  VirtualDisplay();
  ~VirtualDisplay();
  VirtualDisplay(const VirtualDisplay&) = delete;
  VirtualDisplay& operator=(const VirtualDisplay&) = delete;

  // Spawns $KIRNOW_BIN_DIR/vpoledisplay with --no-render, a link, a log and a snapshot file in a
  // fresh temporary directory, and waits until the link is in place. False on any failure.
  bool Start(const VirtualDisplayOptions& options = {});
  // Ends the program (SIGTERM, then SIGKILL after 3 s) and removes the temporary directory.
  void Stop();
  bool Running() const { return pid_ > 0; }

  const std::string& LinkPath() const { return link_; }
  const std::string& LogPath() const { return log_; }
  const std::string& SnapshotPath() const { return snapshot_; }
  const std::string& Directory() const { return dir_; }
  // The pty slave the program printed first.
  const std::string& SlavePath() const { return slave_; }
  // The pty slave it is plugged in on now (where its link leads); empty while unplugged.
  std::string Pty() const;
  pid_t ProcessId() const { return pid_; }

  // Every byte the display has received so far, in order, from its log.
  std::vector<uint8_t> ReceivedBytes() const;
  // The same with the time stamp (ms since the program started) of the read that brought it.
  std::vector<std::pair<double, uint8_t>> ReceivedBytesWithTimes() const;
  Snapshot ReadSnapshot() const;
  // Waits until the display has received and interpreted at least n bytes.
  bool WaitForBytes(size_t n, int timeoutMs) const;
  bool WaitForSnapshot(const std::function<bool(const Snapshot&)>& done, int timeoutMs) const;

  // Unplugs the display (the opener sees a hang-up, the link disappears); it comes back on a new
  // pty at the same link path after the program's --reopen-after delay (default 500 ms).
  void Unplug() const;  // with --reopen-after -1 in extraArgs, the same call plugs it in again
  // Holds the display's line with XOFF (its opener's writes wait, as on a full line), or lets
  // it go; a hold asked for while unplugged starts at the next plug.
  void Hold(bool held) const;
  // Asks for a fresh snapshot file.
  void RequestSnapshot() const;

 private:
  pid_t pid_ = -1;
  int stdoutFd_ = -1;
  std::string dir_, link_, log_, snapshot_, slave_;
};

// A registry store in the `.reg` text format in a temporary file; KIRNOW_REGISTRY points at it
// while the object lives (the previous value comes back afterwards). Every Add rewrites the file.
class TestRegistryFile {
 public:
  TestRegistryFile();
  ~TestRegistryFile();
  TestRegistryFile(const TestRegistryFile&) = delete;
  TestRegistryFile& operator=(const TestRegistryFile&) = delete;

  const std::string& Path() const { return path_; }

  // HKEY_LOCAL_MACHINE\SOFTWARE\OLEforRetail\ServiceOPOS\LineDisplay\<name>, default value progId.
  void AddOposDevice(const std::string& name, const std::string& progId = "JQ.POSLDisplay.1");
  // HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Enum\USB\Vid_<vid>&Pid_<pid>\<instance>\Device
  // Parameters with "PortName"="COM<n>"; vid and pid default to the build's ids (vid lower case).
  void AddUsbInstance(const std::string& instance, const std::string& portName,
                      const std::string& vid = "", const std::string& pid = "");
  // HKEY_LOCAL_MACHINE\HARDWARE\DEVICEMAP\SERIALCOMM, value devicePath = "COM<n>".
  void AddComPort(const std::string& devicePath, const std::string& portName);
  // All three for one display on devicePath.
  void AddDisplay(const std::string& deviceName, int32_t comNumber, const std::string& devicePath,
                  const std::string& instance = "6&2b4e1f0&0&1");

  // Generic access: creates the key (full path with root) and sets a string or DWORD value
  // ("" names the default value).
  void AddKey(const std::string& keyPath);
  void SetString(const std::string& keyPath, const std::string& name, const std::string& data);
  void SetDword(const std::string& keyPath, const std::string& name, uint32_t data);

  // Rewrites the file from the keys added so far.
  void Write() const;
  // The file's current content (the service object may have written to it).
  std::string Read() const;

 private:
  struct Value {
    std::string name;
    std::string text;  // already in .reg form: "..." or dword:xxxxxxxx
  };
  struct Key {
    std::string path;
    std::vector<Value> values;
  };
  Key& FindOrAdd(const std::string& keyPath);
  void Put(const std::string& keyPath, const std::string& name, const std::string& text);

  std::string dir_, path_;
  bool hadPrevious_ = false;
  std::string previous_;
  std::vector<Key> keys_;
};

// A new folder for a virtual display's byte log and snapshot, "<prefix>XXXXXX": in memory
// (/dev/shm) where the machine has it, else in /tmp; empty when none can be made. The display
// writes both files after every read of the line, before it reads again or answers an identity
// query; on a disk busy writing back, creating and renaming files stalls for seconds, and the
// display would stop reading the line for as long.
std::string MakeDisplayFileDir(const std::string& prefix);

// The (time in ms, byte) pairs of a byte log's text; comment lines ("# ...") are left out.
std::vector<std::pair<double, uint8_t>> ParseByteLog(const std::string& text);

}  // namespace kirnow::it

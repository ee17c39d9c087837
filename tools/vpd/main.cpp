// vpoledisplay: a virtual 2 x 20 pole display on a pseudo-terminal. The program prints the pty's
// device path as the first line of its output, interprets what is written to it as the display
// would, answers the identification request, draws the screen in the terminal and writes a byte
// log and screen snapshots for tests. It can be "unplugged" (the pty hangs up) and "plugged in"
// again on a new pty behind the same link path.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "displaymodel/display_model.h"
#include "kirnow_config.h"
#include "render.h"
#include "snapshot.h"

namespace {

using namespace kirnow::vpd;
using namespace kirnow::displaymodel;

volatile sig_atomic_t g_stop = 0;
volatile sig_atomic_t g_snapshot = 0;
volatile sig_atomic_t g_unplug = 0;
volatile sig_atomic_t g_hold = -1;  // 1: hold the line, 0: read again, -1: no request

void OnSignal(int sig) {
  if (sig == SIGUSR1)
    g_snapshot = 1;
  else if (sig == SIGUSR2)
    g_unplug = 1;
  else if (sig == SIGRTMIN)
    g_hold = 1;
  else if (sig == SIGRTMIN + 1)
    g_hold = 0;
  else
    g_stop = 1;
}

const char* const kUsage =
    "usage: vpoledisplay [options]\n"
    "  --pid XXXX             product id answered to 1D 49 02 (default " KIRNOW_USB_PID
    ")\n"
    "  --identity MODE        answer | second | wrong | silent (default answer)\n"
    "  --baud N               take the bytes no faster than N/10 per second (default: no limit)\n"
    "  --link PATH            keep a symbolic link PATH to the current pty\n"
    "  --log FILE             time-stamped byte log: \"<ms> <hex bytes>\" per read\n"
    "  --snapshot FILE        screen snapshot, rewritten after every change and on SIGUSR1\n"
    "  --stats                print the frame statistics at exit\n"
    "  --no-render            do not draw the display in the terminal\n"
    "  --hangup-after MS      unplug the display MS ms after the start\n"
    "  --reopen-after MS      plug it in again MS ms after unplugging (default 500; -1: only on\n"
    "                         the next SIGUSR2)\n"
    "  --sequence-timeout MS  drop a command left incomplete for MS ms (default 1000; 0: never)\n"
    "  --hold-after-replug MS after each re-plug, hold the line with XOFF for MS ms, as a display\n"
    "                         still starting up (or with its flow control held) does\n"
    "Signals: SIGUSR1 writes a snapshot, SIGUSR2 unplugs (or plugs in) the display,\n"
    "SIGRTMIN holds the line with XOFF (now, or from the next plug), SIGRTMIN+1 lets it go,\n"
    "SIGINT/SIGTERM end the program and remove the link.\n";

struct Options {
  std::string pid = KIRNOW_USB_PID;
  IdentityMode identity = IdentityMode::Answer;
  long baud = 0;
  std::string link, log, snapshot;
  bool stats = false;
  bool render = true;
  long hangupAfter = -1;
  long reopenAfter = 500;
  long sequenceTimeout = 1000;
  long holdAfterReplug = -1;
};

bool ParseLong(const char* text, long& out) {
  char* end = nullptr;
  errno = 0;
  long v = std::strtol(text, &end, 10);
  if (errno != 0 || end == text || *end != '\0') return false;
  out = v;
  return true;
}

bool ParseOptions(int argc, char** argv, Options& o) {
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    std::string value;
    bool hasInline = false;
    if (auto eq = a.find('='); a.rfind("--", 0) == 0 && eq != std::string::npos) {
      value = a.substr(eq + 1);
      a = a.substr(0, eq);
      hasInline = true;
    }
    auto next = [&](std::string& out) {
      if (hasInline) {
        out = value;
        return true;
      }
      if (i + 1 >= argc) {
        std::fprintf(stderr, "vpoledisplay: %s needs a value\n", a.c_str());
        return false;
      }
      out = argv[++i];
      return true;
    };
    auto number = [&](long& out, long min) {
      std::string v;
      if (!next(v)) return false;
      if (!ParseLong(v.c_str(), out) || out < min) {
        std::fprintf(stderr, "vpoledisplay: bad value for %s: %s\n", a.c_str(), v.c_str());
        return false;
      }
      return true;
    };
    if (a == "--help" || a == "-h") {
      std::fputs(kUsage, stdout);
      std::exit(0);
    } else if (a == "--pid") {
      if (!next(o.pid)) return false;
      if (!IdentityResponder::IsProductId(o.pid)) {
        std::fprintf(stderr, "vpoledisplay: --pid needs four hexadecimal digits\n");
        return false;
      }
    } else if (a == "--identity") {
      std::string v;
      if (!next(v)) return false;
      auto mode = ParseIdentityMode(v);
      if (!mode) {
        std::fprintf(stderr, "vpoledisplay: unknown identity mode %s\n", v.c_str());
        return false;
      }
      o.identity = *mode;
    } else if (a == "--baud") {
      if (!number(o.baud, 0)) return false;
    } else if (a == "--link") {
      if (!next(o.link)) return false;
    } else if (a == "--log") {
      if (!next(o.log)) return false;
    } else if (a == "--snapshot") {
      if (!next(o.snapshot)) return false;
    } else if (a == "--stats") {
      o.stats = true;
    } else if (a == "--no-render") {
      o.render = false;
    } else if (a == "--hangup-after") {
      if (!number(o.hangupAfter, 0)) return false;
    } else if (a == "--reopen-after") {
      if (!number(o.reopenAfter, -1)) return false;
    } else if (a == "--sequence-timeout") {
      if (!number(o.sequenceTimeout, 0)) return false;
    } else if (a == "--hold-after-replug") {
      if (!number(o.holdAfterReplug, 0)) return false;
    } else {
      std::fprintf(stderr, "vpoledisplay: unknown option %s\n%s", a.c_str(), kUsage);
      return false;
    }
  }
  return true;
}

class Clock {
 public:
  double Ms() const {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start_)
        .count();
  }

 private:
  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

// One pseudo-terminal. The program keeps a slave descriptor of its own open, so that the master
// stays usable while the port's user closes and reopens the slave.
struct Pty {
  int master = -1;
  int slave = -1;
  std::string path;

  bool Open() {
    master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0) return Fail("posix_openpt");
    if (grantpt(master) != 0 || unlockpt(master) != 0) return Fail("grantpt/unlockpt");
    char name[256];
    if (ptsname_r(master, name, sizeof name) != 0) return Fail("ptsname");
    path = name;
    fcntl(master, F_SETFD, FD_CLOEXEC);
    fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
    slave = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave < 0) return Fail("open slave");
    termios tio{};
    if (tcgetattr(slave, &tio) == 0) {
      cfmakeraw(&tio);  // bytes pass unchanged in both directions
      cfsetispeed(&tio, B9600);
      cfsetospeed(&tio, B9600);
      tcsetattr(slave, TCSANOW, &tio);
    }
    return true;
  }

  // Holds the line as a display's flow control does: with software flow control on the line,
  // XOFF stops the opener's output in the pty (its writes wait, as on a full line). Letting go
  // switches flow control off again, which restarts the output.
  void Hold(bool held) {
    termios tio{};
    if (slave < 0 || tcgetattr(slave, &tio) != 0) return;
    if (held) {
      tio.c_iflag |= IXON;
      tcsetattr(slave, TCSANOW, &tio);
      const uint8_t xoff = 0x13;
      if (write(master, &xoff, 1) != 1) std::fprintf(stderr, "vpoledisplay: XOFF not sent\n");
    } else {
      tio.c_iflag &= ~static_cast<tcflag_t>(IXON);
      tcsetattr(slave, TCSANOW, &tio);
    }
  }

  void Close() {
    if (slave >= 0) close(slave);
    if (master >= 0) close(master);
    slave = master = -1;
  }

  bool Fail(const char* what) {
    std::fprintf(stderr, "vpoledisplay: %s: %s\n", what, std::strerror(errno));
    Close();
    return false;
  }
};

bool PlaceLink(const std::string& link, const std::string& target) {
  struct stat st;
  if (lstat(link.c_str(), &st) == 0 && !S_ISLNK(st.st_mode)) {
    std::fprintf(stderr, "vpoledisplay: %s exists and is not a link; not replacing it\n",
                 link.c_str());
    return false;
  }
  std::string tmp = link + ".tmp" + std::to_string(getpid());
  unlink(tmp.c_str());
  if (symlink(target.c_str(), tmp.c_str()) != 0 || rename(tmp.c_str(), link.c_str()) != 0) {
    std::fprintf(stderr, "vpoledisplay: cannot link %s: %s\n", link.c_str(), std::strerror(errno));
    unlink(tmp.c_str());
    return false;
  }
  return true;
}

void RemoveLink(const std::string& link) {
  struct stat st;
  if (!link.empty() && lstat(link.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) unlink(link.c_str());
}

bool WriteAtomically(const std::string& path, const std::string& text) {
  std::string tmp = path + ".tmp";
  FILE* f = std::fopen(tmp.c_str(), "wb");
  if (!f) return false;
  bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
  ok = (std::fclose(f) == 0) && ok;
  if (!ok || std::rename(tmp.c_str(), path.c_str()) != 0) {
    std::remove(tmp.c_str());
    return false;
  }
  return true;
}

void SleepUntil(const Clock& clock, double ms) {
  double left = ms - clock.Ms();
  if (left > 0) std::this_thread::sleep_for(std::chrono::duration<double, std::milli>(left));
}

class Program {
 public:
  explicit Program(const Options& o)
      : o_(o), model_(ModelOptions{o.identity, o.pid, static_cast<double>(o.sequenceTimeout)}) {}

  int Run() {
    if (!o_.log.empty()) {
      log_ = std::fopen(o_.log.c_str(), "w");
      if (!log_) {
        std::fprintf(stderr, "vpoledisplay: cannot write %s: %s\n", o_.log.c_str(),
                     std::strerror(errno));
        return 1;
      }
    }
    if (!Plug(true)) return 1;
    if (o_.hangupAfter >= 0) hangupAt_ = static_cast<double>(o_.hangupAfter);

    while (!g_stop) {
      double now = clock_.Ms();
      if (g_unplug) {
        g_unplug = 0;
        if (pty_.master >= 0) {
          Unplug();
        } else {
          Plug(false);
        }
      }
      if (hangupAt_ >= 0 && now >= hangupAt_ && pty_.master >= 0) {
        hangupAt_ = -1;
        Unplug();
      }
      if (reopenAt_ >= 0 && now >= reopenAt_ && pty_.master < 0) Plug(false);
      if (g_hold >= 0) {
        held_ = g_hold == 1;
        g_hold = -1;
        holdUntil_ = -1;
        if (pty_.master >= 0) {
          pty_.Hold(held_);
          LogNote(held_ ? "held" : "reading");
        }
      }
      if (holdUntil_ >= 0 && now >= holdUntil_ && pty_.master >= 0) {
        holdUntil_ = -1;
        pty_.Hold(false);
        LogNote("reading");
      }
      if (g_snapshot) {
        g_snapshot = 0;
        WriteSnapshot();
      }

      int timeout = 100;
      if (hangupAt_ >= 0) timeout = std::min(timeout, Until(hangupAt_));
      if (reopenAt_ >= 0) timeout = std::min(timeout, Until(reopenAt_));
      if (holdUntil_ >= 0) timeout = std::min(timeout, Until(holdUntil_));
      if (o_.render && model_.Blink() != 0) timeout = std::min(timeout, 20);

      if (pty_.master >= 0) {
        pollfd p{pty_.master, POLLIN, 0};
        int r = poll(&p, 1, timeout);
        if (r > 0 && (p.revents & POLLIN)) {
          ReadOnce();
        } else if (r > 0) {
          // Hang-up or error without data: nobody holds the slave for the moment. Wait and
          // look again rather than spin or give up.
          std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
      } else {
        poll(nullptr, 0, timeout);
      }
      if (o_.render) {
        bool lit = BlinkLit(model_, clock_.Ms());
        if (lit != lastLit_) dirtyRender_ = true;
        if (dirtyRender_) Render();
      }
    }

    // Bytes written before the stop are still read (for half a second at most): a program that
    // wrote its last bytes and ended just before the display was stopped finds them in the log
    // and on the screen.
    const double drainUntil = clock_.Ms() + 500;
    while (pty_.master >= 0 && clock_.Ms() < drainUntil) {
      pollfd p{pty_.master, POLLIN, 0};
      if (poll(&p, 1, 0) <= 0 || (p.revents & POLLIN) == 0) break;
      ReadOnce();
    }
    WriteSnapshot();
    LogNote("end");
    RemoveLink(o_.link);
    pty_.Close();
    if (log_) std::fclose(log_);
    if (o_.stats) {
      std::fputs(model_.Frames().Report().c_str(), stdout);
      std::fflush(stdout);
    }
    return 0;
  }

 private:
  int Until(double at) const {
    double left = at - clock_.Ms();
    return left <= 0 ? 0 : static_cast<int>(std::ceil(left));
  }

  bool Plug(bool first) {
    if (!pty_.Open()) {
      if (first) return false;
      reopenAt_ = clock_.Ms() + 200;  // try again shortly
      return false;
    }
    if (!first) {
      ++generation_;
      model_.PowerOn();
      if (held_) {
        pty_.Hold(true);
        LogNote("held");
      } else if (o_.holdAfterReplug >= 0) {
        pty_.Hold(true);
        holdUntil_ = clock_.Ms() + static_cast<double>(o_.holdAfterReplug);
        LogNote("held");
      }
    }
    reopenAt_ = -1;
    if (!o_.link.empty() && !PlaceLink(o_.link, pty_.path) && first) {
      pty_.Close();
      return false;
    }
    std::printf("%s\n", pty_.path.c_str());
    std::fflush(stdout);
    LogNote((first ? "open " : "plugged ") + pty_.path);
    WriteSnapshot();
    dirtyRender_ = true;
    return true;
  }

  void Unplug() {
    // Closing the master hangs the line up for whoever has the slave open; the link goes away
    // as a device node does when its cable is pulled.
    RemoveLink(o_.link);
    pty_.Close();
    model_.Frames().BreakChain();
    reopenAt_ = o_.reopenAfter >= 0 ? clock_.Ms() + static_cast<double>(o_.reopenAfter) : -1;
    LogNote("unplugged");
    WriteSnapshot();
    dirtyRender_ = true;
  }

  void ReadOnce() {
    // With pacing, read no more than about 20 ms of wire time at once, so that the writer is
    // held back by the pty's buffer as it would be by the line.
    double byteMs = o_.baud > 0 ? 10000.0 / static_cast<double>(o_.baud) : 0;
    size_t limit = sizeof buffer_;
    if (byteMs > 0) limit = std::max<size_t>(1, std::min(limit, static_cast<size_t>(20 / byteMs)));
    ssize_t n = read(pty_.master, buffer_, limit);
    if (n <= 0) {
      if (n < 0 && errno != EAGAIN && errno != EINTR)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));  // EIO: no slave open
      return;
    }
    double t = clock_.Ms();
    if (log_) {
      std::fprintf(log_, "%s\n", FormatLogLine(t, buffer_, static_cast<size_t>(n)).c_str());
      std::fflush(log_);
    }
    std::vector<uint8_t> reply;
    for (ssize_t i = 0; i < n; ++i) {
      double at = t;
      if (byteMs > 0) {
        at = std::max(clock_.Ms(), wireFreeAt_ + byteMs);
        SleepUntil(clock_, at);
        wireFreeAt_ = at;
      }
      model_.Feed(buffer_[i], at, reply);
      if (!reply.empty()) {
        Send(reply);
        reply.clear();
      }
    }
    WriteSnapshot();
    dirtyRender_ = true;
  }

  void Send(const std::vector<uint8_t>& bytes) {
    if (log_) {
      std::fprintf(log_, "# %s sent\n",
                   FormatLogLine(clock_.Ms(), bytes.data(), bytes.size()).c_str());
      std::fflush(log_);
    }
    size_t done = 0;
    double deadline = clock_.Ms() + 1000;
    while (done < bytes.size() && pty_.master >= 0 && clock_.Ms() < deadline) {
      ssize_t w = write(pty_.master, bytes.data() + done, bytes.size() - done);
      if (w > 0) {
        done += static_cast<size_t>(w);
      } else if (w < 0 && errno != EAGAIN && errno != EINTR) {
        break;
      } else {
        pollfd p{pty_.master, POLLOUT, 0};
        poll(&p, 1, 10);
      }
    }
  }

  void LogNote(const std::string& what) {
    if (!log_) return;
    std::fprintf(log_, "# %.3f %s\n", clock_.Ms(), what.c_str());
    std::fflush(log_);
  }

  void WriteSnapshot() {
    if (o_.snapshot.empty()) return;
    SnapshotInfo info;
    info.generation = generation_;
    info.plugged = pty_.master >= 0;
    info.slavePath = pty_.path;
    info.linkPath = o_.link;
    info.uptimeMs = clock_.Ms();
    if (!WriteAtomically(o_.snapshot, FormatSnapshot(model_, info)) && !snapshotWarned_) {
      std::fprintf(stderr, "vpoledisplay: cannot write %s\n", o_.snapshot.c_str());
      snapshotWarned_ = true;
    }
  }

  void Render() {
    RenderInfo info;
    info.blinkLit = BlinkLit(model_, clock_.Ms());
    info.plugged = pty_.master >= 0;
    info.generation = generation_;
    lastLit_ = info.blinkLit;
    auto lines = RenderFrame(model_, info);
    std::string out;
    if (renderedLines_ > 0) out += "\x1b[" + std::to_string(renderedLines_) + "F";
    for (const auto& l : lines) out += "\x1b[2K" + l + "\n";
    std::fputs(out.c_str(), stdout);
    std::fflush(stdout);
    renderedLines_ = lines.size();
    dirtyRender_ = false;
  }

  Options o_;
  Clock clock_;
  DisplayModel model_;
  Pty pty_;
  FILE* log_ = nullptr;
  uint8_t buffer_[4096];
  int32_t generation_ = 1;
  double hangupAt_ = -1;
  double reopenAt_ = -1;
  double holdUntil_ = -1;  // a re-plugged display reads from then on
  bool held_ = false;      // the line is held until SIGRTMIN+1, across re-plugs
  double wireFreeAt_ = 0;
  bool dirtyRender_ = true;
  bool lastLit_ = true;
  bool snapshotWarned_ = false;
  size_t renderedLines_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!ParseOptions(argc, argv, options)) return 2;

  struct sigaction sa {};
  sa.sa_handler = OnSignal;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = 0;  // no restart: poll returns at once on a signal
  for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGUSR1, SIGUSR2, SIGRTMIN, SIGRTMIN + 1}) {
    sigaction(sig, &sa, nullptr);
  }
  signal(SIGPIPE, SIG_IGN);

  Program program(options);
  return program.Run();
}
